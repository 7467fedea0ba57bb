// PVModel, the reward model, is the top of the model tree as the simulator sees
// it: a model that wraps one child model (the composed model) and owns the
// reward variables observing it. Set-up resolves every variable against the
// child by name and records, in each action's per-variable structures, which
// variables and which of their impulse workers the action's firing feeds, so
// that no search by name or model happens during a run. Per event the simulator
// calls Accumulate(t) and then FireAction; at the end of a terminating
// replication EndAccumulate(Horizon), then PVReset before the next one.
//
// The state vector is the child's, optionally followed by the index of the last
// fired action (StoreLastAction = 1), for tools that enumerate states.
//
// Ownership: the reward model owns ChildModel, the nodes in PVList and the
// per-variable structures it hangs on the child's actions; Groups and Actions
// are the child's arrays, shared and not owned. A generated subclass sets
// ChildModel and StoreLastAction, then calls CreatePVList and Initialize.
// One reward model is active at a time: node numbers restart with each one.
#ifndef REWARDS_PVMODEL_H
#define REWARDS_PVMODEL_H

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <memory>
#include <vector>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseModelClass.h"
#include "rewards/PerformanceVariableNode.h"

class BaseGroupClass;
class BaseStateVariableClass;
class FastSet;
template <class C>
class List;

class PVModel : public BaseModelClass {
 public:
  PVModel();
  PVModel(const PVModel&) = delete;
  PVModel& operator=(const PVModel&) = delete;
  ~PVModel() override;

  void listModels(const char* name, List<BaseModelClass>* out) override;
  void CurrentState(void* to) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;
  // The last-action bytes, if any, are ignored.
  void SetState(void* from) override;
  bool ListStateCells(int offset, std::vector<StateCell>* out) override;
  int StateSize() override;
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  void printState(std::ostream* os) override;
  // The node of variable pvIndex for time point timeIndex, or null.
  virtual PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) = 0;

  // --- Set-up --------------------------------------------------------------
  // Nodes are grouped by variable, time points in order; without expansion
  // only time point 0 of each variable is observed.
  void CreatePVList(int numVariables, bool expandTimePoints);
  void Initialize();
  void MakeAffectedLists();
  void MakeImpulseAffectedLists();
  void CreateAffectedLists();
  void CreateTotalPVAffectsList(BaseActionClass* a);
  void RemakeAffectedLists() {}
  // The nodes Accumulate and EndAccumulate drive: PVList[indices[k]], or every
  // node when indices is null. Replaces an earlier selection.
  void ConsiderOnly(const int* indices, int n);
  // Fills every action's ImpulseFedNodes (and NoFiredAction's) from the
  // frozen impulse sets.
  void ListImpulseFedNodes();
  // Fills every action's ImpulseFeeds from ConsideredPVs.
  void ListImpulseFeeds();

  // --- Per event and per run -------------------------------------------------
  // Brings up to date, for an event at t, the considered nodes that the event
  // can change: those the last firing feeds and those not idle at t
  // (PerformanceVariableNode::IdleAt). The others are left alone. While every
  // node stays idle (no rate reward accumulating, no window opening or
  // closing), only the fired action's impulse workers are credited, so the
  // work per event follows the action's impulses, not the number of nodes.
  // Inline: the simulator's step runs it on every event.
  void Accumulate(double t);
  BaseActionClass* FireAction(BaseActionClass* action, double t);
  void EndAccumulate(double t);
  void PVReset();
  void SteadyState();

  // --- State-space support -------------------------------------------------
  int CreatePVStateIndex();
  static int BytesFor(int n);
  int StateIndexLookup(void* buf);
  void GetPVState(void* buf);
  void PutPVState(void* buf);
  void FireAction(void* state, BaseActionClass* action);
  void AgeAction(char* state, BaseActionClass* action);

  // Writes the text description of the variables; nothing is reported when the
  // file cannot be opened.
  void WritePVTypeFile(const char* fileName);

  void Destruct();

  PerformanceVariableNode** GetPVList() { return PVList.get(); }
  int GetNumPVs() const { return NumPVs; }

  std::unique_ptr<PerformanceVariableNode*[]> PVList;
  int PVListCapacity;
  int NumPVs;
  BaseModelClass* ChildModel;
  BaseActionClass* LastFiredAction;
  double Horizon;
  std::vector<BaseActionClass*> ActionsWithPVs;
  std::vector<FastSet*> AffectedNodeSets;
  int NumRateDSAllocated;
  int NumImpulseDSAllocated;
  int NumActionsWithPVs;
  int NumIndexedActions;
  int StateIndexOffset;
  int TotalStateSize;
  int StateIndexBytes;
  int StoreLastAction;
  BaseActionClass** IndexedActions;
  BaseActionClass NoFiredAction;
  std::vector<PerformanceVariableNode*> ConsideredPVs;
  // Per node number, the number of the last event whose fired action fed the
  // node's impulse workers; Accumulate compares it with FiringStamp.
  std::vector<std::uint64_t> FedStamps;
  std::uint64_t FiringStamp = 0;
  // What the last walk of every considered node found: all of them stay idle
  // for t below QuietBefore, as long as PerformanceVariableNode::StateChanges
  // still equals QuietChanges. A bound the nodes reach inclusively is kept as
  // the next double above it, so that one comparison decides; minus infinity
  // when nothing is known (no t is below it, a NaN neither).
  double QuietBefore = -std::numeric_limits<double>::infinity();
  std::uint64_t QuietChanges = 0;
  void ForgetQuiet() { QuietBefore = -std::numeric_limits<double>::infinity(); }

 private:
  // 1-based position of a in IndexedActions; 0 for NoFiredAction or unknown.
  int IndexOf(const BaseActionClass* a) const;
  BaseActionClass* ActionAt(int index);
  void WriteIndex(unsigned char* to, int index) const;
  int ReadIndex(const unsigned char* from) const;
  void ReleasePVStructures(BaseActionClass* a);
  void FreezeRateStructures(BaseActionClass* a);
  void FreezeImpulseStructures(BaseActionClass* a);
  void GiveEmptyStructures(BaseActionClass* a);
  void AttachImpulse(int node, int impulse, BaseActionClass* a, BaseModelClass* m);
  // Appends the node numbers a's firing feeds, unsorted, with repeats; false
  // when a set on the way is not frozen yet.
  bool CollectImpulseFedNodes(BaseActionClass* a, std::vector<int>& out);
  bool QuietAt(double t) const {
    return QuietChanges == PerformanceVariableNode::StateChanges && t < QuietBefore;
  }
  // Every considered node, as Accumulate did before it learned to skip.
  void WalkAllNodes(double t, BaseActionClass* last);
  // Every considered node that is fed or not idle; learns the quiet bound.
  void WalkBusyNodes(double t, BaseActionClass* last);
};

// Credits one fed worker for the firing at lastT, as its Accumulate(t, lastT)
// would.
inline void CreditFeed(const ImpulseFeed& feed, double t, double lastT) {
  ImpulseNodeClass* worker = feed.Worker;
  if (!feed.Constant) {
    worker->Accumulate(t, lastT);
  } else if (worker->StartTime <= lastT && lastT <= worker->StopTime) {
    worker->Value += feed.Impulse;
  }
}

inline void PVModel::Accumulate(double t) {
  BaseActionClass* last = LastFiredAction;
  if (last != nullptr && !last->ImpulseFedNodesKnown) {
    WalkAllNodes(t, last);
    return;
  }
  if (!QuietAt(t)) {
    WalkBusyNodes(t, last);
    return;
  }
  // Every node is idle at t: a fed node inside its window gains the impulses
  // and keeps its state, any other fed node gains nothing.
  if (last == nullptr) return;
  for (const ImpulseFeed& feed : last->ImpulseFeeds) {
    const PerformanceVariableNode* node = feed.Node;
    if (node->AccumulationState == PerformanceVariableNode::Accumulating && t >= node->StartTime) {
      CreditFeed(feed, t, LastActionTime);
    }
  }
}

#endif
