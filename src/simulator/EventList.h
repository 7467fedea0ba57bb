// EventList holds the scheduled completions of the model's groups: at most one
// event per group, in a binary min-heap ordered by time, then by higher
// Rank(); among events equal in both, Earliest makes a weighted random choice
// (one uniform draw per call, only when more than one event ties). A NaN time
// never compares as earlier, so an event with a NaN time never moves.
//
// Ownership: the list owns its events and recycles them through a pool of
// spares made at construction, or lends each group one of its own
// (LendEvents); it never allocates afterwards. An event stays
// at one address while it is scheduled, and its group's ScheduleEntry points
// at it (Scheduled); callers name a scheduled event by that pointer.
//
// Layout, for models of thousands of groups: a heap slot holds its event's
// time beside the event, so the comparisons of a climb or a sink read the
// heap's own array, and each event keeps its own heap index, so a move
// writes it through the slot's pointer instead of loading the moved event's
// group to reach its record (a cache miss per level once the groups no
// longer fit in the cache). After changing an event's Time in place, a
// caller must call ModifyKey, which takes the new time into the slot.
//
// A list for more than kCalendarFromEvents events keeps them in an
// EventCalendar instead (see there): the same order and the same draw among
// equals, offered over the equals in the order they were scheduled rather
// than in the heap's order. Every operation below serves both; EventAt and
// HeapIndexOf name heap slots, and are for heap lists only.
//
// Not thread-safe: used by the simulation thread only.
#ifndef EVENT_LIST_H
#define EVENT_LIST_H

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "simulator/Event.h"
#include "simulator/EventCalendar.h"
#include "simulator/GroupPrefetch.h"
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
    void clear() { Count = 0; }
    // REQUIRES: fewer than capacity spares are held.
    void push_back(Event* e) { Slots[Count++] = e; }
    const Event* const* begin() const { return Slots.get(); }
    const Event* const* end() const { return Slots.get() + Count; }

   private:
    std::unique_ptr<Event*[]> Slots;
    int Count;
  };

 public:
  // How the events are kept: by the capacity (a calendar beyond
  // kCalendarFromEvents, a heap otherwise), or as asked.
  enum class Keeping { kBySize, kHeap, kCalendar };
  explicit EventList(int capacity, Keeping keeping = Keeping::kBySize);
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;
  ~EventList();

  // Copies *e into a spare event and schedules it; returns its heap index
  // (0 in a calendar).
  // REQUIRES: fewer than Capacity events are scheduled, and e->Action has a
  // ScheduleRecord and no scheduled event.
  int Insert(Event* e);
  // The same for the event (time, startTime, action), written straight into
  // the spare. Inline: the step schedules about one event per firing.
  int Insert(double time, double startTime, BaseActionClass* action) {
    ScheduleEntry* const entry = action->ScheduleRecord;
    Event* spare = entry->Lent;
    if (spare == nullptr) spare = TakeSpare();
    spare->Time = time;
    spare->StartTime = startTime;
    spare->Action = action;
    entry->Scheduled = spare;
    if (NumEvents == EmptyMark) {  // an empty heap: the root climbs past nothing
      Place(Slot{time, spare}, 0);
      NumEvents = 1;
      return 0;
    }
    return PlaceInNonEmpty(*this, spare);
  }
  // REQUIRES: e is scheduled in this list. Inline for the last slot (as a
  // lone event, the common case of instantaneous chains, is), which leaves
  // nothing to restore.
  void Remove(Event* e) {
    const int last = NumEvents - 1;
    // A lone event is the last without looking its position up.
    if (NumEvents != LoneMark) {
      const int i = e->HeapIndex;
      if (i != last) {
        RemoveNotLast(*this, e, i);
        return;
      }
    }
    Recycle(e);
  }
  // Restores the order after the Time of the scheduled event e changed in
  // place.
  void ModifyKey(Event* e);
  // The next event to execute, or none when the list is empty. The event
  // stays in the list. Inline for an empty list and a lone event in a heap,
  // which tie with nothing (the common case of instantaneous chains).
  Event* Earliest() {
    if (NumEvents == 0) return nullptr;
    if (NumEvents == LoneMark) return Items[0].E;
    return EarliestOfMany(*this);
  }
  // Returns every event to the pool and marks every scheduled group unlisted.
  void ClearEventList();
  // Lends groups[i] (its ScheduleRecord) the list's i-th event for the
  // list's life, so that scheduling group i takes no spare and removing its
  // event returns none: a group has at most one event at a time. Events of
  // groups without an entry here are still taken from the spares. Lent
  // events are never returned: an entry lent events by a list must not be
  // given to another list, unless that list lends it its own (the simulator
  // sets the entries up and makes the list together).
  // REQUIRES: nothing is scheduled, nothing was lent before, n <= capacity.
  template <class Group>
  void LendEvents(Group* const* groups, int n) {
    KeepSparesFrom(n);
    for (int i = 0; i < n; ++i) groups[i]->ScheduleRecord->Lent = &Storage[static_cast<std::size_t>(i)];
  }
  // Learns which lines of groups[0..n) (the model's) a large list asks for
  // a firing ahead: see GroupPrefetch.
  void LearnGroupLines(BaseGroupClass* const* groups, int n);

  int BubbleUp(int i);
  void BubbleDown(int i);
  void FindEquals(int i);

  // 0 when consistent; otherwise a code naming the first fault found (see the
  // definition).
  int IsValid() const;
  std::ostream& PrintList(std::ostream& out) const;

  int GetNumEvents() const { return NumEvents; }
  int GetCapacity() const { return Capacity; }
  // The event in heap slot i, or none when the slot is empty. Slots at and
  // beyond the count keep whatever they last held: nothing reads them.
  Event* EventAt(int i) const { return i < NumEvents ? Items[i].E : nullptr; }
  // REQUIRES: e is scheduled in this list.
  int HeapIndexOf(const Event* e) const { return e->HeapIndex; }
  // Lists of more than this many events are large: see PrefetchGroups.
  static constexpr int kLargeFromEvents = 1024;
  // Lists of more than this many events are kept in a calendar.
  static constexpr int kCalendarFromEvents = 4096;

 private:
  struct Slot {
    double Time;  // E->Time, as of its insertion or last ModifyKey
    Event* E;
  };
  // Whether the event of slot a must come before the event of slot b. A
  // tie on time, rare among timed events, asks the groups' ranks.
  static bool Precedes(const Slot& a, const Slot& b) {
    if (a.Time < b.Time) return true;
    if (__builtin_expect(a.Time == b.Time, 0)) return a.E->Action->Rank() > b.E->Action->Rank();
    return false;
  }
  // Precedes(left[1], left[0]) as 0 or 1, the common case (no tie) without a
  // branch.
  static int RightChildFirst(const Slot* left) {
    const int later = left[1].Time < left[0].Time;
    if (__builtin_expect(left[1].Time == left[0].Time, 0)) return Precedes(left[1], left[0]) ? 1 : 0;
    return later;
  }
  bool TiesWith(int a, int b) const;
  int IsValidCalendar() const;
  // Makes the spares the list's events from n on (those before are lent).
  void KeepSparesFrom(int n);
  // Returns a removed event to the spares, unless its group keeps it; the
  // group has none scheduled.
  void Recycle(Event* e) {
    ScheduleEntry* const entry = e->Action->ScheduleRecord;
    entry->Scheduled = nullptr;
    if (e != entry->Lent) FreeEvents.push_back(e);
    --NumEvents;
  }
  Event* TakeSpare() {
    QUELIX_ASSERT(!FreeEvents.empty(), "EventList");
    Event* spare = FreeEvents.back();
    FreeEvents.pop_back();
    return spare;
  }
  void ReleaseEvent(Event* e);  // ClearEventList's, for one event
  void Place(Slot s, int i) {
    Items[i] = s;
    s.E->HeapIndex = i;
  }
  // The out-of-line paths of Insert (into a list not an empty heap), Remove
  // (of any event but a heap's last; i is its HeapIndex) and Earliest (of a
  // list not an empty or lone heap), one function of each for the heap and
  // one for the calendar: see the pointers below.
  static int HeapPlaceAndClimb(EventList& list, Event* spare);
  static void HeapRemoveAndRestore(EventList& list, Event* gone, int i);
  static Event* HeapEarliest(EventList& list);
  static int CalendarInsert(EventList& list, Event* spare);
  static void CalendarRemove(EventList& list, Event* gone, int i);
  static Event* CalendarEarliest(EventList& list);
  // In a list of thousands of events, asks the processor to start loading
  // the lines (Ahead) of the group whose event is now earliest: most often
  // the next to fire, whose first touch would otherwise miss the cache a
  // whole firing later. A hint only; nothing changes.
  void PrefetchEarliestGroup() const { Ahead.Ask(Items[0].E->Action); }
  void Restore(int i) {
    if (BubbleUp(i) == i) BubbleDown(i);
  }
  int ChooseAmongEquals() const;

  std::vector<Event> Storage;       // every event the list will ever use
  int Capacity;
  SpareStack FreeEvents;            // the top is the next spare
  std::vector<Slot> Items;          // the heap: children of i are 2i+1, 2i+2
  int NumEvents;
  // A list of more than kLargeFromEvents events is too large for its
  // events and groups to stay in the processor's cache between firings.
  bool PrefetchGroups;
  GroupPrefetch Ahead;
  std::vector<int> EqualIndices;    // scratch of FindEquals
  mutable std::vector<double> EqualWeights;  // scratch of ChooseAmongEquals
  int NumEqual;
  std::unique_ptr<EventCalendar> Calendar;  // instead of the heap, or none
  // The counts of an empty and of a lone heap (0 and 1), or -1 and 0 with a
  // calendar: counts on which the inline paths for an empty or lone heap,
  // taken on the count alone, are never taken with a calendar (whose
  // events' marks are never a heap slot either: see EventCalendar).
  int EmptyMark;
  int LoneMark;
  // The heap's or the calendar's out-of-line paths, chosen once, at
  // construction: neither way tests for the other on its paths.
  int (*PlaceInNonEmpty)(EventList& list, Event* spare);
  void (*RemoveNotLast)(EventList& list, Event* e, int i);
  Event* (*EarliestOfMany)(EventList& list);
};

#endif
