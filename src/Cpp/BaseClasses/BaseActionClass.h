// BaseActionClass is anything the simulator can schedule and fire: a SAN
// activity, or a group of activities of which one is chosen when the group
// fires. It holds what every action has (name, numbers, delay and policy
// codes, the leaf state variables it reads and writes) and the bookkeeping the
// simulator and the reward model attach to it.
//
// Ownership: the action owns its name, its two state-variable lists (not the
// variables), its AffectedActions nodes (not the actions they name), and the
// reward structures created by AllocatePVRateDS / AllocatePVImpulseDS (the
// per-variable arrays hung below PVImpulseIndices[i] and PVImpulseCounts[i]
// belong to the reward model, which frees them before deallocating). It holds
// ScheduleRoom, the storage of its schedule entry, whose contents are the
// simulator's; it does not own what ScheduleRecord points at otherwise, nor
// ParentModel.
#ifndef BASE_ACTION_CLASS_H
#define BASE_ACTION_CLASS_H

#include <iosfwd>
#include <string>
#include <vector>

#include "Cpp/BaseClasses/ActionCodes.h"
#include "Cpp/BaseClasses/FastSet.h"
#include "Cpp/BaseClasses/List.h"
#include "simulator/ScheduleEntry.h"

class BaseActionClass;
class BaseGroupClass;
class BaseModelClass;
class BaseStateVariableClass;
class ImpulseNodeClass;
class PerformanceVariableNode;
struct ScheduleEntry;

// One impulse worker that the firing of an action credits, with the reward
// variable it belongs to, and the worker's impulse when it is constant
// (ImpulseNodeClass::CreditsConstant). The reward model builds these lists.
struct ImpulseFeed {
  PerformanceVariableNode* Node;
  ImpulseNodeClass* Worker;
  double Impulse;
  bool Constant;
};

// A run of groups in an array someone else owns: what the step walks.
struct GroupSpan {
  BaseActionClass* const* First;
  int Count;
  BaseActionClass* const* begin() const { return First; }
  BaseActionClass* const* end() const { return First + Count; }
};

// One node of an action's AffectedActions list: a group to re-examine after
// the action fires. The simulator builds and reads these lists.
struct ActionListNode {
  BaseActionClass* Action;
  ActionListNode* Next;
};

class BaseActionClass {
 public:
  BaseActionClass();
  BaseActionClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                  int affectedCount, int enablingCount, bool reactivation);
  BaseActionClass(const BaseActionClass&) = delete;
  BaseActionClass& operator=(const BaseActionClass&) = delete;
  virtual ~BaseActionClass();

  virtual bool isSync();
  virtual bool Enabled();
  virtual double Weight();
  virtual double Rate();
  virtual bool ReactivationPredicate();
  virtual bool ReactivationFunction();
  virtual double SampleDistribution();
  virtual double* ReturnDistributionParameters();
  virtual void SetFired(int fired);
  // Performs the firing effect; returns the action that really fired.
  virtual BaseActionClass* Fire();
  virtual int Rank();
  virtual bool EnablingChange();
  virtual bool IsAMember(BaseActionClass* a);
  virtual double Probability(BaseActionClass* a);
  virtual void printAffectedState(std::ostream* s);
  virtual void printEnablingState(std::ostream* s);
  virtual BaseActionClass* getPrintedAction();
  virtual double ErlangParamM();
  // True only when, for as long as the model exists, SampleDistribution
  // answers 0.0 without drawing a random number and both reactivation
  // questions answer false. The simulator asks once, when it installs the
  // model, and then schedules the action without asking those three.
  virtual bool TimingIsInstantaneous();
  // True only when Enabled() reads nothing but the markings of the enabling
  // variables of the action (of its members, for a group), draws no random
  // number and changes nothing but its own enabling history: its answer
  // cannot change while none of those markings does. The simulator asks
  // once, when it installs the model, and then leaves such an instantaneous
  // group unexamined after a firing that wrote none of them.
  virtual bool EnablingIsPure();
  // A marking Enabled() requires to be positive, or none: while the marking
  // is zero or less, Enabled() answers false. Only an action whose enabling
  // is pure may name one. The simulator asks once, when it installs the
  // model (the cell must stay where it is from then on), and then does not
  // ask an unscheduled group whose required marking is not positive whether
  // it is enabled: the answer is known, and the enabling history the call
  // would update is read only by EnablingChange, which is asked of scheduled
  // groups only, and which a group reaches only after Enabled() said true.
  virtual const short* RequiredMarking();
  // Whether Enabled() answers exactly whether the required marking is
  // positive (false without one). The simulator asks once, beside
  // RequiredMarking, and then decides such a group's enabling from the
  // marking alone: it does not ask Enabled() after a firing, nor
  // EnablingChange() of a scheduled group, which it voids when the marking
  // is no longer positive (a scheduled group's last answer was true). The
  // enabling history those calls would keep is then read by nobody: only
  // EnablingChange reads it. Other callers of Enabled() are unaffected.
  virtual bool EnablingIsRequiredMarking();
  // The ways this action's firing can go, when each writes only some of its
  // affected variables (1: every firing may write all of them). Fire()
  // records the way it took in FiredVariant; VariantMayWrite tells whether a
  // firing of that way may write the affected variable v. Asked once, when
  // the simulator installs the model.
  virtual int FiringVariants();
  virtual bool VariantMayWrite(int variant, const BaseStateVariableClass* v);
  // The lines of this object beyond its first two that its common paths
  // (firing, delay, enabling test) read, as a mask: bit k for the bytes
  // [64k, 64k + 64) from the object's start, for k < 32 (0: none). A hint:
  // the simulator asks once, when it installs the model, and in a model too
  // large for the cache asks the processor for those lines of the next
  // group to fire a firing ahead.
  virtual unsigned HotLines();

  // The two counts are the generator's numbers of output and input variables;
  // they are accepted and not used.
  void BaseActionClassInitialize(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                                 int affectedCount, int enablingCount, bool reactivation);
  void defineName(const char* name) { Name = name ? name : ""; }
  const char* getName() const { return Name.c_str(); }

  // A leaf variable joins the list once; a composite one adds its leaves.
  void addEnablingSV(BaseStateVariableClass* v);
  void addAffectedSV(BaseStateVariableClass* v);
  void removeEnablingSV(BaseStateVariableClass* v);
  void removeAffectedSV(BaseStateVariableClass* v);

  bool IsPVRateDSAllocated() const { return PVRateSets != nullptr; }
  bool IsPVImpulseDSAllocated() const { return PVImpulseSets != nullptr; }
  void AllocatePVRateDS(int n);
  void AllocatePVImpulseDS(int n);
  void DeallocatePVRateDS();
  void DeallocatePVImpulseDS();

  void ResetPhase() { Phase = 1; }
  void Age() { Phase++; }
  bool ReadyToFire() { return static_cast<double>(Phase) == ErlangParamM(); }

  // Frees every AffectedActions node and leaves the list (and its array
  // copy) empty.
  void clearAffectedActions();
  // Put group at the front, or at the back, of AffectedActions; the array
  // copy is then stale until syncAffectedGroups.
  void pushAffectedAction(BaseActionClass* group);
  void appendAffectedAction(BaseActionClass* group);
  // Makes AffectedGroups a copy of AffectedActions again.
  void syncAffectedGroups();

  void PrintInfo();

  static int MaxID;

  // What a firing reads of the fired action and of every group it
  // re-examines comes first, so that in a model too large for the cache
  // those reads share the object's first two lines (the lines the event
  // list asks for a firing ahead) with its virtual table pointer instead of
  // missing on more. In the first: the schedule record, and the room for
  // it.
  ScheduleEntry* ScheduleRecord;
  // Where the simulator keeps this group's entry (ScheduleRecord points here
  // once the simulator has listed the group): beside the virtual table
  // pointer, whose line a look at a group that the firing affects reads
  // anyway. An entry in an array of the simulator's own was a second line to
  // miss on, per group looked at, once a model outgrows the cache.
  ScheduleEntry ScheduleRoom;
  int GroupID;
  int FiredVariant = 0;
  bool Reactivation;
  bool AffectedGroupsStale = false;
  bool ImpulseFedNodesKnown = false;
  bool Disabled;
  // The groups the step re-examines after this action fired.
  GroupSpan GroupsToExamine() const {
    if (static_cast<unsigned>(FiredVariant) < static_cast<unsigned>(NumVariantLists)) {
      const std::vector<BaseActionClass*>& groups = VariantGroups[static_cast<std::size_t>(FiredVariant)];
      return {groups.data(), static_cast<int>(groups.size())};
    }
    return WholeList;
  }
  // VariantGroups.size(), here so that choosing the list reads no other line.
  int NumVariantLists = 0;
  // The second line. AffectedGroups as the step walks it: NearGroups when
  // they hold it all, the vector's own array otherwise. Set by
  // syncAffectedGroups.
  GroupSpan WholeList{nullptr, 0};
  // The impulse workers of the considered variables that the firing feeds,
  // in the order a walk of the variables credits them. Until the reward
  // model has filled ImpulseFedNodes (ImpulseFedNodesKnown false) every
  // variable counts as fed.
  std::vector<ImpulseFeed> ImpulseFeeds;
  // A copy of a short AffectedGroups, in the lines above: most actions
  // affect a few groups, and their walk then reads no array elsewhere.
  static constexpr int kNearGroups = 3;
  BaseActionClass* NearGroups[kNearGroups] = {};
  // The groups of AffectedActions, in list order, in one array: the step
  // walks it (through WholeList) twice per firing. The simulator syncs every
  // action's copy once the relation is built; the step syncs a stale one
  // (AffectedGroupsStale) before using it.
  std::vector<BaseActionClass*> AffectedGroups;
  // Per firing variant, the part of AffectedGroups a firing of that way
  // (FiredVariant) must re-examine (in the same order), or empty when the
  // action has one variant or the simulator made no such lists. Set through
  // setVariantGroups, which keeps NumVariantLists.
  std::vector<std::vector<BaseActionClass*>> VariantGroups;
  void setVariantGroups(std::vector<std::vector<BaseActionClass*>> lists);
  std::string Name;
  ActionListNode* AffectedActions;
  bool Fired;
  Distribution DistributionType;
  BaseModelClass* ParentModel;
  // This action as a group, or null. The group constructor sets it, so the
  // weighted choice tells nested groups apart on every firing without a
  // dynamic_cast; actions are never copied or moved, so it stays exact.
  BaseGroupClass* AsGroup = nullptr;
  FastSet AffectedNodesByImpulseReward;
  FastSet* PVImpulseSets;
  int*** PVImpulseIndices;  // [variable][impulse] -> worker positions
  int** PVImpulseCounts;    // [variable][impulse] -> number of positions
  FastSet* PVRateSets;
  int NumCompletedNodes;
  ExecutionPolicyType ExecutionPolicy;
  FastSet AffectedNodes;
  FastSet AffectedNodesByRateReward;
  // The reward variables (node numbers, ascending) whose impulse workers the
  // firing of this action feeds, through the action itself or its
  // synchronised members. The reward model fills it at set-up.
  std::vector<int> ImpulseFedNodes;
  short Phase;
  int ActionID;
  List<BaseStateVariableClass> AffectedSVs;
  List<BaseStateVariableClass> EnablingSVs;
};

#endif
