// PerformanceVariableNode is one reward variable observed over one interval of
// simulated time [StartTime, StopTime]. A generated subclass declares, in its
// constructor, the variable's time points and its dependencies: the state
// variables and models its rate reward reads, and its impulses (the action and
// model each watches, and further models each reads). When the reward model
// initialises, the node resolves those names against the model tree: one rate
// worker per combination of instances of its model dependencies, and per
// impulse one impulse worker per combination, split into equal consecutive
// blocks, one block per instance of the watched model. Every event the node
// combines what its workers report into Value and SquaredValue.
//
// Impulses are credited one event late: the firing at lastT is credited when
// the next event arrives at t, or when the run ends.
//
// Ownership: the node owns its names, arrays, bindings and rate workers. The
// impulse prototypes are members of the generated subclass, which also owns the
// impulse workers through them; ImpulseWorkers only refers to those arrays.
// TopModelSlot points at a member of the generated subclass.
#ifndef REWARDS_PERFORMANCEVARIABLENODE_H
#define REWARDS_PERFORMANCEVARIABLENODE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rewards/ActionModelPairClass.h"
#include "rewards/ImpulseNodeClass.h"
#include "rewards/ModelGroupClass.h"
#include "rewards/PerformanceVariableWorker.h"
#include "rewards/VarModelPairClass.h"

class BaseActionClass;
class BaseModelClass;

// How the rate reward is taken: once when the observation completes (0), or
// over the time elapsed between events (1; any other value is treated alike).
enum RewardType : std::int32_t { InstantOfTime = 0, IntervalOfTime = 1 };

class PerformanceVariableNode {
 public:
  enum { NotStarted = 0, Accumulating = 1, Complete = 2 };

  // Number of the next node to be initialised; the reward model restarts it at
  // 0 before it creates its nodes, so that ID is the node's list position.
  static int the_id;
  // Counts every change of any node's accumulation state or window (Reset,
  // EndAccumulate, and UpdateAccumulate when the state moves). The reward
  // model compares it to know whether what its last walk of the nodes found
  // still holds.
  static std::uint64_t StateChanges;

  PerformanceVariableNode();
  PerformanceVariableNode(const PerformanceVariableNode&) = delete;
  PerformanceVariableNode& operator=(const PerformanceVariableNode&) = delete;
  virtual ~PerformanceVariableNode();

  // Creates NumWorkers rate workers into Workers, in order; the node owns them.
  virtual void CreateWorkerList() = 0;
  // Prepares the next observation; a steady-state node also moves its window.
  virtual void Reset();

  // --- Declaration (generated constructors) ---------------------------------
  // The three counts are capacities: declaring more than announced is a
  // programming error and stops on an assertion.
  void Initialize(const char* name, RewardType type, int numTimes, const double* start,
                  const double* stop, int timeIndex, int numImpulses, int numModelDeps,
                  int numVarDeps);
  void InitializeTimeArrays(int n, const double* start, const double* stop);
  void AddVariableDependency(const char* variable, const char* model);
  void AddModelDependency(const char* model);
  void AddImpulse(const char* action, const char* model, ImpulseNodeClass* impulse);
  // Ends the process (status 0) when impulse was never added with AddImpulse.
  void AddImpulseModelDependency(const char* model, ImpulseNodeClass* impulse);
  // Appends without the duplicate test.
  void AddImpulseModelDependency(const char* model, int impulseNumber);
  void AddImpulseActionDependency(const char* action, const char* model, int impulseNumber);

  bool IsDependentOnModel(const char* model) const;
  bool IsDependentOnImpulseModel(const char* model, int impulseNumber) const;
  int GetImpulseNumber(const ImpulseNodeClass* impulse) const;
  void DefineName(const char* name);
  void UpdateDependencies();

  // --- Resolution (the reward model, in this order) ------------------------
  void FixReferences(BaseModelClass* child);
  // Ends the process (status 0) when a model dependency has no instance.
  void CreateModelGroupList();
  void FixWorkerList();
  // Puts the workers bound to instance m into a's rate set for this variable.
  void AddPVWorkersToAction(BaseActionClass* a, BaseModelClass* m);
  void CreateImpulseModelGroupList();
  void CreateImpulseWorkerLists();
  void FixImpulseWorkerLists();

  // --- Accumulation ---------------------------------------------------------
  // t: time of the event about to fire; lastT and last: the previous firing.
  void Accumulate(double t, double lastT, BaseActionClass* last);
  void CommonAccumulate(double t, double lastT, BaseActionClass* last);
  void TotalAccumulation();
  void EndAccumulate(double t, double lastT, BaseActionClass* last);
  // EndAccumulate when the impulse workers last's firing feeds have been
  // credited already (last is not synchronised): only the rate reward, the
  // closing workers and the state remain.
  void EndAccumulateFedAlready(double t, double lastT);
  void CurrentReward(BaseActionClass* last);
  void UpdateAccumulate(double t);
  // Accumulate for a firing that feeds none of this node's impulse workers,
  // when the node has no rate reward: only the state can move.
  void AdvanceState(double t) {
    if (AccumulationState == Complete || !(t >= StartTime)) return;
    UpdateAccumulate(t);
  }
  // Whether Accumulate(t, lastT, last) would change nothing, for a firing
  // that feeds none of this node's impulse workers: the node is complete, or
  // t lies before its window, or it is accumulating inside its window and has
  // no rate reward (time passing earns it nothing).
  bool IdleAt(double t) const {
    if (AccumulationState == Complete || !(t >= StartTime)) return true;
    return AccumulationState == Accumulating && NumWorkers == 0 && t <= StopTime;
  }
  // The times at which IdleAt holds, in the current state, are exactly those
  // below a bound (and NaN): returns the bound; *inclusive tells whether the
  // bound itself is idle.
  double IdleBound(bool* inclusive) const;
  // Appends the impulse workers of this node that a firing of last credits,
  // in the order Accumulate credits them (its synchronised members' after
  // its own).
  void ListImpulseWorkersFedBy(BaseActionClass* last, std::vector<ImpulseNodeClass*>& out);
  // Whether a carries an impulse of this variable (a null action carries none).
  bool ImpulseAffectedBy(BaseActionClass* a) const;

  RewardType GetRewardType() const { return Type; }
  int GetNumTimePoints() const { return NumTimePoints; }
  double GetStartTime(int k) const { return StartTimes[static_cast<std::size_t>(k)]; }
  double GetStopTime(int k) const { return StopTimes[static_cast<std::size_t>(k)]; }
  const char* GetName() const { return Name.c_str(); }

  BaseModelClass** TopModelSlot;
  std::string Name;
  double Value;
  double SquaredValue;
  double StartTime;
  double StopTime;
  int NumTimePoints;
  std::vector<double> StartTimes;
  std::vector<double> StopTimes;
  double ImpulseValue;
  double ImpulseSquaredValue;
  double IntervalLength;
  int IsSteadyState;
  RewardType Type;
  int AccumulationState;
  int ID;
  std::vector<BaseActionClass*> AffectingActions;
  int NumAffectingActions;
  std::vector<ModelGroupClass> ModelGroups;
  int NumWorkers;
  std::vector<std::unique_ptr<PerformanceVariableWorker>> Workers;
  std::vector<VarModelPairClass> VariableDependencies;
  int NumVariableDependencies;
  int NumImpulses;
  std::vector<int> NumImpulseModelDependencies;
  std::vector<int> NumImpulseWorkers;
  std::vector<int> NumImpulseActionInstances;
  std::vector<ImpulseNodeClass*> Impulses;
  std::vector<ImpulseNodeClass**> ImpulseWorkers;
  // Every impulse worker, impulse by impulse, in ImpulseWorkers order: the
  // per-replication passes (completion, totals, reset) walk this one array.
  std::vector<ImpulseNodeClass*> AllImpulseWorkers;
  // AllImpulseWorkers split by HasPlainEnds, each in the same order: the
  // end of a replication completes and resets the others through their
  // calls, and clears the plain ones' Value directly.
  std::vector<ImpulseNodeClass*> ClosingImpulseWorkers;
  std::vector<ImpulseNodeClass*> PlainImpulseWorkers;
  std::vector<ActionModelPairClass> ImpulseActions;
  std::vector<std::vector<std::string>> ImpulseModelDependencies;
  std::vector<std::vector<ModelGroupClass>> ImpulseModelGroups;
  std::vector<std::string> ModelDependencies;
  int NumModelDependencies;

 private:
  // Step 3 of CommonAccumulate and step 2 of CurrentReward: the impulse workers
  // of this variable that the firing of last feeds.
  template <typename Visit>
  void ForEachImpulseWorkerOf(BaseActionClass* last, Visit visit);
  void AccumulateRates(double t, double lastT);
  // The end of an observation at t once every reward up to t is credited:
  // the closing workers, the state, and the totals when it completes.
  void CloseObservation(double t);
  void BindImpulseBlock(int impulse, int block, int numBlocks,
                        const std::vector<BaseModelClass*>& watched);
  BaseModelClass* TopModel() const;

  // Where TopModelSlot points until a generated subclass redirects it.
  BaseModelClass* OwnTopModel;
};

#endif
