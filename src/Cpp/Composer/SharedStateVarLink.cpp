#include "Cpp/Composer/SharedStateVarLink.h"

#include <iostream>

#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

bool SharedStateVarLink::hasStateVar(BaseStateVariableClass* v) const {
  for (const SharedStateVarLink* l = this; l != nullptr; l = l->Next)
    if (l->StateVar == v) return true;
  return false;
}

void SharedStateVarLink::addStateVarLink(SharedStateVarLink* link) {
  SharedStateVarLink* last = this;
  while (last->Next != nullptr) last = last->Next;
  last->Next = link;
}

void SharedStateVarLink::clearStateVarList(SharedStateVarLink* link) {
  while (link != nullptr) {
    SharedStateVarLink* next = link->Next;
    delete link;
    link = next;
  }
}

void SharedStateVarLink::printAllStateVariables() const {
  for (const SharedStateVarLink* l = this; l != nullptr; l = l->Next)
    std::cout << "      This link holds state var " << l->StateVar->Name << " at address "
              << static_cast<const void*>(l->StateVar) << std::endl;
}
