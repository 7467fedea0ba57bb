#include "Cpp/Composer/Join.h"

#include <cstdint>
#include <cstring>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

void Join::LocalState::SetState(const BaseModelClass* m) const {
  static_cast<Join*>(const_cast<BaseModelClass*>(m))->SetSharedState(Data.get());
}

void Join::LocalState::GetState(const BaseModelClass* m) {
  static_cast<Join*>(const_cast<BaseModelClass*>(m))->CurrentSharedState(Data.get());
}

Join::Join(const char* name, int numChildren, int numShared, const char* const* sharedNames)
    : BaseComposerClass(name, numChildren, numShared, sharedNames),
      ActionHashSize(0),
      ChildStateSizes(NumChildren, 0) {}

void Join::CurrentState(void* to) {
  char* at = static_cast<char*>(to);
  for (int i = 0; i < NumChildren; i++) {
    Children[i]->CurrentState(at);
    at += ChildStateSizes[i];
  }
  CurrentSharedState(at);
}

void Join::SetState(void* from) {
  char* at = static_cast<char*>(from);
  for (int i = 0; i < NumChildren; i++) {
    Children[i]->SetState(at);
    at += ChildStateSizes[i];
  }
  SetSharedState(at);
}

bool Join::ListStateCells(int offset, std::vector<StateCell>* out) {
  for (int i = 0; i < NumChildren; i++) {
    if (!Children[i]->ListStateCells(offset, out)) return false;
    offset += ChildStateSizes[i];
  }
  for (BaseStateVariableClass* v : SharedStateVariables) {
    if (v == nullptr || !v->Stored) continue;
    if (!v->ListStateCells(offset, out)) return false;
    offset += v->StateSize();
  }
  return true;
}

int Join::StateSize() {
  int size = SharedStateSize();
  for (BaseModelClass* child : Children) size += child->StateSize();
  return size;
}

BaseModelClass* Join::GetChild(int i) {
  QUELIX_ASSERT_AT(i < GetNumberOfChildren(), "Join", 194);
  return Children[i];
}

void Join::GetLocalActions(std::forward_list<BaseActionClass*>&) { QUELIX_ASSERT_AT(false, "Join", 200); }

void Join::GetGlobalActions(std::forward_list<BaseActionClass*>&) { QUELIX_ASSERT_AT(false, "Join", 205); }

void Join::CurrentSharedState(void* to) {
  char* at = static_cast<char*>(to);
  for (BaseStateVariableClass* v : SharedStateVariables) {
    if (v == nullptr || !v->Stored) continue;
    v->CurrentState(at);
    at += v->StateSize();
  }
}

void Join::SetSharedState(void* from) {
  char* at = static_cast<char*>(from);
  for (BaseStateVariableClass* v : SharedStateVariables) {
    if (v == nullptr || !v->Stored) continue;
    v->SetState(at);
    at += v->StateSize();
  }
}

void Join::Setup() {
  GeneralSetup();
  for (int i = 0; i < NumChildren; i++) ChildStateSizes[i] = Children[i]->StateSize();
  NumDistinctActionNames = 0;
  for (int i = 0; i < NumActions; i++) {
    bool seen = false;
    for (int k = 0; k < i && !seen; k++) seen = Actions[k]->Name == Actions[i]->Name;
    if (!seen) NumDistinctActionNames++;
  }
  ActionHashSize = 4 * NumDistinctActionNames;
  ActionNameTable.assign(ActionHashSize, nullptr);
  ActionNameCounts.assign(ActionHashSize, 0);
  HashActions();
}

// Probes h, h+1, h-1, h+4, h-4, h+9, ... (mod size, subtraction in 32-bit
// unsigned arithmetic). With at most a quarter of the slots used the probes
// find a slot quickly; a linear scan backs them up so the loop always ends.
void Join::HashActions() {
  if (ActionHashSize == 0) return;
  const uint32_t size = static_cast<uint32_t>(ActionHashSize);
  for (int i = 0; i < NumActions; i++) {
    const char* name = Actions[i]->getName();
    uint32_t h = Hash(name, ActionHashSize);
    auto claim = [&](uint32_t slot) {
      if (ActionNameTable[slot] == nullptr) {
        ActionNameTable[slot] = name;
        ActionNameCounts[slot] = 1;
        return true;
      }
      if (std::strcmp(ActionNameTable[slot], name) == 0) {
        ActionNameCounts[slot]++;
        return true;
      }
      return false;
    };
    bool placed = claim(h);
    for (uint32_t k = 1; !placed && k <= size; k++) {
      uint32_t step = k * k;
      placed = claim((h + step) % size) || claim((h - step) % size);
    }
    for (uint32_t slot = 0; !placed && slot < size; slot++) placed = claim(slot);
  }
}
