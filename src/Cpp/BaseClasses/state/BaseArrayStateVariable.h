// BaseArrayStateVariable groups element state variables under one name, in
// index order. Arcs and sharing are forwarded to the elements, so actions and
// joins see the leaf variables; the saved state is the elements' states in
// index order.
//
// Ownership: the array owns only its element sequence; whoever creates the
// elements deletes them (deleteElements() is there for that), before the
// array itself is destroyed.
#ifndef BASE_ARRAY_STATE_VARIABLE_H
#define BASE_ARRAY_STATE_VARIABLE_H

#include <vector>

#include "Cpp/BaseClasses/state/ArrayType.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

class BaseArrayStateVariable : public BaseStateVariableClass {
 public:
  BaseArrayStateVariable();
  BaseArrayStateVariable(const char* name, const char* prefix);
  // Reserves room for n elements; the creator appends them.
  BaseArrayStateVariable(const char* name, const char* prefix, ArrayType type, int n);

  int StateSize() override;
  void SetState(void* from) override;
  void CurrentState(void* to) override;
  bool ListStateCells(int offset, std::vector<StateCell>* out) override;
  using BaseStateVariableClass::printState;
  void printState(std::ostream* os) override;
  // REQUIRES: other is an array with at least as many elements.
  void share(BaseStateVariableClass* other) override;
  // Goes to the elements only; the array's own list is not changed.
  void appendAffectingAction(BaseActionClass* a) override;
  void addSelfAsEnablingSVToAction(BaseActionClass* a) override;
  void addSelfAsAffectedSVToAction(BaseActionClass* a) override;
  void removeSelfFromEnablingSVOfAction(BaseActionClass* a) override;
  void removeSelfFromAffectedSVOfAction(BaseActionClass* a) override;
  List<BaseStateVariableClass>* getLeafNodes() override;
  int getNumLeafNodes() override;
  bool isLeafNode() override { return fields.empty(); }
  // The array's own list, then every element's.
  void appendEnabledAction(BaseActionClass* a) override;
  // Element i shares with other's element i; the arrays' own lists stay apart.
  virtual void ShareWith(BaseArrayStateVariable* other);

  ArrayType getType() const { return Type; }
  int getSize() const { return static_cast<int>(fields.size()); }
  void deleteElements();

  ArrayType Type;
  std::vector<BaseStateVariableClass*> fields;

 protected:
  // Saved-state bytes of one element (plain codes by type, else the first
  // element's own size).
  int elementStateSize();
};

#endif
