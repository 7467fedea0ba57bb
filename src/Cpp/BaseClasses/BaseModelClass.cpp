#include "Cpp/BaseClasses/BaseModelClass.h"

#include <iostream>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

int BaseModelClass::globalModelId = 0;
double BaseModelClass::LastActionTime = 0.0;

BaseModelClass::BaseModelClass()
    : NumStateVariables(0),
      NumSharedStateVariables(0),
      NumActions(0),
      NumGroups(0),
      Groups(nullptr),
      ModelId(++globalModelId),
      ParentId(ModelId),
      Actions(nullptr) {}

BaseModelClass::~BaseModelClass() = default;

bool BaseModelClass::ListStateCells(int, std::vector<StateCell>*) { return false; }

int BaseModelClass::getNumStateVariables() { return NumStateVariables; }

void BaseModelClass::printState(std::ostream*) {}

void BaseModelClass::printState() { printState(&std::cout); }

BaseStateVariableClass** BaseModelClass::GetLocalStateVariables(std::ostream*) { return nullptr; }

BaseStateVariableClass** BaseModelClass::GetSharedStateVariables() { return nullptr; }

BaseStateVariableClass* BaseModelClass::getMainSharedVariable(BaseStateVariableClass*) { return nullptr; }

SharedStateVarLink* BaseModelClass::getListOfSharedVariables(BaseStateVariableClass*) { return nullptr; }

void BaseModelClass::AddAffectArc(BaseStateVariableClass* v, BaseActionClass* a) {
  v->appendAffectingAction(a);
  a->addAffectedSV(v);
}

void BaseModelClass::AddEnableArc(BaseStateVariableClass* v, BaseActionClass* a) {
  v->appendEnabledAction(a);
  a->addEnablingSV(v);
}

int BaseModelClass::GetModelType() {
  QUELIX_ASSERT_AT(false, "BaseModelClass", 97);
  return 0;
}

int BaseModelClass::GetNumberOfChildren() {
  QUELIX_ASSERT_AT(false, "BaseModelClass", 102);
  return 0;
}

BaseModelClass* BaseModelClass::GetChild(int) {
  QUELIX_ASSERT_AT(false, "BaseModelClass", 107);
  return nullptr;
}

void BaseModelClass::GetLocalActions(std::forward_list<BaseActionClass*>&) {
  QUELIX_ASSERT_AT(false, "BaseModelClass", 113);
}

void BaseModelClass::GetGlobalActions(std::forward_list<BaseActionClass*>&) {
  QUELIX_ASSERT_AT(false, "BaseModelClass", 117);
}

bool BaseModelClass::HasLocalState() {
  QUELIX_ASSERT_AT(false, "BaseModelClass", 121);
  return false;
}

void BaseModelClass::GetLocalState(State*) { QUELIX_ASSERT_AT(false, "BaseModelClass", 126); }

void BaseModelClass::SetLocalState(const State*) { QUELIX_ASSERT_AT(false, "BaseModelClass", 130); }

void BaseModelClass::ConstructLocalState(State*&) { QUELIX_ASSERT_AT(false, "BaseModelClass", 134); }

void BaseModelClass::DestructLocalState(State*) { QUELIX_ASSERT_AT(false, "BaseModelClass", 138); }
