#include "Cpp/BaseClasses/state/BaseStructStateVariable.h"

#include <iostream>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"

BaseStructStateVariable::BaseStructStateVariable() : CachedStateSize(0) {}

BaseStructStateVariable::BaseStructStateVariable(const char* name, const char* prefix) : CachedStateSize(-1) {
  SetName(name);
  SetPrefix(prefix);
}

BaseStructStateVariable::BaseStructStateVariable(const char* name, const char* prefix, const ArrayType* types, int n)
    : CachedStateSize(-1) {
  SetName(name);
  SetPrefix(prefix);
  makeArrays(types, n);
}

void BaseStructStateVariable::makeArrays(const ArrayType* types, int n) {
  for (int i = 0; i < n; i++) fields.push_back(Field{nullptr, types[i]});
  CachedStateSize = -1;
}

ArrayType BaseStructStateVariable::getType(int i) const {
  if (fields.empty()) return COMPOSITE_ARRAY_TYPE;
  if (i < 0 || i >= getSize()) i = getSize() - 1;
  return fields[i].type;
}

int BaseStructStateVariable::fieldStateSize(const Field& f) {
  if (IsPlainArrayType(f.type)) return ArrayTypeSize(f.type);
  return f.variable ? f.variable->StateSize() : 0;
}

int BaseStructStateVariable::calculateStateSize() {
  int size = 0;
  for (const Field& f : fields) size += fieldStateSize(f);
  return size;
}

int BaseStructStateVariable::StateSize() {
  if (CachedStateSize < 0) CachedStateSize = calculateStateSize();
  return CachedStateSize;
}

void BaseStructStateVariable::SetState(void* from) {
  char* at = static_cast<char*>(from);
  for (const Field& f : fields) {
    f.variable->SetState(at);
    at += fieldStateSize(f);
  }
}

void BaseStructStateVariable::CurrentState(void* to) {
  char* at = static_cast<char*>(to);
  for (const Field& f : fields) {
    f.variable->CurrentState(at);
    at += fieldStateSize(f);
  }
}

void BaseStructStateVariable::printState(std::ostream* os) {
  *os << Name << " = {" << std::endl;
  for (const Field& f : fields) {
    *os << ".";
    f.variable->printState(os);
  }
  *os << "}" << std::endl;
}

void BaseStructStateVariable::share(BaseStateVariableClass* other) {
  BaseStructStateVariable* otherStruct = dynamic_cast<BaseStructStateVariable*>(other);
  QUELIX_ASSERT_AT(otherStruct, "StructStateVariable", 104);
  ShareWith(otherStruct);
}

void BaseStructStateVariable::ShareWith(BaseStructStateVariable* otherStruct) {
  if (otherStruct == this || otherStruct->AffectingActions == AffectingActions) return;
  auto otheri = otherStruct->fields.begin();
  for (const Field& f : fields) {
    if (otheri == otherStruct->fields.end())
      QuelixAssertionFailed("otheri!=otherStruct->fields.end()", "StructStateVariable", 111);
    f.variable->share(otheri->variable);
    ++otheri;
  }
  AffectingActions->append(otherStruct->AffectingActions);
  EnabledActions->append(otherStruct->EnabledActions);
  // The other struct's lists are freed only when they are its own; lists it
  // already borrows belong to another struct.
  if (otherStruct->Stored) {
    delete otherStruct->AffectingActions;
    delete otherStruct->EnabledActions;
  }
  otherStruct->AffectingActions = AffectingActions;
  otherStruct->EnabledActions = EnabledActions;
  otherStruct->Shared = true;
  otherStruct->Stored = false;
  for (int i = 0; i < AffectingActions->getNumItems(); i++)
    AffectingActions->getItem(i)->AffectedSVs.replaceItem(otherStruct, this);
  for (int i = 0; i < EnabledActions->getNumItems(); i++)
    EnabledActions->getItem(i)->EnablingSVs.replaceItem(otherStruct, this);
}

void BaseStructStateVariable::appendAffectingAction(BaseActionClass* a) {
  for (const Field& f : fields) f.variable->appendAffectingAction(a);
  AffectingActions->append(a);
}

void BaseStructStateVariable::appendEnabledAction(BaseActionClass* a) {
  EnabledActions->append(a);
  for (const Field& f : fields) f.variable->appendEnabledAction(a);
}

void BaseStructStateVariable::addSelfAsEnablingSVToAction(BaseActionClass* a) {
  for (const Field& f : fields) f.variable->addSelfAsEnablingSVToAction(a);
}

void BaseStructStateVariable::addSelfAsAffectedSVToAction(BaseActionClass* a) {
  for (const Field& f : fields) f.variable->addSelfAsAffectedSVToAction(a);
}

void BaseStructStateVariable::removeSelfFromEnablingSVOfAction(BaseActionClass* a) {
  for (const Field& f : fields) f.variable->removeSelfFromEnablingSVOfAction(a);
}

void BaseStructStateVariable::removeSelfFromAffectedSVOfAction(BaseActionClass* a) {
  for (const Field& f : fields) f.variable->removeSelfFromAffectedSVOfAction(a);
}

List<BaseStateVariableClass>* BaseStructStateVariable::getLeafNodes() {
  List<BaseStateVariableClass>* leaves = new List<BaseStateVariableClass>(getNumLeafNodes());
  for (const Field& f : fields) {
    List<BaseStateVariableClass>* childTemp = f.variable->getLeafNodes();
    QUELIX_ASSERT(childTemp, "StructStateVariable");
    leaves->append(childTemp);
    delete childTemp;
  }
  return leaves;
}

int BaseStructStateVariable::getNumLeafNodes() {
  int n = 0;
  for (const Field& f : fields) n += f.variable->getNumLeafNodes();
  return n > 0 ? n : 1;
}
