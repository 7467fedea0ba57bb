#include "Cpp/Composer/BaseComposerClass.h"

#include <cstdint>
#include <cstring>
#include <iostream>

#include "Cpp/BaseClasses/BaseGroupClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

BaseComposerClass::BaseComposerClass(const char* name, int numChildren, int numShared,
                                     const char* const* sharedNames)
    : Children(numChildren > 0 ? numChildren : 0, nullptr),
      NumChildren(numChildren > 0 ? numChildren : 0),
      AddedSharedPtrs(0),
      CachedStateSize(0),
      NumDistinctActionNames(0) {
  DefineName(name);
  NumSharedStateVariables = NumChildren > 0 && numShared > 0 ? numShared : 0;
  SharedStateVariables.assign(NumSharedStateVariables, nullptr);
  SharedVarLinks.assign(NumSharedStateVariables, nullptr);
  for (int i = 0; i < NumSharedStateVariables; i++) {
    SharedVarMembers.emplace_back(new List<BaseStateVariableClass>);
    SharedStateNames.emplace_back(sharedNames && sharedNames[i] ? sharedNames[i] : "");
  }
}

BaseComposerClass::~BaseComposerClass() {
  for (SharedStateVarLink* chain : SharedVarLinks) SharedStateVarLink::clearStateVarList(chain);
  freeActionArrays();
}

void BaseComposerClass::freeActionArrays() {
  delete[] Actions;
  delete[] Groups;
  Actions = nullptr;
  Groups = nullptr;
}

void BaseComposerClass::listModels(const char* name, List<BaseModelClass>* out) {
  for (BaseModelClass* child : Children) child->listModels(name, out);
}

void BaseComposerClass::listActions(List<BaseActionClass>* out) { out->append(Actions, NumActions); }

void BaseComposerClass::listGroups(List<BaseGroupClass>* out) { out->append(Groups, NumGroups); }

bool BaseComposerClass::CompareState(void* a, void* b) { return std::memcmp(a, b, CachedStateSize) == 0; }

void BaseComposerClass::listActions(const char* name, List<BaseActionClass>* out) {
  for (BaseModelClass* child : Children) child->listActions(name, out);
}

void BaseComposerClass::listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                                List<BaseModelClass>* models) {
  for (BaseModelClass* child : Children) child->listSVs(modelName, svName, svs, models);
}

void BaseComposerClass::printState(std::ostream* os) {
  *os << "Model: (" << ModelId << ")" << Name << std::endl;
  for (BaseModelClass* child : Children) child->printState(os);
  *os << "Shared Variables:" << std::endl;
  for (BaseStateVariableClass* v : SharedStateVariables) {
    if (v == nullptr || !v->Stored) continue;
    *os << "  ";
    v->printState(os);
  }
}

BaseStateVariableClass* BaseComposerClass::getMainSharedVariable(BaseStateVariableClass* v) {
  for (int i = 0; i < NumSharedStateVariables; i++)
    if (SharedVarLinks[i] != nullptr && SharedVarLinks[i]->hasStateVar(v)) return SharedStateVariables[i];
  for (BaseModelClass* child : Children)
    if (BaseStateVariableClass* found = child->getMainSharedVariable(v)) return found;
  return nullptr;
}

SharedStateVarLink* BaseComposerClass::getListOfSharedVariables(BaseStateVariableClass* v) {
  for (int i = 0; i < NumSharedStateVariables; i++)
    if (SharedStateVariables[i] == v) return SharedVarLinks[i];
  for (BaseModelClass* child : Children)
    if (SharedStateVarLink* found = child->getListOfSharedVariables(v)) return found;
  return nullptr;
}

void BaseComposerClass::addSharedPtr(BaseStateVariableClass* v, const char* VarName) {
  QUELIX_ASSERT_AT(AddedSharedPtrs < NumSharedStateVariables, "BaseComposerClass", 414);
  if (0 != strcmp(VarName, SharedStateNames[AddedSharedPtrs].c_str()))
    QuelixAssertionFailed("0 == strcmp(VarName, SharedStateNames[AddedSharedPtrs])", "BaseComposerClass", 415);
  SharedStateVariables[AddedSharedPtrs] = v;
  AddedSharedPtrs++;
}

// A child composer's chain is copied link by link: each chain stays owned by
// exactly one composer.
static SharedStateVarLink* CopyChain(const SharedStateVarLink* chain) {
  SharedStateVarLink* head = nullptr;
  SharedStateVarLink* tail = nullptr;
  for (const SharedStateVarLink* l = chain; l != nullptr; l = l->Next) {
    SharedStateVarLink* copy = new SharedStateVarLink(l->StateVar, l->Model);
    if (tail == nullptr)
      head = copy;
    else
      tail->Next = copy;
    tail = copy;
  }
  return head;
}

void BaseComposerClass::addSharingInfo(BaseStateVariableClass* childVar, BaseStateVariableClass* sharedVar,
                                       BaseModelClass* childModel) {
  int VarIndex = -1;
  for (int i = 0; i < AddedSharedPtrs; i++)
    if (SharedStateVariables[i] == sharedVar) VarIndex = i;
  QUELIX_ASSERT_AT(VarIndex != -1, "BaseComposerClass", 377);
  SharedVarMembers[VarIndex]->append(childVar);
  auto appendToChain = [&](SharedStateVarLink* link) {
    if (SharedVarLinks[VarIndex] == nullptr)
      SharedVarLinks[VarIndex] = link;
    else
      SharedVarLinks[VarIndex]->addStateVarLink(link);
  };
  appendToChain(new SharedStateVarLink(childVar, childModel));
  for (BaseModelClass* child : Children)
    if (SharedStateVarLink* nested = child->getListOfSharedVariables(childVar)) appendToChain(CopyChain(nested));
}

void BaseComposerClass::SetupActions() {
  freeActionArrays();
  NumActions = 0;
  NumGroups = 0;
  for (BaseModelClass* child : Children) {
    NumActions += child->NumActions;
    NumGroups += child->NumGroups;
  }
  Actions = new BaseActionClass*[NumActions > 0 ? NumActions : 1]();
  Groups = new BaseGroupClass*[NumGroups > 0 ? NumGroups : 1]();
  int a = 0, g = 0;
  for (BaseModelClass* child : Children) {
    for (int i = 0; i < child->NumActions; i++) Actions[a++] = child->Actions[i];
    for (int i = 0; i < child->NumGroups; i++) Groups[g++] = child->Groups[i];
  }
  for (int n = 0; n < NumGroups; n++) Groups[n]->setGroupId(n);
}

void BaseComposerClass::GeneralSetup() {
  int merged = 0;
  for (const auto& members : SharedVarMembers) merged += members->getNumItems();
  NumStateVariables = -merged + NumSharedStateVariables;
  for (BaseModelClass* child : Children) NumStateVariables += child->NumStateVariables;
  CachedStateSize = StateSize();
}

int BaseComposerClass::SharedStateSize() {
  int size = 0;
  for (BaseStateVariableClass* v : SharedStateVariables)
    if (v != nullptr && v->Stored) size += v->StateSize();
  return size;
}

bool BaseComposerClass::AllChildrenEmpty() {
  for (BaseModelClass* child : Children)
    if (child->NumStateVariables > 0) return false;
  return true;
}

unsigned BaseComposerClass::Hash(const char* s, int n) {
  uint32_t h = 0;
  for (; *s != '\0'; s++) h = h * 32 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*s)));
  return n > 0 ? h % static_cast<uint32_t>(n) : 0;
}

void BaseComposerClass::printAllSharedVariables() {
  std::cout << "Shared Variables for composer node " << Name << std::endl;
  for (int i = 0; i < NumSharedStateVariables; i++) {
    BaseStateVariableClass* v = SharedStateVariables[i];
    std::cout << "  Shared Variable " << i << " has name " << (v ? v->getName() : "") << " and address "
              << static_cast<const void*>(v) << std::endl;
    std::cout << "    And here is its list of equivalent variables:" << std::endl;
    if (SharedVarLinks[i] != nullptr) SharedVarLinks[i]->printAllStateVariables();
  }
  std::cout << std::endl;
}
