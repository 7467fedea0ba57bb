#include "rewards/PerformanceVariableNode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseModelClass.h"
#include "Cpp/BaseClasses/FastSet.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "rewards/ModelTreeQueries.h"

int PerformanceVariableNode::the_id = 0;
std::uint64_t PerformanceVariableNode::StateChanges = 0;

namespace {

const char kSource[] = "PerformanceVariableNode";

bool Contains(const std::vector<std::string>& names, int count, const char* name) {
  for (int k = 0; k < count; ++k) {
    if (std::strcmp(names[static_cast<std::size_t>(k)].c_str(), name) == 0) return true;
  }
  return false;
}

std::size_t At(int i) { return static_cast<std::size_t>(i); }

}  // namespace

PerformanceVariableNode::PerformanceVariableNode()
    : TopModelSlot(nullptr),
      Value(0.0),
      SquaredValue(0.0),
      StartTime(-1.0),
      StopTime(-1.0),
      NumTimePoints(0),
      ImpulseValue(0.0),
      ImpulseSquaredValue(0.0),
      IntervalLength(0.0),
      IsSteadyState(0),
      Type(InstantOfTime),
      AccumulationState(NotStarted),
      ID(-1),
      NumAffectingActions(0),
      NumWorkers(0),
      NumVariableDependencies(0),
      NumImpulses(0),
      NumModelDependencies(0),
      OwnTopModel(nullptr) {
  // A generated subclass points TopModelSlot at its own member; until then the
  // node keeps the child model itself.
  TopModelSlot = &OwnTopModel;
}

PerformanceVariableNode::~PerformanceVariableNode() = default;

// --- Declaration -----------------------------------------------------------

void PerformanceVariableNode::Initialize(const char* name, RewardType type, int numTimes,
                                         const double* start, const double* stop, int timeIndex,
                                         int numImpulses, int numModelDeps, int numVarDeps) {
  ID = the_id++;
  Type = type;
  InitializeTimeArrays(numTimes, start, stop);
  QUELIX_ASSERT(timeIndex >= 0 && timeIndex < numTimes, kSource);
  StartTime = StartTimes[At(timeIndex)];
  StopTime = StopTimes[At(timeIndex)];
  IntervalLength = StopTime - StartTime;
  Name = name ? name : "";

  VariableDependencies.assign(At(numVarDeps), VarModelPairClass());
  ModelDependencies.assign(At(numModelDeps), std::string());
  NumVariableDependencies = 0;
  NumModelDependencies = 0;

  const std::size_t n = At(numImpulses);
  Impulses.assign(n, nullptr);
  ImpulseWorkers.assign(n, nullptr);
  NumImpulseWorkers.assign(n, 0);
  ImpulseModelDependencies.assign(n, std::vector<std::string>());
  NumImpulseModelDependencies.assign(n, 0);
  ImpulseActions.assign(n, ActionModelPairClass());
  NumImpulseActionInstances.assign(n, 0);
  ImpulseModelGroups.assign(n, std::vector<ModelGroupClass>());
  NumImpulses = 0;
}

void PerformanceVariableNode::InitializeTimeArrays(int n, const double* start,
                                                   const double* stop) {
  NumTimePoints = n;
  StartTimes.assign(start, start + n);
  StopTimes.assign(stop, stop + n);
}

void PerformanceVariableNode::AddVariableDependency(const char* variable, const char* model) {
  QUELIX_ASSERT(NumVariableDependencies < static_cast<int>(VariableDependencies.size()),
                kSource);
  VariableDependencies[At(NumVariableDependencies++)].SetPair(variable, model);
  AddModelDependency(model);
}

void PerformanceVariableNode::AddModelDependency(const char* model) {
  if (IsDependentOnModel(model)) return;
  QUELIX_ASSERT(NumModelDependencies < static_cast<int>(ModelDependencies.size()), kSource);
  ModelDependencies[At(NumModelDependencies++)] = model;
}

void PerformanceVariableNode::AddImpulse(const char* action, const char* model,
                                         ImpulseNodeClass* impulse) {
  int i = GetImpulseNumber(impulse);
  if (i < 0) {
    QUELIX_ASSERT(NumImpulses < static_cast<int>(Impulses.size()), kSource);
    i = NumImpulses++;
    Impulses[At(i)] = impulse;
    ImpulseModelDependencies[At(i)].assign(At(impulse->NumModelPointers), std::string());
  }
  ImpulseActions[At(i)].SetPair(action, model);
  // The impulse's own model thus always comes first among its dependencies.
  AddImpulseModelDependency(model, impulse);
}

void PerformanceVariableNode::AddImpulseModelDependency(const char* model,
                                                        ImpulseNodeClass* impulse) {
  const int i = GetImpulseNumber(impulse);
  if (i < 0) {
    std::cerr << "Model Dependency requested on undefined impulse."
              << "  Check code generator.  Error code GP0001.\n"
              << std::flush;
    std::exit(0);
  }
  if (IsDependentOnImpulseModel(model, i)) return;
  AddImpulseModelDependency(model, i);
}

void PerformanceVariableNode::AddImpulseModelDependency(const char* model, int impulseNumber) {
  QUELIX_ASSERT(impulseNumber >= 0 && impulseNumber < NumImpulses, kSource);
  std::vector<std::string>& deps = ImpulseModelDependencies[At(impulseNumber)];
  int& count = NumImpulseModelDependencies[At(impulseNumber)];
  // An impulse binds one model-pointer member per dependency.
  QUELIX_ASSERT(count < static_cast<int>(deps.size()), kSource);
  deps[At(count++)] = model;
}

void PerformanceVariableNode::AddImpulseActionDependency(const char* action, const char* model,
                                                         int impulseNumber) {
  QUELIX_ASSERT(impulseNumber >= 0 && impulseNumber < static_cast<int>(ImpulseActions.size()),
                kSource);
  ImpulseActions[At(impulseNumber)].SetPair(action, model);
}

bool PerformanceVariableNode::IsDependentOnModel(const char* model) const {
  return Contains(ModelDependencies, NumModelDependencies, model);
}

bool PerformanceVariableNode::IsDependentOnImpulseModel(const char* model,
                                                        int impulseNumber) const {
  if (impulseNumber < 0 || impulseNumber >= NumImpulses) return false;
  return Contains(ImpulseModelDependencies[At(impulseNumber)],
                  NumImpulseModelDependencies[At(impulseNumber)], model);
}

int PerformanceVariableNode::GetImpulseNumber(const ImpulseNodeClass* impulse) const {
  for (int i = 0; i < NumImpulses; ++i) {
    if (Impulses[At(i)] == impulse) return i;
  }
  return -1;
}

void PerformanceVariableNode::DefineName(const char* name) {
  for (int i = 0; i < NumWorkers; ++i) {
    if (Workers[At(i)]) Workers[At(i)]->DefineName(name, i);
  }
  for (int i = 0; i < NumImpulses; ++i) {
    for (int j = 0; j < NumImpulseWorkers[At(i)]; ++j) {
      ImpulseWorkers[At(i)][j]->DefineName(name, i, j);
    }
  }
}

void PerformanceVariableNode::UpdateDependencies() {
  if (IsSteadyState == 1) return;
  for (BaseActionClass* a : AffectingActions) {
    a->NumCompletedNodes += 1;
    if (a->NumCompletedNodes == a->AffectedNodes.size()) a->AffectedNodes.clear();
  }
}

// --- Resolution ------------------------------------------------------------

BaseModelClass* PerformanceVariableNode::TopModel() const { return *TopModelSlot; }

void PerformanceVariableNode::FixReferences(BaseModelClass* child) {
  *TopModelSlot = child;

  NumWorkers = 0;
  if (NumModelDependencies > 0) {
    NumWorkers = 1;
    for (int d = 0; d < NumModelDependencies; ++d) {
      NumWorkers *= static_cast<int>(model_tree::ListInstances(child, ModelDependencies[At(d)]).size());
    }
  }

  for (int i = 0; i < NumImpulses; ++i) {
    int workers = 1;
    for (int d = 0; d < NumImpulseModelDependencies[At(i)]; ++d) {
      workers *= static_cast<int>(
          model_tree::ListInstances(child, ImpulseModelDependencies[At(i)][At(d)]).size());
    }
    const std::string& watchedModel = ImpulseActions[At(i)].ModelName;
    const int instances = static_cast<int>(model_tree::ListInstances(child, watchedModel).size());
    NumImpulseActionInstances[At(i)] = instances;
    if (!IsDependentOnImpulseModel(watchedModel.c_str(), i)) workers *= instances;
    NumImpulseWorkers[At(i)] = workers;
  }

  Workers.clear();
  Workers.resize(At(NumWorkers));
}

void PerformanceVariableNode::CreateModelGroupList() {
  ModelGroups.assign(At(NumWorkers), ModelGroupClass());
  for (ModelGroupClass& group : ModelGroups) group.CreateModelList(NumModelDependencies);

  // The bindings enumerate the Cartesian product of the instance lists, the
  // first dependency varying slowest.
  int r = NumWorkers;
  for (int d = 0; d < NumModelDependencies; ++d) {
    const std::string& dependency = ModelDependencies[At(d)];
    const std::vector<BaseModelClass*> instances = model_tree::ListInstances(TopModel(), dependency);
    const int n = static_cast<int>(instances.size());
    if (n == 0) {
      std::cerr << "Number of " << dependency << "'s was " << 0
                << ".  Model cannot be created.\n" << std::flush;
      const char* topName = TopModel() ? model_tree::ModelName(TopModel()) : nullptr;
      if (topName != nullptr) {
        std::cerr << "Model Name was: " << topName << "\n.";
      } else {
        std::cerr << "Model Name was: NULL\n";
      }
      std::cerr << std::flush;
      std::exit(0);
    }
    r = r / n;
    int c = -1;
    for (int g = 0; g < NumWorkers; ++g) {
      if (g % r == 0) {
        c = c + 1;
        if (c == n) c = 0;
      }
      ModelGroups[At(g)].SetModel(d, instances[At(c)]);
    }
  }
}

void PerformanceVariableNode::FixWorkerList() {
  for (int i = 0; i < NumWorkers; ++i) {
    PerformanceVariableWorker* worker = Workers[At(i)].get();
    QUELIX_ASSERT(worker != nullptr, kSource);
    worker->StartTime = StartTime;
    worker->StopTime = StopTime;
    worker->DefineName(Name.c_str(), i);
    worker->PVID = ID;
    QUELIX_ASSERT(static_cast<int>(worker->ModelPointerSlots.size()) >= NumModelDependencies,
                  kSource);
    for (int d = 0; d < NumModelDependencies; ++d) {
      *worker->ModelPointerSlots[At(d)] = ModelGroups[At(i)].Models[At(d)];
    }
  }
}

void PerformanceVariableNode::AddPVWorkersToAction(BaseActionClass* a, BaseModelClass* m) {
  for (int i = 0; i < NumWorkers; ++i) {
    if (ModelGroups[At(i)].IsDependentOnModel(m)) a->PVRateSets[ID].insert(i);
  }
}

void PerformanceVariableNode::CreateImpulseModelGroupList() {
  for (int i = 0; i < NumImpulses; ++i) {
    std::vector<ModelGroupClass>& groups = ImpulseModelGroups[At(i)];
    groups.assign(At(NumImpulseWorkers[At(i)]), ModelGroupClass());
    for (ModelGroupClass& group : groups) group.CreateModelList(NumImpulseModelDependencies[At(i)]);

    const std::vector<BaseModelClass*> watched =
        model_tree::ListInstances(TopModel(), ImpulseActions[At(i)].ModelName);
    if (groups.empty() || watched.empty()) continue;
    for (int k = 0; k < static_cast<int>(watched.size()); ++k) {
      BindImpulseBlock(i, k, static_cast<int>(watched.size()), watched);
    }
  }
}

// Block k holds the workers that watch the action of instance k of the watched
// model. Inside the block the workers enumerate the Cartesian product of the
// instances of the impulse's other dependencies, the first varying slowest; a
// dependency on the watched model itself is bound to instance k, the instance
// whose action the worker watches.
void PerformanceVariableNode::BindImpulseBlock(int impulse, int block, int numBlocks,
                                               const std::vector<BaseModelClass*>& watched) {
  std::vector<ModelGroupClass>& groups = ImpulseModelGroups[At(impulse)];
  const int n = static_cast<int>(groups.size());
  const int first = n * block / numBlocks;
  const int last = n * (block + 1) / numBlocks;
  const std::string& watchedName = ImpulseActions[At(impulse)].ModelName;

  int stride = last - first;
  for (int d = 0; d < NumImpulseModelDependencies[At(impulse)]; ++d) {
    const std::string& dependency = ImpulseModelDependencies[At(impulse)][At(d)];
    if (dependency == watchedName) {
      for (int g = first; g < last; ++g) groups[At(g)].SetModel(d, watched[At(block)]);
      continue;
    }
    const std::vector<BaseModelClass*> instances = model_tree::ListInstances(TopModel(), dependency);
    const int c = static_cast<int>(instances.size());
    stride = stride / c > 0 ? stride / c : 1;
    for (int g = first; g < last; ++g) {
      groups[At(g)].SetModel(d, instances[At(((g - first) / stride) % c)]);
    }
  }
}

void PerformanceVariableNode::CreateImpulseWorkerLists() {
  for (int i = 0; i < NumImpulses; ++i) {
    ImpulseWorkers[At(i)] = Impulses[At(i)]->CreateImpulseWorkerList(NumImpulseWorkers[At(i)]);
  }
  AllImpulseWorkers.clear();
  for (int i = 0; i < NumImpulses; ++i) {
    for (int j = 0; j < NumImpulseWorkers[At(i)]; ++j) AllImpulseWorkers.push_back(ImpulseWorkers[At(i)][j]);
  }
  ClosingImpulseWorkers.clear();
  PlainImpulseWorkers.clear();
  for (ImpulseNodeClass* worker : AllImpulseWorkers)
    (worker->HasPlainEnds() ? PlainImpulseWorkers : ClosingImpulseWorkers).push_back(worker);
}

void PerformanceVariableNode::FixImpulseWorkerLists() {
  for (int i = 0; i < NumImpulses; ++i) {
    const std::vector<BaseModelClass*> watched =
        model_tree::ListInstances(TopModel(), ImpulseActions[At(i)].ModelName);
    const int e = static_cast<int>(watched.size());
    const int n = NumImpulseWorkers[At(i)];
    for (int g = 0; g < e; ++g) {
      for (int j = n * g / e; j < n * (g + 1) / e; ++j) {
        ImpulseNodeClass* worker = ImpulseWorkers[At(i)][j];
        worker->StartTime = StartTime;
        worker->StopTime = StopTime;
        worker->PVID = ID;
        worker->DefineName(Name.c_str(), i, j);
        worker->Model = watched[At(g)];
        const int deps = NumImpulseModelDependencies[At(i)];
        QUELIX_ASSERT(static_cast<int>(worker->ModelPointerSlots.size()) >= deps, kSource);
        for (int d = 0; d < deps; ++d) {
          *worker->ModelPointerSlots[At(d)] = ImpulseModelGroups[At(i)][At(j)].Models[At(d)];
        }
      }
    }
  }
}

// --- Accumulation ----------------------------------------------------------

template <typename Visit>
void PerformanceVariableNode::ForEachImpulseWorkerOf(BaseActionClass* last, Visit visit) {
  // The action's own per-variable arrays, built once at set-up, list exactly
  // the impulse workers bound to the model instance that owns it. Set-up
  // fills an action's set for this variable only together with its entry in
  // AffectedNodesByImpulseReward, so an empty set already means "not
  // affected": no membership search is needed per event.
  if (last == nullptr || last->PVImpulseSets == nullptr) return;
  FastSet& impulses = last->PVImpulseSets[ID];
  for (int s = 0; s < impulses.size(); ++s) {
    const int j = impulses[s];
    const int count = last->PVImpulseCounts[ID][j];
    const int* indices = last->PVImpulseIndices[ID][j];
    for (int k = 0; k < count; ++k) visit(ImpulseWorkers[At(j)][indices[k]]);
  }
}

// Inline in both callers: CommonAccumulate runs on every event of a model
// with a rate reward, and a call of its own would cost that event more than
// the usual single worker's work.
[[gnu::always_inline]] inline void PerformanceVariableNode::AccumulateRates(double t, double lastT) {
  double sum = 0.0;
  for (int i = 0; i < NumWorkers; ++i) {
    Workers[At(i)]->AccumulateRate(t, lastT);
    sum += Workers[At(i)]->Value;
  }
  if (Type != InstantOfTime && NumWorkers > 0) {
    const double f = Workers[0]->Factor;
    Value += f * sum;
    SquaredValue += f * sum * sum;
  }
}

void PerformanceVariableNode::Accumulate(double t, double lastT, BaseActionClass* last) {
  if (AccumulationState == Complete || !(t >= StartTime)) return;
  CommonAccumulate(t, lastT, last);
  UpdateAccumulate(t);
}

void PerformanceVariableNode::CommonAccumulate(double t, double lastT, BaseActionClass* last) {
  AccumulateRates(t, lastT);
  ForEachImpulseWorkerOf(last, [t, lastT](ImpulseNodeClass* w) { w->Accumulate(t, lastT); });
  model_tree::ForEachSyncMember(
      last, [this, t, lastT](BaseActionClass* member) { CommonAccumulate(t, lastT, member); });
}

void PerformanceVariableNode::TotalAccumulation() {
  if (Type == InstantOfTime && NumWorkers > 0) {
    double sum = 0.0;
    for (int i = 0; i < NumWorkers; ++i) sum += Workers[At(i)]->Value;
    const double f = Workers[0]->Factor;
    Value += f * sum;
    SquaredValue += f * sum * sum;
  }
  ImpulseValue = 0.0;
  ImpulseSquaredValue = 0.0;
  for (const ImpulseNodeClass* worker : AllImpulseWorkers) {
    const double v = worker->Value;
    ImpulseValue += v;
    ImpulseSquaredValue += v * v;
  }
  Value += ImpulseValue;
  SquaredValue += ImpulseSquaredValue;
}

void PerformanceVariableNode::EndAccumulate(double t, double lastT, BaseActionClass* last) {
  if (AccumulationState == Complete) return;
  // Without a rate reward, and with no impulse of the last firing to credit,
  // the common step has nothing to add.
  const bool fedByLast = last != nullptr && (!last->ImpulseFedNodesKnown ||
                                             std::binary_search(last->ImpulseFedNodes.begin(),
                                                                last->ImpulseFedNodes.end(), ID));
  if (NumWorkers > 0 || fedByLast) CommonAccumulate(t, lastT, last);
  CloseObservation(t);
}

void PerformanceVariableNode::EndAccumulateFedAlready(double t, double lastT) {
  if (AccumulationState == Complete) return;
  if (NumWorkers > 0) AccumulateRates(t, lastT);
  CloseObservation(t);
}

void PerformanceVariableNode::CloseObservation(double t) {
  for (ImpulseNodeClass* worker : ClosingImpulseWorkers) worker->completeAccumulation(t);
  ++StateChanges;
  // One time unit of slack: a run ending at the horizon completes every node.
  if (t + 1.0 > StopTime) {
    AccumulationState = Complete;
    TotalAccumulation();
  } else {
    AccumulationState = Accumulating;
  }
}

void PerformanceVariableNode::CurrentReward(BaseActionClass* last) {
  Value = 0.0;
  SquaredValue = 0.0;
  for (int i = 0; i < NumWorkers; ++i) {
    Workers[At(i)]->CurrentReward();
    Value += Workers[At(i)]->Value;
    SquaredValue += Workers[At(i)]->SquaredValue;
  }
  ImpulseValue = 0.0;
  ImpulseSquaredValue = 0.0;
  ForEachImpulseWorkerOf(last, [this](ImpulseNodeClass* w) {
    w->CurrentImpulse();
    ImpulseValue += w->Value;
    ImpulseSquaredValue += w->SquaredValue;
  });
}

void PerformanceVariableNode::UpdateAccumulate(double t) {
  if (t > StopTime) {
    AccumulationState = Complete;
    ++StateChanges;
    TotalAccumulation();
  } else if (AccumulationState != Accumulating) {
    AccumulationState = Accumulating;
    ++StateChanges;
  }
}

double PerformanceVariableNode::IdleBound(bool* inclusive) const {
  *inclusive = false;
  switch (AccumulationState) {
    case Complete:
      *inclusive = true;
      return std::numeric_limits<double>::infinity();
    case Accumulating:
      if (NumWorkers == 0 && StopTime >= StartTime) {
        *inclusive = true;
        return StopTime;
      }
      return StartTime;
    case NotStarted:
      return StartTime;
    default:
      return -std::numeric_limits<double>::infinity();
  }
}

void PerformanceVariableNode::ListImpulseWorkersFedBy(BaseActionClass* last,
                                                      std::vector<ImpulseNodeClass*>& out) {
  ForEachImpulseWorkerOf(last, [&out](ImpulseNodeClass* w) { out.push_back(w); });
  if (last != nullptr && last->isSync()) {
    for (BaseActionClass* member : model_tree::SyncMembers(last)) ListImpulseWorkersFedBy(member, out);
  }
}

bool PerformanceVariableNode::ImpulseAffectedBy(BaseActionClass* a) const {
  if (a == nullptr) return false;
  if (a->PVImpulseSets != nullptr &&
      model_tree::FrozenSetContains(a->AffectedNodesByImpulseReward, ID)) {
    return true;
  }
  for (BaseActionClass* member : model_tree::SyncMembers(a)) {
    if (ImpulseAffectedBy(member)) return true;
  }
  return false;
}

void PerformanceVariableNode::Reset() {
  ++StateChanges;
  AccumulationState = NotStarted;
  Value = 0.0;
  SquaredValue = 0.0;
  for (int i = 0; i < NumWorkers; ++i) Workers[At(i)]->Reset();
  ImpulseValue = 0.0;
  ImpulseSquaredValue = 0.0;
  // Each worker's reset touches only the worker: the plain ones may be
  // cleared apart from the others.
  for (ImpulseNodeClass* worker : ClosingImpulseWorkers) worker->Reset();
  for (ImpulseNodeClass* worker : PlainImpulseWorkers) worker->Value = 0.0;
  if (IsSteadyState == 1) {
    StartTime = StopTime;
    StopTime = StartTime + IntervalLength;
    // The workers compare firing times against their own copies of the
    // window: they move with it, or every batch after the first would
    // credit nothing.
    for (int i = 0; i < NumWorkers; ++i) {
      Workers[At(i)]->StartTime = StartTime;
      Workers[At(i)]->StopTime = StopTime;
    }
    for (int i = 0; i < NumImpulses; ++i) {
      for (int j = 0; j < NumImpulseWorkers[At(i)]; ++j) {
        ImpulseWorkers[At(i)][j]->StartTime = StartTime;
        ImpulseWorkers[At(i)][j]->StopTime = StopTime;
      }
    }
  }
}
