// ScheduleEntry is the simulator's per-group scheduling record; each group's
// ScheduleRecord field points at its entry, which the simulator keeps in the
// group itself, beside its virtual table pointer
// (BaseActionClass::ScheduleRoom). Scheduled is maintained by the event list:
// the group's scheduled event, or none when the group has no event (the event
// stays put while it is scheduled; only the list knows where it sits in the
// heap). Unlisted belongs to the step: whether the group is off the
// reactivation list (its node there is the simulator's, one per group, apart
// from the entries; Watch is the group's index in the simulator's Groups,
// which names its node). Instantaneous caches the group's
// TimingIsInstantaneous() from the installation of the model, and Required its
// RequiredMarking() when its enabling is pure, else a cell that is always
// positive; RequiredDecides, whether that marking alone decides its enabling
// (EnablingIsRequiredMarking). Lent is the event an event list lent the group
// for the list's life (see EventList::LendEvents), or none: the group's events
// are then taken from the list's spares.
//
// An entry is 32 bytes: with the group's virtual table pointer and
// ScheduleRecord, within the object's first 64 bytes.
#ifndef SCHEDULE_ENTRY_H
#define SCHEDULE_ENTRY_H

#include "simulator/Event.h"

struct ScheduleEntry {
  // What Required points at when the group names no marking.
  static constexpr short kAlwaysPositive = 1;

  Event* Scheduled = nullptr;
  const short* Required = &kAlwaysPositive;
  Event* Lent = nullptr;
  int Watch = -1;
  bool Instantaneous = false;
  bool Unlisted = true;
  bool RequiredDecides = false;
};

static_assert(sizeof(ScheduleEntry) == 32, "half a cache line");

#endif
