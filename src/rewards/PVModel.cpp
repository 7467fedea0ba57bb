#include "rewards/PVModel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>

#include "Cpp/BaseClasses/BaseGroupClass.h"
#include "Cpp/BaseClasses/FastSet.h"
#include "Cpp/BaseClasses/List.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"
#include "rewards/ModelTreeQueries.h"

namespace {

const char kSource[] = "PVModel";
const int kInitialPVListCapacity = 100;

// The least double above x (x itself for +infinity or a NaN), as
// std::nextafter(x, infinity) gives it, without its library call: the walk
// that needs it runs at the start of every replication.
double NextAbove(double x) {
  if (!(x < std::numeric_limits<double>::infinity())) return x;
  if (x == 0.0) return std::numeric_limits<double>::denorm_min();
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  bits = x > 0.0 ? bits + 1 : bits - 1;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

std::size_t At(int i) { return static_cast<std::size_t>(i); }

}  // namespace

PVModel::PVModel()
    : PVListCapacity(0),
      NumPVs(0),
      ChildModel(nullptr),
      LastFiredAction(nullptr),
      Horizon(0.0),
      NumRateDSAllocated(0),
      NumImpulseDSAllocated(0),
      NumActionsWithPVs(0),
      NumIndexedActions(0),
      StateIndexOffset(0),
      TotalStateSize(0),
      StateIndexBytes(0),
      StoreLastAction(0),
      IndexedActions(nullptr) {
  NoFiredAction.defineName("No Action Fired Yet");
  LastFiredAction = &NoFiredAction;
  BaseModelClass::LastActionTime = 0.0;
}

PVModel::~PVModel() { Destruct(); }

// --- Model-tree operations, forwarded to the child ---------------------------

void PVModel::listModels(const char* name, List<BaseModelClass>* out) {
  ChildModel->listModels(name, out);
}

// One bulk append each: the list checks a long run against a hash set
// rather than searching itself per item.
void PVModel::listActions(List<BaseActionClass>* out) { out->append(Actions, NumActions); }

void PVModel::listGroups(List<BaseGroupClass>* out) { out->append(Groups, NumGroups); }

void PVModel::listActions(const char* name, List<BaseActionClass>* out) {
  ChildModel->listActions(name, out);
}

void PVModel::listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                      List<BaseModelClass>* models) {
  ChildModel->listSVs(modelName, svName, svs, models);
}

void PVModel::printState(std::ostream* os) { ChildModel->printState(os); }

// --- Set-up ------------------------------------------------------------------

void PVModel::CreatePVList(int numVariables, bool expandTimePoints) {
  QUELIX_ASSERT(NumPVs == 0, kSource);
  // Node numbers index the actions' per-variable structures of this model.
  PerformanceVariableNode::the_id = 0;
  PVListCapacity = kInitialPVListCapacity;
  PVList.reset(new PerformanceVariableNode*[At(PVListCapacity)]());
  int j = 0;
  for (int v = 0; v < numVariables; ++v) {
    PerformanceVariableNode* node = createPVNode(v, 0);
    QUELIX_ASSERT(node != nullptr, kSource);
    const int b = node->GetNumTimePoints();
    if (!(j + b < PVListCapacity)) {
      const int capacity = 2 * (PVListCapacity + b);
      std::unique_ptr<PerformanceVariableNode*[]> grown(new PerformanceVariableNode*[At(capacity)]());
      std::copy(PVList.get(), PVList.get() + j, grown.get());
      PVList = std::move(grown);
      PVListCapacity = capacity;
    }
    PVList[At(j)] = node;
    if (expandTimePoints && b > 1) {
      for (int k = 1; k < b; ++k) PVList[At(j + k)] = createPVNode(v, k);
      j += b;
    } else {
      j += 1;
    }
  }
  NumPVs = j;
}

void PVModel::Initialize() {
  GiveEmptyStructures(&NoFiredAction);

  Groups = ChildModel->Groups;
  NumGroups = ChildModel->NumGroups;
  Actions = ChildModel->Actions;
  NumActions = ChildModel->NumActions;
  NumStateVariables = ChildModel->NumStateVariables;
  NumSharedStateVariables = 0;

  for (int i = 0; i < NumPVs; ++i) {
    QUELIX_ASSERT(PVList[At(i)]->ID == i, kSource);
    PVList[At(i)]->FixReferences(ChildModel);
  }
  for (int i = 0; i < NumPVs; ++i) Horizon = std::max(Horizon, PVList[At(i)]->StopTime);

  MakeAffectedLists();
  MakeImpulseAffectedLists();
  ListImpulseFedNodes();
  ListImpulseFeeds();
  CreateAffectedLists();
  CreatePVStateIndex();
}

void PVModel::GiveEmptyStructures(BaseActionClass* a) {
  a->AllocatePVRateDS(NumPVs);
  a->AllocatePVImpulseDS(NumPVs);
  FreezeRateStructures(a);
  FreezeImpulseStructures(a);
}

void PVModel::FreezeRateStructures(BaseActionClass* a) {
  for (int p = 0; p < NumPVs; ++p) a->PVRateSets[p].NoMoreModifications();
  a->AffectedNodesByRateReward.NoMoreModifications();
}

void PVModel::FreezeImpulseStructures(BaseActionClass* a) {
  for (int p = 0; p < NumPVs; ++p) a->PVImpulseSets[p].NoMoreModifications();
  a->AffectedNodesByImpulseReward.NoMoreModifications();
}

void PVModel::MakeAffectedLists() {
  for (int i = 0; i < NumPVs; ++i) {
    PerformanceVariableNode* node = PVList[At(i)];
    node->CreateModelGroupList();
    node->CreateWorkerList();
    node->FixWorkerList();
    for (int v = 0; v < node->NumVariableDependencies; ++v) {
      const VarModelPairClass& dependency = node->VariableDependencies[At(v)];
      List<BaseStateVariableClass> svs;
      List<BaseModelClass> models;
      listSVs(dependency.ModelName.c_str(), dependency.VariableName.c_str(), &svs, &models);
      for (int k = 0; k < svs.getNumItems(); ++k) {
        QUELIX_ASSERT(k < models.getNumItems(), kSource);
        BaseStateVariableClass* sv = svs.getItem(k);
        for (int n = 0; n < sv->getNumAffectingActions(); ++n) {
          BaseActionClass* a = sv->getAffectingAction(n);
          if (!a->IsPVRateDSAllocated()) {
            a->AllocatePVRateDS(NumPVs);
            NumRateDSAllocated += 1;
          }
          if (a->PVRateSets[i].empty()) {
            const bool inserted = a->AffectedNodesByRateReward.insert(i);
            QUELIX_ASSERT_AT(inserted, kSource, 173);
            node->NumAffectingActions += 1;
          }
          node->AddPVWorkersToAction(a, models.getItem(k));
        }
      }
    }
  }
  for (int n = 0; n < NumActions; ++n) {
    BaseActionClass* a = Actions[n];
    if (!a->IsPVRateDSAllocated()) a->AllocatePVRateDS(NumPVs);
    FreezeRateStructures(a);
  }
}

void PVModel::MakeImpulseAffectedLists() {
  for (int i = 0; i < NumPVs; ++i) {
    PerformanceVariableNode* node = PVList[At(i)];
    node->CreateImpulseModelGroupList();
    node->CreateImpulseWorkerLists();
    node->FixImpulseWorkerLists();
    for (int j = 0; j < node->NumImpulses; ++j) {
      const ActionModelPairClass& watched = node->ImpulseActions[At(j)];
      for (BaseModelClass* m : model_tree::ListInstances(ChildModel, watched.ModelName)) {
        // An instance without an action of that name leaves the impulse
        // unattached there: it earns nothing in that instance.
        BaseActionClass* a = model_tree::FirstActionNamed(m, watched.ActionName);
        if (a != nullptr) AttachImpulse(i, j, a, m);
      }
    }
  }
  for (int n = 0; n < NumActions; ++n) {
    BaseActionClass* a = Actions[n];
    std::vector<BaseActionClass*> targets = model_tree::SyncMembers(a);
    targets.insert(targets.begin(), a);
    for (BaseActionClass* target : targets) {
      if (!target->IsPVImpulseDSAllocated()) target->AllocatePVImpulseDS(NumPVs);
      FreezeImpulseStructures(target);
    }
  }
}

// Records in a's structures which workers of impulse j of node i a's firing
// feeds: those bound to the instance m that owns a.
void PVModel::AttachImpulse(int i, int j, BaseActionClass* a, BaseModelClass* m) {
  PerformanceVariableNode* node = PVList[At(i)];
  if (!a->IsPVImpulseDSAllocated()) {
    a->AllocatePVImpulseDS(NumPVs);
    NumImpulseDSAllocated += 1;
  }
  if (a->PVImpulseSets[i].empty()) {
    a->AffectedNodesByImpulseReward.insert(i);
    node->NumAffectingActions += 1;
    a->PVImpulseIndices[i] = new int*[At(node->NumImpulses)]();
    a->PVImpulseCounts[i] = new int[At(node->NumImpulses)]();
  }
  if (a->PVImpulseIndices[i][j] == nullptr) {
    a->PVImpulseSets[i].insert(j);
    a->PVImpulseIndices[i][j] = new int[At(node->NumImpulseWorkers[At(j)])];
  }
  for (int w = 0; w < node->NumImpulseWorkers[At(j)]; ++w) {
    if (node->ImpulseWorkers[At(j)][w]->Model == m) {
      a->PVImpulseIndices[i][j][a->PVImpulseCounts[i][j]++] = w;
    }
  }
}

bool PVModel::CollectImpulseFedNodes(BaseActionClass* a, std::vector<int>& out) {
  if (a->IsPVImpulseDSAllocated()) {
    FastSet& fed = a->AffectedNodesByImpulseReward;
    if (!fed.isFrozen()) return false;
    for (int k = 0; k < fed.size(); ++k) out.push_back(fed[k]);
  }
  for (BaseActionClass* member : model_tree::SyncMembers(a)) {
    if (!CollectImpulseFedNodes(member, out)) return false;
  }
  return true;
}

void PVModel::ListImpulseFeeds() {
  ForgetQuiet();
  auto list = [this](BaseActionClass* a) {
    a->ImpulseFeeds.clear();
    std::vector<ImpulseNodeClass*> workers;
    for (PerformanceVariableNode* node : ConsideredPVs) {
      if (!std::binary_search(a->ImpulseFedNodes.begin(), a->ImpulseFedNodes.end(), node->ID)) continue;
      workers.clear();
      node->ListImpulseWorkersFedBy(a, workers);
      for (ImpulseNodeClass* w : workers) {
        double impulse = 0.0;
        const bool constant = w->CreditsConstant(&impulse);
        a->ImpulseFeeds.push_back({node, w, impulse, constant});
      }
    }
  };
  list(&NoFiredAction);
  for (int n = 0; n < NumActions; ++n) list(Actions[n]);
}

void PVModel::ListImpulseFedNodes() {
  FedStamps.assign(At(NumPVs), 0);
  FiringStamp = 0;
  auto list = [this](BaseActionClass* a) {
    std::vector<int> fed;
    // A set still being filled cannot be read: the action stays unknown, and
    // every event after its firing brings every node up to date.
    a->ImpulseFedNodesKnown = CollectImpulseFedNodes(a, fed);
    std::sort(fed.begin(), fed.end());
    fed.erase(std::unique(fed.begin(), fed.end()), fed.end());
    a->ImpulseFedNodes = std::move(fed);
  };
  list(&NoFiredAction);
  for (int n = 0; n < NumActions; ++n) list(Actions[n]);
}

void PVModel::CreateAffectedLists() {
  for (int i = 0; i < NumPVs; ++i) {
    PerformanceVariableNode* node = PVList[At(i)];
    if (node->NumAffectingActions > 0) {
      node->AffectingActions.clear();
      node->AffectingActions.reserve(At(node->NumAffectingActions));
      node->NumAffectingActions = 0;
    }
  }
  if (NumRateDSAllocated + NumImpulseDSAllocated == 0) return;
  ActionsWithPVs.reserve(At(NumRateDSAllocated + NumImpulseDSAllocated));
  AffectedNodeSets.reserve(At(NumRateDSAllocated + NumImpulseDSAllocated));
  for (int n = 0; n < NumActions; ++n) {
    BaseActionClass* a = Actions[n];
    if (a->AffectedNodesByRateReward.size() == 0 && a->AffectedNodesByImpulseReward.size() == 0) {
      continue;
    }
    CreateTotalPVAffectsList(a);
    ActionsWithPVs.push_back(a);
    AffectedNodeSets.push_back(&a->AffectedNodes);
    NumActionsWithPVs += 1;
    for (int k = 0; k < a->AffectedNodes.size(); ++k) {
      PerformanceVariableNode* node = PVList[At(a->AffectedNodes[k])];
      node->AffectingActions.push_back(a);
      node->NumAffectingActions += 1;
    }
  }
}

void PVModel::CreateTotalPVAffectsList(BaseActionClass* a) {
  QUELIX_ASSERT_AT(!a->AffectedNodes.isFrozen() && a->AffectedNodes.empty(), kSource, 32);
  for (int k = 0; k < a->AffectedNodesByRateReward.size(); ++k) {
    a->AffectedNodes.insert(a->AffectedNodesByRateReward[k]);
  }
  for (int k = 0; k < a->AffectedNodesByImpulseReward.size(); ++k) {
    a->AffectedNodes.insert(a->AffectedNodesByImpulseReward[k]);
  }
  a->AffectedNodes.NoMoreModifications();
}

void PVModel::ConsiderOnly(const int* indices, int n) {
  ConsideredPVs.clear();
  if (indices == nullptr) {
    ConsideredPVs.assign(PVList.get(), PVList.get() + NumPVs);
  } else {
    ConsideredPVs.reserve(At(n));
    for (int k = 0; k < n; ++k) {
      QUELIX_ASSERT(indices[k] >= 0 && indices[k] < NumPVs, kSource);
      ConsideredPVs.push_back(PVList[At(indices[k])]);
    }
  }
  ListImpulseFeeds();
}

// --- Per event and per run ---------------------------------------------------

void PVModel::WalkAllNodes(double t, BaseActionClass* last) {
  ForgetQuiet();
  for (PerformanceVariableNode* node : ConsideredPVs) node->Accumulate(t, LastActionTime, last);
}

void PVModel::WalkBusyNodes(double t, BaseActionClass* last) {
  const std::uint64_t stamp = ++FiringStamp;
  if (last != nullptr) {
    for (int id : last->ImpulseFedNodes) FedStamps[At(id)] = stamp;
  }
  double bound = std::numeric_limits<double>::infinity();
  bool inclusive = true;
  for (PerformanceVariableNode* node : ConsideredPVs) {
    if (FedStamps[At(node->ID)] == stamp || node->NumWorkers > 0) {
      node->Accumulate(t, LastActionTime, last);
    } else if (!node->IdleAt(t)) {
      node->AdvanceState(t);
    }
    bool nodeInclusive = false;
    const double nodeBound = node->IdleBound(&nodeInclusive);
    if (nodeBound < bound || (nodeBound == bound && !nodeInclusive)) {
      bound = nodeBound;
      inclusive = nodeInclusive;
    }
  }
  // An inclusive infinite bound stays infinite: an infinite t then takes this
  // walk, which is right for any t.
  QuietBefore = inclusive ? NextAbove(bound) : bound;
  QuietChanges = PerformanceVariableNode::StateChanges;
}

BaseActionClass* PVModel::FireAction(BaseActionClass* action, double t) {
  LastActionTime = t;
  LastFiredAction = action->Fire();
  return LastFiredAction;
}

void PVModel::EndAccumulate(double t) {
  BaseActionClass* last = LastFiredAction;
  if (last == nullptr || !last->ImpulseFedNodesKnown || last->isSync()) {
    for (PerformanceVariableNode* node : ConsideredPVs) {
      if (node->AccumulationState != PerformanceVariableNode::Complete) {
        node->EndAccumulate(t, LastActionTime, last);
      }
    }
    return;
  }
  // The last firing's impulses from its list first: a worker belongs to one
  // node and each node's totals read only its own workers, so every node
  // ends with the sums it would have had crediting them in its own turn.
  for (const ImpulseFeed& feed : last->ImpulseFeeds) {
    if (feed.Node->AccumulationState != PerformanceVariableNode::Complete) CreditFeed(feed, t, LastActionTime);
  }
  for (PerformanceVariableNode* node : ConsideredPVs) node->EndAccumulateFedAlready(t, LastActionTime);
}

void PVModel::PVReset() {
  for (int i = 0; i < NumPVs; ++i) {
    PerformanceVariableNode* node = PVList[At(i)];
    if (node->AccumulationState == PerformanceVariableNode::Accumulating ||
        node->AccumulationState == PerformanceVariableNode::Complete) {
      node->Reset();
    }
  }
  LastActionTime = 0.0;
  LastFiredAction = &NoFiredAction;
}

void PVModel::SteadyState() {
  PVReset();
  for (int i = 0; i < NumPVs; ++i) {
    PerformanceVariableNode* node = PVList[At(i)];
    if (node->IsSteadyState == 1) node->AccumulationState = PerformanceVariableNode::Accumulating;
  }
  ForgetQuiet();
}

// --- State vector and the last-action index ----------------------------------

int PVModel::CreatePVStateIndex() {
  StateIndexOffset = ChildModel->StateSize();
  if (StoreLastAction == 1) {
    IndexedActions = Actions;
    NumIndexedActions = NumActions;
    StateIndexBytes = BytesFor(NumIndexedActions);
  }
  TotalStateSize = StateIndexOffset + StateIndexBytes;
  return TotalStateSize;
}

int PVModel::BytesFor(int n) {
  if (n <= 0) return 0;
  if (n <= 0xFF) return 1;
  if (n <= 0xFFFF) return 2;
  if (n <= 0xFFFFFF) return 3;
  return 4;
}

int PVModel::IndexOf(const BaseActionClass* a) const {
  for (int k = 0; k < NumIndexedActions; ++k) {
    if (IndexedActions[k] == a) return k + 1;
  }
  return 0;
}

BaseActionClass* PVModel::ActionAt(int index) {
  // 0, and any number no action has (a corrupted state), mean nothing fired.
  if (index < 1 || index > NumIndexedActions) return &NoFiredAction;
  return IndexedActions[index - 1];
}

void PVModel::WriteIndex(unsigned char* to, int index) const {
  for (int b = 0; b < StateIndexBytes; ++b) {
    to[b] = static_cast<unsigned char>((static_cast<unsigned int>(index) >> (8 * b)) & 0xFFu);
  }
}

int PVModel::ReadIndex(const unsigned char* from) const {
  unsigned int index = 0;
  for (int b = 0; b < StateIndexBytes; ++b) index |= static_cast<unsigned int>(from[b]) << (8 * b);
  return static_cast<int>(index);
}

void PVModel::CurrentState(void* to) {
  ChildModel->CurrentState(to);
  WriteIndex(static_cast<unsigned char*>(to) + StateIndexOffset, IndexOf(LastFiredAction));
}

void PVModel::SetState(void* from) { ChildModel->SetState(from); }

bool PVModel::ListStateCells(int offset, std::vector<StateCell>* out) {
  return ChildModel->ListStateCells(offset, out);
}

int PVModel::StateSize() { return TotalStateSize; }

bool PVModel::CompareState(void* a, void* b) {
  if (!ChildModel->CompareState(a, b)) return false;
  if (StoreLastAction == 0) return true;
  return std::memcmp(static_cast<unsigned char*>(a) + StateIndexOffset,
                     static_cast<unsigned char*>(b) + StateIndexOffset,
                     At(StateIndexBytes)) == 0;
}

int PVModel::StateIndexLookup(void* buf) { return ReadIndex(static_cast<unsigned char*>(buf)); }

void PVModel::GetPVState(void* buf) {
  if (StoreLastAction == 1) WriteIndex(static_cast<unsigned char*>(buf), IndexOf(LastFiredAction));
}

void PVModel::PutPVState(void* buf) {
  if (StoreLastAction == 0) {
    for (PerformanceVariableNode* node : ConsideredPVs) {
      node->CurrentReward(&NoFiredAction);
      node->ImpulseValue = 0.0;
    }
    return;
  }
  LastFiredAction = ActionAt(ReadIndex(static_cast<unsigned char*>(buf)));
  for (PerformanceVariableNode* node : ConsideredPVs) node->CurrentReward(LastFiredAction);
}

void PVModel::AgeAction(char* state, BaseActionClass*) {
  LastFiredAction =
      ActionAt(ReadIndex(reinterpret_cast<unsigned char*>(state) + StateIndexOffset));
  for (PerformanceVariableNode* node : ConsideredPVs) node->CurrentReward(LastFiredAction);
}

void PVModel::FireAction(void* state, BaseActionClass* action) {
  action->Fire();
  LastFiredAction = action;
  for (PerformanceVariableNode* node : ConsideredPVs) node->CurrentReward(action);
  CurrentState(state);
}

// --- Description and destruction ---------------------------------------------

void PVModel::WritePVTypeFile(const char* fileName) {
  std::ofstream out(fileName, std::ios::out | std::ios::trunc);
  out << "Version:1" << std::endl;
  out << "NumPV:" << NumPVs << std::endl;
  for (int i = 0; i < NumPVs; ++i) {
    const PerformanceVariableNode* node = PVList[At(i)];
    out << "Name:" << node->Name << std::endl;
    out << "Type:" << static_cast<int>(node->Type) << std::endl;
    out << "NumTimes:" << node->NumTimePoints << std::endl;
    for (int k = 0; k < node->NumTimePoints; ++k) {
      out << "Start:" << node->StartTimes[At(k)] << std::endl;
      out << "Stop:" << node->StopTimes[At(k)] << std::endl;
    }
  }
}

void PVModel::ReleasePVStructures(BaseActionClass* a) {
  if (a->PVImpulseIndices != nullptr) {
    for (int i = 0; i < NumPVs; ++i) {
      if (a->PVImpulseIndices[i] == nullptr) continue;
      for (int j = 0; j < PVList[At(i)]->NumImpulses; ++j) delete[] a->PVImpulseIndices[i][j];
      delete[] a->PVImpulseIndices[i];
      a->PVImpulseIndices[i] = nullptr;
      delete[] a->PVImpulseCounts[i];
      a->PVImpulseCounts[i] = nullptr;
    }
  }
  a->DeallocatePVImpulseDS();
  a->DeallocatePVRateDS();
  a->ImpulseFedNodes.clear();
  a->ImpulseFedNodesKnown = false;
  a->ImpulseFeeds.clear();
}

void PVModel::Destruct() {
  ReleasePVStructures(&NoFiredAction);
  for (int n = 0; n < NumActions; ++n) {
    ReleasePVStructures(Actions[n]);
    for (BaseActionClass* member : model_tree::SyncMembers(Actions[n])) {
      ReleasePVStructures(member);
    }
  }
  ActionsWithPVs.clear();
  AffectedNodeSets.clear();
  ConsideredPVs.clear();
  for (int i = 0; i < NumPVs; ++i) delete PVList[At(i)];
  PVList.reset();
  NumPVs = 0;
  PVListCapacity = 0;

  delete ChildModel;
  ChildModel = nullptr;
  Groups = nullptr;
  Actions = nullptr;
  NumGroups = 0;
  NumActions = 0;
  IndexedActions = nullptr;
  NumIndexedActions = 0;
  LastFiredAction = &NoFiredAction;
}
