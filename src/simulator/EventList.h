// EventList holds the scheduled completions of the model's groups: at most one
// event per group, in a binary min-heap ordered by time, then by higher
// Rank(); among events equal in both, Earliest makes a weighted random choice
// (one uniform draw per call, only when more than one event ties). A NaN time
// never compares as earlier, so an event with a NaN time never moves.
//
// Ownership: the list owns its events and recycles them through a pool of
// spares made at construction; it never allocates afterwards. Each group's
// ScheduleEntry (reached through its ScheduleRecord) points back at the heap
// slot holding its event, so Remove and ModifyKey need no search.
//
// Not thread-safe: used by the simulation thread only.
#ifndef EVENT_LIST_H
#define EVENT_LIST_H

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "simulator/Event.h"
#include "simulator/ScheduleEntry.h"

#include <memory>
#include <ostream>
#include <vector>

class EventList {
  // The spare events: a stack of fixed capacity over one array, so that
  // taking and returning a spare is a load and a store (no growth checks).
  class SpareStack {
   public:
    explicit SpareStack(int capacity) : Slots(new Event*[capacity > 0 ? capacity : 1]), Count(0) {}
    bool empty() const { return Count == 0; }
    Event* back() const { return Slots[Count - 1]; }
    void pop_back() { --Count; }
    // REQUIRES: fewer than capacity spares are held.
    void push_back(Event* e) { Slots[Count++] = e; }
    const Event* const* begin() const { return Slots.get(); }
    const Event* const* end() const { return Slots.get() + Count; }

   private:
    std::unique_ptr<Event*[]> Slots;
    int Count;
  };

 public:
  explicit EventList(int capacity);
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;
  ~EventList();

  // Copies *e into a spare event and schedules it; returns its heap index.
  // REQUIRES: fewer than Capacity events are scheduled, and e->Action has a
  // ScheduleRecord and no scheduled event.
  int Insert(Event* e);
  // The same for the event (time, startTime, action), written straight into
  // the spare. Inline: the step schedules about one event per firing.
  int Insert(double time, double startTime, BaseActionClass* action) {
    QUELIX_ASSERT(!FreeEvents.empty(), "EventList");
    Event* spare = FreeEvents.back();
    FreeEvents.pop_back();
    spare->Time = time;
    spare->StartTime = startTime;
    spare->Action = action;
    Place(spare, NumEvents);
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
    Event* gone = *slot;
    FreeEvents.push_back(gone);
    gone->Action->ScheduleRecord->HeapSlot = nullptr;
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
  // Returns every event to the pool and marks every scheduled group unlisted.
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

  std::vector<Event> Storage;       // every event the list will ever use
  int Capacity;
  SpareStack FreeEvents;            // the top is the next spare
  std::vector<Event*> Items;        // the heap: children of i are 2i+1, 2i+2
  int NumEvents;
  std::vector<int> EqualIndices;    // scratch of FindEquals
  int NumEqual;
};

#endif
