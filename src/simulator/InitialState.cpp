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
  Cells.reserve(cells.size());
  for (const StateCell& c : cells) {
    short value = 0;
    if (c.Size == static_cast<int>(sizeof value)) std::memcpy(&value, Saved.data() + c.Offset, sizeof value);
    Cells.push_back({c.Address, c.Offset, c.Size, value});
  }
}

void InitialState::Restore() {
  if (!ByCell) {
    Model->SetState(Saved.data());
    return;
  }
  for (const Cell& c : Cells) {
    if (c.Size == static_cast<int>(sizeof(short)))
      *static_cast<short*>(c.Address) = c.Value;
    else
      std::memcpy(c.Address, Saved.data() + c.Offset, static_cast<size_t>(c.Size));
  }
}
