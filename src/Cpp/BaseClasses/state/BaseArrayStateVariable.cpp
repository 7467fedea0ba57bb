#include "Cpp/BaseClasses/state/BaseArrayStateVariable.h"

#include <iostream>

#include "Cpp/BaseClasses/QuelixAssert.h"

BaseArrayStateVariable::BaseArrayStateVariable() : Type(COMPOSITE_ARRAY_TYPE) {}

BaseArrayStateVariable::BaseArrayStateVariable(const char* name, const char* prefix) : Type(COMPOSITE_ARRAY_TYPE) {
  SetName(name);
  SetPrefix(prefix);
}

BaseArrayStateVariable::BaseArrayStateVariable(const char* name, const char* prefix, ArrayType type, int n)
    : Type(type) {
  SetName(name);
  SetPrefix(prefix);
  if (n > 0) fields.reserve(n);
}

int BaseArrayStateVariable::elementStateSize() {
  if (IsPlainArrayType(Type)) return ArrayTypeSize(Type);
  return fields.empty() ? 0 : fields[0]->StateSize();
}

int BaseArrayStateVariable::StateSize() { return getSize() * elementStateSize(); }

// Elements step by the first element's size, the layout StateSize counts.
void BaseArrayStateVariable::SetState(void* from) {
  if (fields.empty()) return;
  char* at = static_cast<char*>(from);
  int step = fields[0]->StateSize();
  for (BaseStateVariableClass* e : fields) {
    e->SetState(at);
    at += step;
  }
}

bool BaseArrayStateVariable::ListStateCells(int offset, std::vector<StateCell>* out) {
  if (fields.empty()) return true;
  int step = fields[0]->StateSize();
  for (BaseStateVariableClass* e : fields) {
    if (!e->ListStateCells(offset, out)) return false;
    offset += step;
  }
  return true;
}

void BaseArrayStateVariable::CurrentState(void* to) {
  if (fields.empty()) return;
  char* at = static_cast<char*>(to);
  int step = fields[0]->StateSize();
  for (BaseStateVariableClass* e : fields) {
    e->CurrentState(at);
    at += step;
  }
}

void BaseArrayStateVariable::printState(std::ostream* os) {
  *os << Name << " = {" << std::endl;
  for (BaseStateVariableClass* e : fields) e->printState(os);
  *os << "}" << std::endl;
}

void BaseArrayStateVariable::share(BaseStateVariableClass* other) {
  BaseArrayStateVariable* otherArray = dynamic_cast<BaseArrayStateVariable*>(other);
  QUELIX_ASSERT_AT(otherArray, "ArrayStateVariable", 96);
  ShareWith(otherArray);
}

void BaseArrayStateVariable::ShareWith(BaseArrayStateVariable* otherArray) {
  if (otherArray == this) return;
  auto otheri = otherArray->fields.begin();
  for (BaseStateVariableClass* e : fields) {
    if (otheri == otherArray->fields.end())
      QuelixAssertionFailed("otheri!=otherArray->fields.end()", "ArrayStateVariable", 103);
    e->share(*otheri);
    ++otheri;
  }
}

void BaseArrayStateVariable::appendAffectingAction(BaseActionClass* TheAction) {
  QUELIX_ASSERT_AT(TheAction, "ArrayStateVariable", 125);
  for (BaseStateVariableClass* e : fields) e->appendAffectingAction(TheAction);
}

void BaseArrayStateVariable::appendEnabledAction(BaseActionClass* TheAction) {
  QUELIX_ASSERT_AT(TheAction, "ArrayStateVariable", 132);
  EnabledActions->append(TheAction);
  for (BaseStateVariableClass* e : fields) e->appendEnabledAction(TheAction);
}

void BaseArrayStateVariable::addSelfAsEnablingSVToAction(BaseActionClass* a) {
  for (BaseStateVariableClass* e : fields) e->addSelfAsEnablingSVToAction(a);
}

void BaseArrayStateVariable::addSelfAsAffectedSVToAction(BaseActionClass* a) {
  for (BaseStateVariableClass* e : fields) e->addSelfAsAffectedSVToAction(a);
}

void BaseArrayStateVariable::removeSelfFromEnablingSVOfAction(BaseActionClass* a) {
  for (BaseStateVariableClass* e : fields) e->removeSelfFromEnablingSVOfAction(a);
}

void BaseArrayStateVariable::removeSelfFromAffectedSVOfAction(BaseActionClass* a) {
  for (BaseStateVariableClass* e : fields) e->removeSelfFromAffectedSVOfAction(a);
}

List<BaseStateVariableClass>* BaseArrayStateVariable::getLeafNodes() {
  List<BaseStateVariableClass>* leaves = new List<BaseStateVariableClass>(getNumLeafNodes());
  for (BaseStateVariableClass* e : fields) {
    List<BaseStateVariableClass>* childTemp = e->getLeafNodes();
    QUELIX_ASSERT_AT(childTemp, "ArrayStateVariable", 148);
    leaves->append(childTemp);
    delete childTemp;
  }
  return leaves;
}

int BaseArrayStateVariable::getNumLeafNodes() {
  int n = 0;
  for (BaseStateVariableClass* e : fields) n += e->getNumLeafNodes();
  return n > 0 ? n : 1;
}

void BaseArrayStateVariable::deleteElements() {
  for (BaseStateVariableClass* e : fields) delete e;
  fields.clear();
}
