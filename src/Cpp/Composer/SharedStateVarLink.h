// SharedStateVarLink is one link of the chain of child state variables (and
// their models) that a composer's shared variable stands for.
//
// Ownership: a chain is owned by the composer entry that holds its head and is
// freed with clearStateVarList; links are never shared between chains.
#ifndef SHARED_STATE_VAR_LINK_H
#define SHARED_STATE_VAR_LINK_H

class BaseModelClass;
class BaseStateVariableClass;

class SharedStateVarLink {
 public:
  SharedStateVarLink() : StateVar(nullptr), Model(nullptr), Next(nullptr) {}
  explicit SharedStateVarLink(BaseStateVariableClass* v) : StateVar(v), Model(nullptr), Next(nullptr) {}
  SharedStateVarLink(BaseStateVariableClass* v, BaseModelClass* m) : StateVar(v), Model(m), Next(nullptr) {}

  // Whether any link of the chain from here holds v.
  bool hasStateVar(BaseStateVariableClass* v) const;
  // Appends link, with whatever chain follows it, at the end of this chain.
  void addStateVarLink(SharedStateVarLink* link);
  // Deletes every link from link on.
  static void clearStateVarList(SharedStateVarLink* link);
  void printAllStateVariables() const;

  BaseStateVariableClass* StateVar;
  BaseModelClass* Model;
  SharedStateVarLink* Next;
};

#endif
