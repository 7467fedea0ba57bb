// EventList holds the scheduled completions of the model's groups: at most one
// event per group, in a binary min-heap ordered by time, then by higher
// Rank(); among events equal in both, Earliest makes a weighted random choice
// (one uniform draw per call, only when more than one event ties). A NaN time
// never compares as earlier, so an event with a NaN time never moves.
//
// Ownership: a group's event lives in its ScheduleEntry (reached through its
// ScheduleRecord), which must outlive the event's stay in the list; the list
// holds only the events' addresses, in a heap allocated at construction, and
// never allocates afterwards. Each ScheduleEntry points back at the heap slot
// holding its event, so Remove and ModifyKey need no search.
//
// Not thread-safe: used by the simulation thread only.
#ifndef EVENT_LIST_H
#define EVENT_LIST_H

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "simulator/Event.h"
#include "simulator/ScheduleEntry.h"

#include <ostream>
#include <vector>

class EventList {
 public:
  explicit EventList(int capacity);
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;
  ~EventList();

  // Copies *e into its group's event and schedules it; returns its heap index.
  // REQUIRES: fewer than Capacity events are scheduled, and e->Action has a
  // ScheduleRecord and no scheduled event.
  int Insert(Event* e);
  // The same for the event (time, startTime, action), written straight into
  // the group's record. Inline: the step schedules about one event per firing.
  int Insert(double time, double startTime, BaseActionClass* action) {
    QUELIX_ASSERT(NumEvents < Capacity, "EventList");
    Event* e = &action->ScheduleRecord->Scheduled;
    e->Time = time;
    e->StartTime = startTime;
    e->Action = action;
    Place(e, NumEvents);
    ++NumEvents;
    if (NumEvents == 1) return 0;  // the root has nothing to climb past
    return Climb(NumEvents - 1);
  }
  // REQUIRES: slot is an occupied heap slot of this list. Inline for the
  // last slot (a lone event, the common case of instantaneous chains),
  // which leaves nothing to restore.
  void Remove(Event** slot) {
    if (IndexOf(slot) != NumEvents - 1) {
      RemoveAndRestore(slot);
      return;
    }
    (*slot)->Action->ScheduleRecord->HeapSlot = nullptr;
    --NumEvents;
    *slot = nullptr;
  }
  // p points at a variable holding a heap slot.
  void Remove(void* p);
  // Restores the order after the Time of the event in slot changed in place.
  void ModifyKey(Event** slot);
  // The slot of the next event to execute, or none when the list is empty.
  // The event stays in the list.
  Event** Earliest();
  // Takes every event off the list and marks every scheduled group unlisted.
  void ClearEventList();

  int BubbleUp(int i);
  void BubbleDown(int i);
  void FindEquals(int i);

  // 0 when consistent; otherwise a code naming the first fault found (see the
  // definition).
  int IsValid() const;
  std::ostream& PrintList(std::ostream& out) const;

  int GetNumEvents() const { return NumEvents; }
  int GetCapacity() const { return Capacity; }
  Event** SlotAt(int i) { return &Items[i]; }

 private:
  int IndexOf(Event** slot) const { return static_cast<int>(slot - Items.data()); }
  // Whether the event in slot a must come before the event in slot b.
  bool Precedes(int a, int b) const;
  bool TiesWith(int a, int b) const;
  void Place(Event* e, int i) {
    Items[i] = e;
    e->Action->ScheduleRecord->HeapSlot = &Items[i];
  }
  int Climb(int i);
  // Remove of any slot but the last: the last event fills it and moves.
  void RemoveAndRestore(Event** slot);
  void Swap(int a, int b);
  int ChooseAmongEquals() const;

  int Capacity;
  std::vector<Event*> Items;        // the heap: children of i are 2i+1, 2i+2
  int NumEvents;
  std::vector<int> EqualIndices;    // scratch of FindEquals
  int NumEqual;
};

#endif
