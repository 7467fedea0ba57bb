// The simulation step: scheduling, the execution of one event, and the
// re-examination after each firing of exactly the groups whose enabling may
// have changed, through the affects relation built once here.
#include "simulator/SimulatorClass.h"
#include "simulator/ModelFault.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseGroupClass.h"
#include "Cpp/BaseClasses/List.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"
#include "rewards/PVModel.h"

#include <cstdlib>
#include <iostream>
#include <vector>

namespace {
// Whether the entry's group is on the reactivation list.
bool IsListed(const ScheduleEntry* entry) { return !entry->Unlisted; }
}  // namespace

// ---------------------------------------------------------------------------
// The affects relation
// ---------------------------------------------------------------------------

short SimulatorClass::AddActionAffects(BaseActionClass* group, BaseActionClass* action) {
  action->pushAffectedAction(group);
  return 0;
}

short SimulatorClass::AddActionAffectsOld(BaseActionClass* group, BaseActionClass* action) {
  for (ActionListNode* node = action->AffectedActions; node != nullptr; node = node->Next)
    if (node->Action == group) return 0;
  action->appendAffectedAction(group);
  return 0;
}

void SimulatorClass::ClearActionAffectsList(BaseActionClass* action) { action->clearAffectedActions(); }

// The relation is built over the model's own action array, which exists as
// soon as the reward model does (ActionArray is listed later).
void SimulatorClass::DestructConnectivityList() {
  if (RewardModel == nullptr) return;
  for (int i = 0; i < RewardModel->NumActions; ++i) ClearActionAffectsList(RewardModel->Actions[i]);
}

// One pass over the arcs: the stamp of a group records the last action whose
// list received it, so each list gets each group once.
short SimulatorClass::GenerateConnectivityList() {
  std::vector<int> stamp(BaseActionClass::MaxID + 1, -1);
  for (int i = 0; i < RewardModel->NumActions; ++i) {
    BaseActionClass* a = RewardModel->Actions[i];
    const int s = a->ActionID;
    BaseActionClass* own = Groups[a->GroupID];
    if (stamp[own->ActionID] != s) {
      AddActionAffects(own, a);
      stamp[own->ActionID] = s;
    }
    for (int v = 0; v < a->AffectedSVs.getNumItems(); ++v) {
      BaseStateVariableClass* sv = a->AffectedSVs.getItem(v);
      for (int k = 0; k < sv->getNumEnabledActions(); ++k) {
        BaseActionClass* other = Groups[sv->getEnabledAction(k)->GroupID];
        if (stamp[other->ActionID] != s) {
          stamp[other->ActionID] = s;
          AddActionAffects(other, a);
        }
      }
    }
  }
  return 0;
}

// Works from the enabled side: every action P adds its group to its own list
// and to the list of every action that changes a variable P depends on.
short SimulatorClass::GenerateConnectivityListOld(bool useMatrix) {
  const int n = BaseActionClass::MaxID + 1;
  std::vector<unsigned char> matrix;
  if (useMatrix) matrix.assign(static_cast<size_t>(n) * n, 0);
  auto add = [&](BaseActionClass* group, BaseActionClass* affecting) {
    if (!useMatrix) {
      AddActionAffectsOld(group, affecting);
      return;
    }
    unsigned char& cell = matrix[static_cast<size_t>(affecting->ActionID) * n + group->ActionID];
    if (cell == 0) {
      cell = 1;
      AddActionAffects(group, affecting);
    }
  };
  for (int i = 0; i < RewardModel->NumActions; ++i) {
    BaseActionClass* p = RewardModel->Actions[i];
    BaseActionClass* group = Groups[p->GroupID];
    add(group, p);
    for (int v = 0; v < p->EnablingSVs.getNumItems(); ++v) {
      BaseStateVariableClass* sv = p->EnablingSVs.getItem(v);
      for (int k = 0; k < sv->getNumAffectingActions(); ++k) add(group, sv->getAffectingAction(k));
    }
  }
  return 0;
}

short SimulatorClass::BuildConnectivityListFor(const char* simtest) {
  const int mode = simtest == nullptr ? 2 : std::atoi(simtest);
  short result = 0;  // any other mode: every AffectedActions list stays empty
  if (mode == 2) {
    std::cout << "GenerateConnectivityList()" << std::endl;
    result = GenerateConnectivityList();
  } else if (mode == 0 || mode == 1) {
    std::cout << "GenerateConnectivityListOld()" << std::endl;
    result = GenerateConnectivityListOld(mode == 1);
  }
  for (int i = 0; i < RewardModel->NumActions; ++i) RewardModel->Actions[i]->syncAffectedGroups();
  ListFiringVariants();
  return result;
}

void SimulatorClass::ListFiringVariants() {
  std::vector<int> stamp(BaseActionClass::MaxID + 1, -1);
  int mark = 0;
  for (int i = 0; i < RewardModel->NumActions; ++i) {
    BaseActionClass* a = RewardModel->Actions[i];
    const int variants = a->FiringVariants();
    if (variants <= 1) continue;
    const BaseActionClass* own = Groups[a->GroupID];
    std::vector<std::vector<BaseActionClass*>> lists(static_cast<std::size_t>(variants));
    for (int v = 0; v < variants; ++v) {
      ++mark;
      for (int k = 0; k < a->AffectedSVs.getNumItems(); ++k) {
        BaseStateVariableClass* sv = a->AffectedSVs.getItem(k);
        if (!a->VariantMayWrite(v, sv)) continue;
        for (int e = 0; e < sv->getNumEnabledActions(); ++e)
          stamp[Groups[sv->getEnabledAction(e)->GroupID]->ActionID] = mark;
      }
      for (BaseActionClass* g : a->AffectedGroups) {
        const bool skippable = g->EnablingIsPure() && g->ScheduleRecord->Instantaneous;
        if (g == own || stamp[g->ActionID] == mark || !skippable) lists[static_cast<std::size_t>(v)].push_back(g);
      }
    }
    a->setVariantGroups(std::move(lists));
  }
}

void SimulatorClass::PrintConnectivityList(std::ostream* out) {
  for (int i = 0; i < RewardModel->NumActions; ++i) {
    BaseActionClass* a = RewardModel->Actions[i];
    *out << "Action: " << a->getName() << std::endl << "Checking my Affects" << std::endl;
    for (ActionListNode* node = a->AffectedActions; node != nullptr; node = node->Next)
      *out << "    " << node->Action->getName() << std::endl;
  }
}

// ---------------------------------------------------------------------------
// Scheduling
// ---------------------------------------------------------------------------

void SimulatorClass::ScheduleGroup(BaseActionClass* g) {
  if (g->ScheduleRecord->Instantaneous) {
    Events->Insert(Now, Now, g);
    return;
  }
  const double delay = g->SampleDistribution();
  if (g->ReactivationPredicate()) {
    g->Reactivation = true;
    ScheduleEntry* entry = g->ScheduleRecord;
    // A group is never listed twice; a stale listing is dropped first.
    WatchNode* node = WatchNodeOf(entry);
    if (IsListed(entry)) ReactivationList.Unlink(node);
    ReactivationList.PushFront(node, g);
    entry->Unlisted = false;
  }
  Events->Insert(Now + delay, Now, g);
}

int SimulatorClass::GenerateInitialEnabledList() {
  EnabledGroups.clear();
  EnabledGroups.reserve(NumGroups);
  for (int i = 0; i < NumGroups; ++i)
    if (Groups[i]->Enabled()) EnabledGroups.push_back(Groups[i]);
  NumEnabledGroups = static_cast<int>(EnabledGroups.size());
  if (NumEnabledGroups < NumGroups / 2) EnabledGroups.shrink_to_fit();
  return 0;
}

// Each replication starts from the state the initial list was taken in, so
// the list is reused; Enabled() is still asked, as groups keep their own
// enabling history.
short SimulatorClass::GenerateCompleteEventList() {
  for (BaseGroupClass* g : EnabledGroups) {
    g->Enabled();
    ScheduleGroup(g);
  }
  return 0;
}

short SimulatorClass::GenerateCompleteEventListSS() {
  for (int i = 0; i < NumGroups; ++i)
    if (Groups[i]->Enabled()) ScheduleGroup(Groups[i]);
  return 0;
}

// ---------------------------------------------------------------------------
// The step
// ---------------------------------------------------------------------------

// The step's body, inline in both of its callers: the run of a replication
// pays the entry and exit of one call per replication, not per firing.
template <bool HandOff>
[[gnu::always_inline]] inline bool SimulatorClass::Step(EventList& events) {
  // A handed-off group has no event to take out.
  if (!HandOff || NextEvent != nullptr) events.Remove(NextEvent);
  RewardModel->Accumulate(Now);
  LastFired = TraceEnabled ? FireTraced() : RewardModel->FireAction(CurrentGroup, Now);
  ++ActionsFired;
  if (LastFired->AffectedGroupsStale) LastFired->syncAffectedGroups();
  if (!ReactivationList.IsEmpty()) CheckReactivationList();
  // With no event left, no affected group is scheduled: the walk that looks
  // for scheduled ones would find none (a model of one event at a time, as
  // instantaneous chains are, skips it on most firings).
  if (events.GetNumEvents() > 0) RemoveAffectedActions();
  BaseActionClass* const handed = InsertAffectedActions<HandOff>(events);
  if (HandOff && handed != nullptr) {
    // A fault ends the run with the list as a step without hand-off leaves it.
    if (ModelFault::Raised()) {
      events.Insert(Now, Now, handed);
      NextEvent = events.Earliest();
      return false;
    }
    NextEvent = nullptr;
    CurrentGroup = handed;
    return true;
  }
  NextEvent = events.Earliest();
  // A model that met a fault ends the run here, before its results are used.
  if (NextEvent == nullptr || ModelFault::Raised()) return false;
  Now = NextEvent->Time;
  CurrentGroup = NextEvent->Action;
  return true;
}

bool SimulatorClass::SimStep() { return Step<false>(*Events); }

// A traced run lists every event, as each firing's trace may show the list;
// a model of timed groups alone has nothing to hand off, and skips the tests.
void SimulatorClass::StepUntil(double horizon) {
  if (TraceEnabled || !AnyInstantaneousGroup)
    StepEachUntil<false>(horizon);
  else
    StepEachUntil<true>(horizon);
}

// Out of line: one call per replication, and a profile shows its firings
// apart. One function per way, each with the whole of the compiler's budget
// for inlining what a firing calls.
template <bool HandOff>
[[gnu::noinline]] void SimulatorClass::StepEachUntil(double horizon) {
  EventList& events = *Events;
  while (Now <= horizon)
    if (!Step<HandOff>(events)) return;
}

bool SimulatorClass::SimStepSS() { return SimStep(); }

void SimulatorClass::ClearReactivationList() {
  while (WatchNode* node = ReactivationList.Front()) {
    node->Action->Reactivation = false;
    ScheduleEntry* entry = node->Action->ScheduleRecord;
    ReactivationList.Unlink(node);
    entry->Unlisted = true;
  }
}

void SimulatorClass::CheckReactivationList() {
  WatchNode* node = ReactivationList.Front();
  while (node != nullptr) {
    WatchNode* next = node->Next;
    BaseActionClass* g = node->Action;
    ScheduleEntry* entry = g->ScheduleRecord;
    bool unlist = false;
    if (entry->Scheduled == nullptr) {
      unlist = true;
    } else if (!g->Enabled()) {
      Events->Remove(entry->Scheduled);
      unlist = true;
    } else if (g->ReactivationFunction()) {
      Event* event = entry->Scheduled;
      const double delay = g->SampleDistribution();
      event->StartTime = Now;
      event->Time = Now + delay;
      Events->ModifyKey(event);
      g->Reactivation = false;
      entry->Unlisted = true;
      ReactivationList.Unlink(node);
      // Pushed to the front, behind the walk: not visited again this pass.
      if (g->ReactivationPredicate()) {
        g->Reactivation = true;
        ReactivationList.PushFront(node, g);
        entry->Unlisted = false;
      }
    }
    if (unlist) {
      entry->Unlisted = true;
      g->Reactivation = false;
      ReactivationList.Unlink(node);
    }
    node = next;
  }
}

void SimulatorClass::RemoveAffectedActions() {
  for (BaseActionClass* g : LastFired->GroupsToExamine()) {
    ScheduleEntry* entry = g->ScheduleRecord;
    if (entry->Scheduled == nullptr) continue;
    // A group its required marking decides was enabled when scheduled: its
    // enabling changed exactly when the marking is no longer positive.
    const bool changed = entry->RequiredDecides ? *entry->Required <= 0 : g->EnablingChange();
    const bool voided = changed || (g->Reactivation && g->ReactivationFunction());
    if (!voided) continue;
    g->Reactivation = false;
    Events->Remove(entry->Scheduled);
    if (IsListed(entry)) {
      ReactivationList.Unlink(WatchNodeOf(entry));
      entry->Unlisted = true;
    }
  }
}

// Inline in the step, which would otherwise grow past what the compiler
// inlines and call it once per firing.
template <bool HandOff>
[[gnu::always_inline]] inline BaseActionClass* SimulatorClass::InsertAffectedActions(EventList& events) {
  // With HandOff, the first instantaneous group found while the list is
  // empty waits here; any later group to schedule lists it first, so the
  // list sees the same insertions in the same order.
  BaseActionClass* waiting = nullptr;
  for (BaseActionClass* g : LastFired->GroupsToExamine()) {
    const ScheduleEntry* entry = g->ScheduleRecord;
    // A group whose required marking is not positive is not enabled, and not
    // scheduled either: its enabling is pure, so had it been scheduled, the
    // walk that removes voided events would have found it disabled and
    // removed its event. Asking it would only say so (see RequiredMarking).
    if (*entry->Required <= 0) continue;
    // One whose enabling is that marking alone is enabled now.
    if (!entry->RequiredDecides && !g->Enabled()) continue;
    if (entry->Scheduled != nullptr) continue;
    if (entry->Instantaneous) {
      if (HandOff) {
        // Nothing was listed since a group began to wait: the list is empty.
        if (waiting == nullptr && events.GetNumEvents() == 0) {
          waiting = g;
          continue;
        }
        if (waiting != nullptr) events.Insert(Now, Now, waiting);
        waiting = nullptr;
      }
      // The instantaneous case of ScheduleGroup, without the call.
      events.Insert(Now, Now, g);
    } else {
      if (HandOff && waiting != nullptr) {
        events.Insert(Now, Now, waiting);
        waiting = nullptr;
      }
      ScheduleGroup(g);
    }
  }
  return waiting;
}

void SimulatorClass::HandleInvalidDistParams(BaseActionClass* action, const std::string& message) {
  static const std::string kMarker = "INVALID_DIST_PARAMS:";
  const std::string::size_type at = message.find(kMarker);
  const bool hasMarker = at != std::string::npos;
  QUELIX_ASSERT(hasMarker, "SimulatorClass");
  const std::string rest = message.substr(0, at) + message.substr(at + kMarker.size());
  std::cout << std::flush;
  std::cerr << "FATAL ERROR: In action " << action->getName() << "," << rest << std::endl;
  std::exit(1);
}

// ---------------------------------------------------------------------------
// Installing a reward model
// ---------------------------------------------------------------------------

void SimulatorClass::InstallRewardModel(PVModel* model) {
  RewardModel = model;
  OwnsRewardModel = false;
  SelectPerformanceVariables();
  ListGroups();
  BuildAffectsRelation();
  CreateEventList();
  ListActions();
}
