// ScheduleEntry is the simulator's per-group scheduling record; each group's
// ScheduleRecord field points at its entry. HeapSlot is maintained by the
// event list: the address of the heap slot holding the group's event, or none
// when the group has no event. Scheduled is the group's one event: a group has
// at most one completion scheduled at a time, so its event lives here and the
// list holds its address (the event's fields are stale while HeapSlot is
// none). Unlisted and ListPosition belong to the step:
// whether the group is off the reactivation list and, while it is on it, its
// node there (always the entry's own Node). Instantaneous caches the group's
// TimingIsInstantaneous() from the installation of the model.
#ifndef SCHEDULE_ENTRY_H
#define SCHEDULE_ENTRY_H

#include "simulator/Event.h"
#include "simulator/WatchList.h"

#include <type_traits>

struct ScheduleEntry {
  // First, so that the event list finds an event's record from the event's
  // address alone (Holding), without loading its group.
  Event Scheduled;
  Event** HeapSlot = nullptr;
  bool Instantaneous = false;
  bool Unlisted = true;
  WatchNode* ListPosition = nullptr;
  WatchNode Node;

  // The record whose Scheduled is *e. REQUIRES: e is some record's Scheduled.
  static ScheduleEntry* Holding(Event* e) { return reinterpret_cast<ScheduleEntry*>(e); }
};

// Holding relies on a record and its first member sharing one address.
static_assert(std::is_standard_layout<ScheduleEntry>::value, "ScheduleEntry must keep a standard layout");

#endif
