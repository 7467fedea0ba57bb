#include "simulator/InitialState.h"

#include <algorithm>
#include <cstring>

#include "Cpp/BaseClasses/BaseModelClass.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

InitialState::InitialState(BaseModelClass* model)
    : Model(model), Saved(static_cast<size_t>(std::max(model->StateSize(), 0))) {
  model->CurrentState(Saved.data());
  std::vector<StateCell> cells;
  ByCell = model->ListStateCells(0, &cells);
  for (const StateCell& c : cells) {
    // A cell outside the saved bytes means the listing does not describe
    // them: the model's own SetState is used instead.
    if (c.Offset < 0 || c.Size < 0 || static_cast<size_t>(c.Offset) + c.Size > Saved.size()) ByCell = false;
  }
  if (!ByCell) return;
  for (const StateCell& c : cells) {
    short value = 0;
    if (c.Size == static_cast<int>(sizeof value)) {
      std::memcpy(&value, Saved.data() + c.Offset, sizeof value);
      ShortCells.push_back({static_cast<short*>(c.Address), value});
    } else {
      OtherCells.push_back({c.Address, c.Offset, c.Size});
    }
  }
}

void InitialState::Restore() {
  if (!ByCell) {
    Model->SetState(Saved.data());
    return;
  }
  for (const ShortCell& c : ShortCells) *c.Address = c.Value;
  for (const Cell& c : OtherCells) std::memcpy(c.Address, Saved.data() + c.Offset, static_cast<size_t>(c.Size));
}
