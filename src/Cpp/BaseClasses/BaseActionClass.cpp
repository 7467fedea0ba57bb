#include "Cpp/BaseClasses/BaseActionClass.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <new>

#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

int BaseActionClass::MaxID = 0;

BaseActionClass::BaseActionClass()
    : ScheduleRecord(nullptr),
      GroupID(0),
      Reactivation(false),
      Disabled(true),
      Name("default"),
      AffectedActions(nullptr),
      Fired(false),
      DistributionType(EXPONENTIAL),
      ParentModel(nullptr),
      PVImpulseSets(nullptr),
      PVImpulseIndices(nullptr),
      PVImpulseCounts(nullptr),
      PVRateSets(nullptr),
      NumCompletedNodes(0),
      ExecutionPolicy(DEFAULT_POLICY),
      Phase(1),
      ActionID(MaxID++) {}

BaseActionClass::BaseActionClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                                 int affectedCount, int enablingCount, bool reactivation)
    : BaseActionClass() {
  BaseActionClassInitialize(name, groupId, dist, policy, affectedCount, enablingCount, reactivation);
}

BaseActionClass::~BaseActionClass() {
  clearAffectedActions();
  DeallocatePVRateDS();
  DeallocatePVImpulseDS();
}

bool BaseActionClass::isSync() { return false; }

bool BaseActionClass::TimingIsInstantaneous() { return false; }
bool BaseActionClass::EnablingIsPure() { return false; }
const short* BaseActionClass::RequiredMarking() { return nullptr; }
bool BaseActionClass::EnablingIsRequiredMarking() { return false; }
int BaseActionClass::FiringVariants() { return 1; }
unsigned BaseActionClass::HotLines() { return 0; }
bool BaseActionClass::VariantMayWrite(int, const BaseStateVariableClass*) { return true; }
bool BaseActionClass::Enabled() { return false; }
double BaseActionClass::Weight() { return 0.0; }
double BaseActionClass::Rate() { return 0.0; }
bool BaseActionClass::ReactivationPredicate() { return false; }
bool BaseActionClass::ReactivationFunction() { return false; }
double BaseActionClass::SampleDistribution() { return 0.0; }
double* BaseActionClass::ReturnDistributionParameters() { return nullptr; }
void BaseActionClass::SetFired(int fired) { Fired = fired != 0; }
BaseActionClass* BaseActionClass::Fire() { return nullptr; }
int BaseActionClass::Rank() { return 0; }
bool BaseActionClass::EnablingChange() { return false; }
bool BaseActionClass::IsAMember(BaseActionClass* a) { return a == this; }
double BaseActionClass::Probability(BaseActionClass*) { return 1.0; }

void BaseActionClass::printAffectedState(std::ostream* s) {
  for (int i = 0; i < AffectedSVs.getNumItems(); i++) AffectedSVs[i]->printState(s);
}

void BaseActionClass::printEnablingState(std::ostream* s) {
  for (int i = 0; i < EnablingSVs.getNumItems(); i++) EnablingSVs[i]->printState(s);
}

BaseActionClass* BaseActionClass::getPrintedAction() { return this; }
double BaseActionClass::ErlangParamM() { return 1.0; }

void BaseActionClass::BaseActionClassInitialize(const char* name, int groupId, Distribution dist,
                                                ExecutionPolicyType policy, int, int, bool reactivation) {
  defineName(name);
  Reactivation = reactivation;
  GroupID = groupId;
  DistributionType = dist;
  ExecutionPolicy = policy;
}

void BaseActionClass::addEnablingSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    EnablingSVs.append(v);
  else
    v->addSelfAsEnablingSVToAction(this);
}

void BaseActionClass::addAffectedSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    AffectedSVs.append(v);
  else
    v->addSelfAsAffectedSVToAction(this);
}

void BaseActionClass::removeEnablingSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    EnablingSVs.remove(v);
  else
    v->removeSelfFromEnablingSVOfAction(this);
}

void BaseActionClass::removeAffectedSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    AffectedSVs.remove(v);
  else
    v->removeSelfFromAffectedSVOfAction(this);
}

void BaseActionClass::AllocatePVRateDS(int n) {
  DeallocatePVRateDS();
  PVRateSets = new (std::nothrow) FastSet[n > 0 ? n : 1];
  if (PVRateSets == nullptr) {
    std::cerr << "!! Memory allocation error in BaseActionClass::AllocatePVRateDS()" << std::endl;
    std::exit(1);
  }
}

void BaseActionClass::AllocatePVImpulseDS(int n) {
  DeallocatePVImpulseDS();
  int slots = n > 0 ? n : 1;
  PVImpulseSets = new (std::nothrow) FastSet[slots];
  PVImpulseIndices = new (std::nothrow) int**[slots]();
  PVImpulseCounts = new (std::nothrow) int*[slots]();
  if (PVImpulseSets == nullptr || PVImpulseIndices == nullptr || PVImpulseCounts == nullptr) {
    std::cerr << "!! Memory allocation error in BaseActionClass::AllocatePVImpulseDS()" << std::endl;
    std::exit(1);
  }
}

void BaseActionClass::DeallocatePVRateDS() {
  delete[] PVRateSets;
  PVRateSets = nullptr;
}

void BaseActionClass::DeallocatePVImpulseDS() {
  delete[] PVImpulseSets;
  delete[] PVImpulseIndices;
  delete[] PVImpulseCounts;
  PVImpulseSets = nullptr;
  PVImpulseIndices = nullptr;
  PVImpulseCounts = nullptr;
}

void BaseActionClass::clearAffectedActions() {
  while (AffectedActions != nullptr) {
    ActionListNode* next = AffectedActions->Next;
    delete AffectedActions;
    AffectedActions = next;
  }
  AffectedGroups.clear();
  WholeList = {nullptr, 0};
  setVariantGroups({});
  AffectedGroupsStale = false;
}

void BaseActionClass::pushAffectedAction(BaseActionClass* group) {
  AffectedActions = new ActionListNode{group, AffectedActions};
  AffectedGroupsStale = true;
}

void BaseActionClass::appendAffectedAction(BaseActionClass* group) {
  ActionListNode** link = &AffectedActions;
  while (*link != nullptr) link = &(*link)->Next;
  *link = new ActionListNode{group, nullptr};
  AffectedGroupsStale = true;
}

void BaseActionClass::syncAffectedGroups() {
  AffectedGroups.clear();
  setVariantGroups({});  // made from the old list: the whole list is walked again
  for (ActionListNode* node = AffectedActions; node != nullptr; node = node->Next) AffectedGroups.push_back(node->Action);
  const int count = static_cast<int>(AffectedGroups.size());
  if (count <= kNearGroups) {
    std::copy(AffectedGroups.begin(), AffectedGroups.end(), NearGroups);
    WholeList = {NearGroups, count};
  } else {
    WholeList = {AffectedGroups.data(), count};
  }
  AffectedGroupsStale = false;
}

void BaseActionClass::setVariantGroups(std::vector<std::vector<BaseActionClass*>> lists) {
  VariantGroups = std::move(lists);
  NumVariantLists = static_cast<int>(VariantGroups.size());
}

void BaseActionClass::PrintInfo() {
  std::cout << "********* " << Name << "**********" << std::endl << std::endl;
  std::cout << "Enabled by:" << std::endl << std::endl;
  for (int i = 0; i < EnablingSVs.getNumItems(); i++) std::cout << "           " << EnablingSVs[i]->Name << std::endl;
  std::cout << "Affects:" << std::endl << std::endl;
  for (int i = 0; i < AffectedSVs.getNumItems(); i++) std::cout << "           " << AffectedSVs[i]->Name << std::endl;
  std::cout << "Group ID = " << GroupID << std::endl;
  std::cout << "Execution Policy = " << ExecutionPolicy << std::endl;
  std::cout << "Disabled = " << (Disabled ? 1 : 0) << std::endl;
  std::cout << "Reactivation = " << (Reactivation ? 1 : 0) << std::endl;
  std::cout << "DistributionType = " << DistributionType << std::endl;
}
