// Join is the composer kind of the system: its children run side by side and
// interact only through the shared variables. Its saved state is each child's
// state in child order, then the shared variables that own their cell, in
// declaration order; a shared cell is saved once, in the join's part, because
// the children skip their merged places.
#ifndef JOIN_H
#define JOIN_H

#include <vector>

#include "Cpp/BaseClasses/ByteState.h"
#include "Cpp/Composer/BaseComposerClass.h"

class Join : public BaseComposerClass {
 public:
  // The local state of a join: its shared variables only.
  class LocalState : public ByteState {
   public:
    explicit LocalState(int size) : ByteState(size, "Join", 283) {}
    using ByteState::operator=;
    void SetState(const BaseModelClass* m) const override;
    void GetState(const BaseModelClass* m) override;
  };

  Join(const char* name, int numChildren, int numShared, const char* const* sharedNames);

  void CurrentState(void* to) override;
  void SetState(void* from) override;
  bool ListStateCells(int offset, std::vector<StateCell>* out) override;
  int StateSize() override;
  int GetModelType() override { return JOIN_MODEL_TYPE; }
  int GetNumberOfChildren() override { return NumChildren; }
  BaseModelClass* GetChild(int i) override;
  void GetLocalActions(std::forward_list<BaseActionClass*>& out) override;
  void GetGlobalActions(std::forward_list<BaseActionClass*>& out) override;
  bool HasLocalState() override { return SharedStateSize() > 0; }
  void GetLocalState(State* s) override { s->GetState(this); }
  void SetLocalState(const State* s) override { s->SetState(this); }
  void ConstructLocalState(State*& s) override { s = new LocalState(SharedStateSize()); }
  void DestructLocalState(State* s) override { delete s; }

  // Completes the set-up once every shared variable is merged: counts, state
  // size, child state offsets and the action-name table.
  void Setup();
  void CurrentSharedState(void* to);
  void SetSharedState(void* from);

  int ActionHashSize;
  // A diagnostic: each distinct action name (not owned) and how many actions
  // carry it, hashed with quadratic probing.
  std::vector<const char*> ActionNameTable;
  std::vector<int> ActionNameCounts;
  std::vector<int> ChildStateSizes;

 private:
  void HashActions();
};

#endif
