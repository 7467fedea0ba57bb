#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

#include <iostream>

#include "Cpp/BaseClasses/BaseActionClass.h"

BaseStateVariableClass::BaseStateVariableClass()
    : Name("default"),
      Shared(false),
      Stored(true),
      FunctionallyShared(false),
      SharingCount(0),
      AffectingActions(new List<BaseActionClass>),
      EnabledActions(new List<BaseActionClass>) {}

BaseStateVariableClass::~BaseStateVariableClass() {
  if (Stored) {
    delete AffectingActions;
    delete EnabledActions;
  }
}

void BaseStateVariableClass::printState(std::ostream*) {}

void BaseStateVariableClass::printState() { printState(&std::cout); }

void BaseStateVariableClass::printStateVal(std::ostream*) {}

void BaseStateVariableClass::appendAffectingAction(BaseActionClass* a) { AffectingActions->append(a); }

void BaseStateVariableClass::removeAffectingAction(BaseActionClass* a) { AffectingActions->remove(a); }

void BaseStateVariableClass::replaceAffectingAction(BaseActionClass* oldAction, BaseActionClass* newAction) {
  AffectingActions->replaceItem(oldAction, newAction);
}

void BaseStateVariableClass::addSelfAsEnablingSVToAction(BaseActionClass* a) { a->addEnablingSV(this); }

void BaseStateVariableClass::addSelfAsAffectedSVToAction(BaseActionClass* a) { a->addAffectedSV(this); }

void BaseStateVariableClass::removeSelfFromEnablingSVOfAction(BaseActionClass* a) { a->removeEnablingSV(this); }

void BaseStateVariableClass::removeSelfFromAffectedSVOfAction(BaseActionClass* a) { a->removeAffectedSV(this); }

List<BaseStateVariableClass>* BaseStateVariableClass::getLeafNodes() {
  List<BaseStateVariableClass>* leaves = new List<BaseStateVariableClass>(1);
  leaves->append(this);
  return leaves;
}

int BaseStateVariableClass::getNumLeafNodes() { return 1; }

bool BaseStateVariableClass::isLeafNode() { return true; }

void BaseStateVariableClass::appendEnabledAction(BaseActionClass* a) { EnabledActions->append(a); }

void BaseStateVariableClass::removeEnabledAction(BaseActionClass* a) { EnabledActions->remove(a); }

void BaseStateVariableClass::replaceEnabledAction(BaseActionClass* oldAction, BaseActionClass* newAction) {
  EnabledActions->replaceItem(oldAction, newAction);
}

void BaseStateVariableClass::SetName(const char* name) { Name = name ? name : ""; }

void BaseStateVariableClass::SetPrefix(const char* prefix) { Prefix = prefix ? prefix : ""; }

bool BaseStateVariableClass::ListStateCells(int, std::vector<StateCell>*) { return false; }

BaseActionClass* BaseStateVariableClass::getAffectingAction(int i) const {
  if (i < 0 || i >= AffectingActions->getNumItems()) {
    std::cerr << "!! BaseStateVariableClass::getAffectingAction(int): "
              << " AffectingAction index out of bounds" << std::endl;
    return nullptr;
  }
  return AffectingActions->getItem(i);
}

BaseActionClass* BaseStateVariableClass::getEnabledAction(int i) const {
  if (i < 0 || i >= EnabledActions->getNumItems()) {
    std::cerr << "!! BaseStateVariableClass::getEnabledAction(int): "
              << " EnabledAction index out of bounds" << std::endl;
    return nullptr;
  }
  return EnabledActions->getItem(i);
}

void BaseStateVariableClass::printAffectingActions() const {
  std::cout << "Affecting actions for " << Name << ":" << std::endl;
  AffectingActions->printList();
}

void BaseStateVariableClass::printEnabledActions() const {
  std::cout << "Enabled actions for " << Name << ":" << std::endl;
  EnabledActions->printList();
}
