// BaseStructStateVariable groups fields of their own types under one name.
// Arcs and sharing are forwarded to the fields; the saved state is the
// fields' states in order, each taking its type's byte size (its own
// StateSize() for composite types).
//
// Ownership: the struct owns only its field sequence, not the field
// variables. Sharing a struct with another merges their action lists; the
// other struct then points at this struct's lists, which must outlive it.
#ifndef BASE_STRUCT_STATE_VARIABLE_H
#define BASE_STRUCT_STATE_VARIABLE_H

#include <vector>

#include "Cpp/BaseClasses/state/ArrayType.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

class BaseStructStateVariable : public BaseStateVariableClass {
 public:
  struct Field {
    BaseStateVariableClass* variable;
    ArrayType type;
  };

  // The size cache starts at 0 here, so makeArrays (which resets it) must
  // follow if fields are added.
  BaseStructStateVariable();
  BaseStructStateVariable(const char* name, const char* prefix);
  // One field per type, each with a null variable to be set by the creator.
  BaseStructStateVariable(const char* name, const char* prefix, const ArrayType* types, int n);

  int StateSize() override;
  void SetState(void* from) override;
  void CurrentState(void* to) override;
  using BaseStateVariableClass::printState;
  void printState(std::ostream* os) override;
  // REQUIRES: other is a struct with at least as many fields.
  void share(BaseStateVariableClass* other) override;
  // Every field's, then the struct's own list.
  void appendAffectingAction(BaseActionClass* a) override;
  void addSelfAsEnablingSVToAction(BaseActionClass* a) override;
  void addSelfAsAffectedSVToAction(BaseActionClass* a) override;
  void removeSelfFromEnablingSVOfAction(BaseActionClass* a) override;
  void removeSelfFromAffectedSVOfAction(BaseActionClass* a) override;
  List<BaseStateVariableClass>* getLeafNodes() override;
  int getNumLeafNodes() override;
  bool isLeafNode() override { return fields.empty(); }
  // The struct's own list, then every field's.
  void appendEnabledAction(BaseActionClass* a) override;
  virtual void ShareWith(BaseStructStateVariable* other);
  Field field(ArrayType type, BaseStateVariableClass* variable) const { return Field{variable, type}; }

  void makeArrays(const ArrayType* types, int n);
  // The type of field i, or of the last field when i is beyond.
  ArrayType getType(int i) const;
  int getSize() const { return static_cast<int>(fields.size()); }
  int calculateStateSize();

  int CachedStateSize;
  std::vector<Field> fields;

 private:
  int fieldStateSize(const Field& f);
};

#endif
