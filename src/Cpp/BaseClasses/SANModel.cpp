#include "Cpp/BaseClasses/SANModel.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>

#include "Cpp/BaseClasses/QuelixAssert.h"

void SANModel::LocalState::SetState(const BaseModelClass* m) const {
  const_cast<BaseModelClass*>(m)->SetState(Data.get());
}

void SANModel::LocalState::GetState(const BaseModelClass* m) { const_cast<BaseModelClass*>(m)->CurrentState(Data.get()); }

SANModel::SANModel() : Places(nullptr), ReadOnlyPlaces(nullptr), NumReadOnlyPlaces(0) {}

SANModel::SANModel(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
                   BaseStateVariableClass** readOnly, int numActions, Activity** actions, int numGroups,
                   BaseGroupClass** groups)
    : SANModel() {
  initializeSANModelNow(name, numPlaces, places, numReadOnly, readOnly, numActions, actions, numGroups, groups);
}

SANModel::~SANModel() { freeArrays(); }

void SANModel::freeArrays() {
  delete[] Places;
  delete[] ReadOnlyPlaces;
  delete[] Actions;
  delete[] Groups;
  Places = ReadOnlyPlaces = nullptr;
  Actions = nullptr;
  Groups = nullptr;
}

void SANModel::initializeSANModelNow(const char* name, int numPlaces, BaseStateVariableClass** places,
                                     int numReadOnly, BaseStateVariableClass** readOnly, int numActions,
                                     Activity** actions, int numGroups, BaseGroupClass** groups) {
  freeArrays();
  DefineName(name);
  NumStateVariables = numPlaces + numReadOnly;
  NumReadOnlyPlaces = numReadOnly;
  NumSharedStateVariables = 0;
  NumActions = numActions;
  NumGroups = numGroups;
  Places = new BaseStateVariableClass*[numPlaces > 0 ? numPlaces : 1]();
  ReadOnlyPlaces = new BaseStateVariableClass*[numReadOnly > 0 ? numReadOnly : 1]();
  Actions = new BaseActionClass*[numActions > 0 ? numActions : 1]();
  Groups = new BaseGroupClass*[numGroups > 0 ? numGroups : 1]();
  if (places) SetPlaces(places);
  if (readOnly) SetReadOnlyPlaces(readOnly);
  if (actions) SetActions(actions);
  if (groups) SetGroups(groups);
}

void SANModel::SetPlaces(BaseStateVariableClass** places) {
  for (int i = 0; i < getNumPlaces(); i++) Places[i] = places[i];
}

void SANModel::SetReadOnlyPlaces(BaseStateVariableClass** readOnly) {
  for (int i = 0; i < NumReadOnlyPlaces; i++) ReadOnlyPlaces[i] = readOnly[i];
}

void SANModel::SetActions(Activity** actions) {
  for (int i = 0; i < NumActions; i++) {
    Actions[i] = actions[i];
    Actions[i]->ParentModel = this;
  }
}

void SANModel::SetGroups(BaseGroupClass** groups) {
  for (int i = 0; i < NumGroups; i++) {
    Groups[i] = groups[i];
    Groups[i]->ParentModel = this;
  }
}

void SANModel::PrintSANModelInfo() {
  std::printf("SANModelInfo\n");
  std::printf("Number of Actions = %i, Number of Groups = %i, Number of State Variables = %i\n", NumActions,
              NumGroups, NumStateVariables);
  for (int i = 0; i < NumActions; i++) {
    BaseActionClass* a = Actions[i];
    std::printf("ActionName = %s\n", a->getName());
    std::printf("Group Id = %i\n", a->GroupID);
    std::printf("DistributionType = %i\n", static_cast<int>(a->DistributionType));
    std::printf("ExecutionPolicy = %i\n", static_cast<int>(a->ExecutionPolicy));
    std::printf("Number of affected state variables = %i\n", a->AffectedSVs.getNumItems());
    std::printf("Number of enabling state variables = %i\n", a->EnablingSVs.getNumItems());
  }
  std::printf("\n");
  for (int i = 0; i < NumGroups; i++) std::printf("Group Name = %s \n", Groups[i]->getName());
  for (int i = 0; i < getNumPlaces(); i++) std::printf("Place Name = %s\n", Places[i]->getName());
  for (int i = 0; i < NumReadOnlyPlaces; i++) std::printf("Read Only Place Name = %s\n", ReadOnlyPlaces[i]->getName());
  std::fflush(stdout);
}

void SANModel::listModels(const char* name, List<BaseModelClass>* out) {
  if (Name == name) out->append(this);
}

void SANModel::CurrentState(void* to) {
  char* at = static_cast<char*>(to);
  for (int i = 0; i < getNumPlaces(); i++) {
    if (Places[i]->Shared) continue;
    Places[i]->CurrentState(at);
    at += Places[i]->StateSize();
  }
}

void SANModel::SetState(void* from) {
  char* at = static_cast<char*>(from);
  for (int i = 0; i < getNumPlaces(); i++) {
    if (Places[i]->Shared) continue;
    Places[i]->SetState(at);
    at += Places[i]->StateSize();
  }
}

bool SANModel::ListStateCells(int offset, std::vector<StateCell>* out) {
  for (int i = 0; i < getNumPlaces(); i++) {
    if (Places[i]->Shared) continue;
    if (!Places[i]->ListStateCells(offset, out)) return false;
    offset += Places[i]->StateSize();
  }
  return true;
}

void SANModel::listActions(List<BaseActionClass>* out) { out->append(Actions, NumActions); }

void SANModel::listGroups(List<BaseGroupClass>* out) { out->append(Groups, NumGroups); }

int SANModel::StateSize() {
  int size = 0;
  for (int i = 0; i < getNumPlaces(); i++)
    if (Places[i]->Stored) size += Places[i]->StateSize();
  return size;
}

bool SANModel::CompareState(void* a, void* b) { return std::memcmp(a, b, StateSize()) == 0; }

void SANModel::listActions(const char* name, List<BaseActionClass>* out) {
  for (int i = 0; i < NumActions; i++) {
    if (Actions[i]->Name == name) {
      out->append(Actions[i]);
      return;
    }
  }
}

void SANModel::listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                       List<BaseModelClass>* models) {
  if (Name != modelName) return;
  auto add = [&](BaseStateVariableClass* v) {
    svs->append(v);
    models->append(this);
  };
  for (int i = 0; i < getNumPlaces(); i++)
    if (Places[i]->Name == svName) add(Places[i]);
  for (int i = 0; i < NumReadOnlyPlaces; i++)
    if (ReadOnlyPlaces[i]->Name == svName) add(ReadOnlyPlaces[i]);
}

void SANModel::printState(std::ostream* os) {
  *os << "Model: (" << ModelId << ")" << Name << std::endl;
  for (int i = 0; i < getNumPlaces(); i++) {
    *os << "  ";
    Places[i]->printState(os);
  }
  for (int i = 0; i < NumReadOnlyPlaces; i++) {
    *os << "  ";
    ReadOnlyPlaces[i]->printState(os);
  }
}

BaseStateVariableClass** SANModel::GetLocalStateVariables(std::ostream*) { return Places; }

BaseModelClass* SANModel::GetChild(int) {
  QUELIX_ASSERT_AT(false, "SANModel", 337);
  return nullptr;
}

namespace {
struct ByActionID {
  bool operator()(const BaseActionClass* a, const BaseActionClass* b) const { return a->ActionID < b->ActionID; }
};
}  // namespace

void SANModel::GetGlobalActions(std::forward_list<BaseActionClass*>& out) {
  std::set<BaseActionClass*, ByActionID> own(Actions, Actions + NumActions);
  std::set<BaseActionClass*, ByActionID> touching;
  for (int i = 0; i < getNumPlaces(); i++) {
    BaseStateVariableClass* p = Places[i];
    if (p->Stored) continue;
    for (int k = 0; k < p->getNumAffectingActions(); k++) touching.insert(p->AffectingActions->getItem(k));
    for (int k = 0; k < p->getNumEnabledActions(); k++) touching.insert(p->EnabledActions->getItem(k));
  }
  for (BaseActionClass* a : touching)
    if (own.count(a)) out.push_front(a);
}

void SANModel::GetLocalActions(std::forward_list<BaseActionClass*>& out) {
  std::forward_list<BaseActionClass*> global;
  GetGlobalActions(global);
  std::set<BaseActionClass*> globalSet(global.begin(), global.end());
  for (int i = 0; i < NumActions; i++)
    if (!globalSet.count(Actions[i])) out.push_front(Actions[i]);
}

template <class T>
static bool holdsExactly(T** mine, int n, T** given) {
  for (int i = 0; i < n; i++)
    if (mine[i] != given[i]) return false;
  return true;
}

bool checkLocalSVs(SANModel* model, Place** places) {
  for (int i = 0; i < model->getNumPlaces(); i++)
    if (model->Places[i] != places[i]) return false;
  return true;
}

bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** readOnly) {
  return holdsExactly(model->ReadOnlyPlaces, model->NumReadOnlyPlaces, readOnly);
}

bool checkLocalActions(SANModel* model, Activity** actions) {
  for (int i = 0; i < model->NumActions; i++)
    if (model->Actions[i] != actions[i]) return false;
  return true;
}
