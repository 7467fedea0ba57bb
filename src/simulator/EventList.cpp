#include "simulator/EventList.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "random/UserDistributions.h"
#include "simulator/ScheduleEntry.h"

#include <algorithm>
#include <cmath>

namespace {

bool KeptInCalendar(int capacity, EventList::Keeping keeping) {
  if (keeping == EventList::Keeping::kBySize) return capacity > EventList::kCalendarFromEvents;
  return keeping == EventList::Keeping::kCalendar;
}

}  // namespace

// A calendar list makes no heap arrays.
EventList::EventList(int capacity, Keeping keeping)
    : Storage(std::max(capacity, 0)),
      Capacity(std::max(capacity, 0)),
      FreeEvents(Capacity),
      NumEvents(0),
      PrefetchGroups(Capacity > kLargeFromEvents),
      NumEqual(0),
      EmptyMark(0),
      LoneMark(1),
      PlaceInNonEmpty(&HeapPlaceAndClimb),
      RemoveNotLast(&HeapRemoveAndRestore),
      EarliestOfMany(&HeapEarliest) {
  for (Event& e : Storage) FreeEvents.push_back(&e);
  if (KeptInCalendar(Capacity, keeping)) {
    Calendar.reset(new EventCalendar(Storage.data(), Capacity));
    EmptyMark = -1;
    LoneMark = 0;
    PlaceInNonEmpty = &CalendarInsert;
    RemoveNotLast = &CalendarRemove;
    EarliestOfMany = &CalendarEarliest;
  } else {
    Items.assign(Capacity, Slot{0.0, nullptr});
    EqualIndices.assign(Capacity, 0);
    EqualWeights.assign(Capacity, 0.0);
  }
}

EventList::~EventList() = default;

void EventList::KeepSparesFrom(int n) {
  QUELIX_ASSERT(NumEvents == 0 && 0 <= n && n <= Capacity, "EventList");
  FreeEvents.clear();
  for (int i = n; i < Capacity; ++i) FreeEvents.push_back(&Storage[static_cast<std::size_t>(i)]);
}

void EventList::LearnGroupLines(BaseGroupClass* const* groups, int n) {
  Ahead.Learn(groups, n);
  if (Calendar) Calendar->AskAheadFor(Ahead);
}

int EventList::Insert(Event* e) { return Insert(e->Time, e->StartTime, e->Action); }

// Out of line: most insertions find the list empty, and inlining the climb
// would make every one of them pay its register saves.
int EventList::HeapPlaceAndClimb(EventList& list, Event* spare) {
  list.Place(Slot{spare->Time, spare}, list.NumEvents);
  ++list.NumEvents;
  return list.BubbleUp(list.NumEvents - 1);
}

void EventList::HeapRemoveAndRestore(EventList& list, Event* gone, int i) {
  list.Recycle(gone);
  const int last = list.NumEvents;
  if (i == last) return;
  list.Place(list.Items[last], i);
  list.Restore(i);
  // Removing the earliest event, as every firing does, leaves the next one
  // at the top; a lone event (the common case of small models) never
  // comes here.
  if (list.PrefetchGroups) list.PrefetchEarliestGroup();
}

int EventList::CalendarInsert(EventList& list, Event* spare) {
  list.Calendar->Insert(spare);
  ++list.NumEvents;
  return 0;
}

void EventList::CalendarRemove(EventList& list, Event* gone, int) {
  list.Calendar->Remove(gone);
  list.Recycle(gone);
}

void EventList::ModifyKey(Event* e) {
  if (Calendar) {
    Calendar->Remove(e);
    Calendar->Insert(e);
    return;
  }
  const int i = e->HeapIndex;
  Items[i].Time = e->Time;
  Restore(i);
}

Event* EventList::HeapEarliest(EventList& list) {
  // A root whose children are at other times ties with nothing: no search.
  const Slot* const items = list.Items.data();
  const double first = items[0].Time;
  if (items[1].Time != first && (list.NumEvents == 2 || items[2].Time != first)) return items[0].E;
  // Two events tied in time, the search's order (the root, then its child)
  // without the search.
  if (list.NumEvents == 2) {
    if (!list.TiesWith(1, 0)) return items[0].E;
    return items[DrawAmongEquals(2, [items](int k) { return items[k].E; }, list.EqualWeights.data())].E;
  }
  list.FindEquals(0);
  const int chosen = list.NumEqual == 1 ? 0 : list.ChooseAmongEquals();
  list.NumEqual = 0;
  return list.Items[chosen].E;
}

Event* EventList::CalendarEarliest(EventList& list) { return list.Calendar->Earliest(); }

// The tied events in the order found, the heap's top first (the fallback
// when the weights allow no choice).
int EventList::ChooseAmongEquals() const {
  return EqualIndices[DrawAmongEquals(NumEqual, [this](int k) { return Items[EqualIndices[k]].E; },
                                      EqualWeights.data())];
}

void EventList::ReleaseEvent(Event* e) {
  ScheduleEntry* entry = e->Action->ScheduleRecord;
  entry->Scheduled = nullptr;
  entry->Unlisted = true;
  if (e != entry->Lent) FreeEvents.push_back(e);
}

void EventList::ClearEventList() {
  if (Calendar) {
    Calendar->Clear([this](Event* e) { ReleaseEvent(e); });
  } else {
    for (int i = 0; i < NumEvents; ++i) ReleaseEvent(Items[i].E);
  }
  NumEvents = 0;
}

// Both sifts move a hole rather than swapping: the event being placed is
// held aside and written once at the end, so each level writes one slot and
// one event's index. The comparisons, and so the resulting heap, are those of the
// swapping form.
int EventList::BubbleUp(int i) {
  Slot* const items = Items.data();
  const Slot moving = items[i];
  while (i > 0) {
    const int parent = (i - 1) / 2;
    if (!Precedes(moving, items[parent])) break;
    Place(items[parent], i);
    i = parent;
  }
  Place(moving, i);
  return i;
}

// The choice between the two children is as likely one way as the other: it
// is taken as a value (a flag added to the index), not as a branch, which a
// deep heap would mispredict at every other level.
void EventList::BubbleDown(int i) {
  Slot* const items = Items.data();
  const int n = NumEvents;
  const Slot moving = items[i];
  for (;;) {
    int child = 2 * i + 1;
    if (child >= n) break;
    if (child + 1 < n) child += RightChildFirst(items + child);
    if (!Precedes(items[child], moving)) break;
    Place(items[child], i);
    i = child;
  }
  Place(moving, i);
}

// Pre-order walk of the region below i that ties with i; the recursion goes
// left, the right side is followed iteratively.
void EventList::FindEquals(int i) {
  for (;;) {
    EqualIndices[NumEqual++] = i;
    int left = 2 * i + 1;
    int right = left + 1;
    if (left < NumEvents && TiesWith(left, i)) FindEquals(left);
    if (right < NumEvents && TiesWith(right, i)) {
      i = right;
    } else {
      return;
    }
  }
}

bool EventList::TiesWith(int a, int b) const {
  return Items[a].Time == Items[b].Time &&
         Items[a].E->Action->Rank() == Items[b].E->Action->Rank();
}

// Codes, in the order checked: the index of a child that is earlier than its
// parent; 100000 + i for a slot i whose event's group does not point at the
// event, whose HeapIndex is not i, or whose time differs from the event's
// (a NaN matching a NaN); minus the slot index of a spare event that is also
// in the heap.
int EventList::IsValid() const {
  if (Calendar) return IsValidCalendar();
  for (int i = 1; i < NumEvents; ++i)
    if (Items[(i - 1) / 2].Time > Items[i].Time) return i;
  for (int i = 0; i < NumEvents; ++i) {
    const Event* e = Items[i].E;
    if (e->Action->ScheduleRecord->Scheduled != e || e->HeapIndex != i ||
        !(Items[i].Time == e->Time || (std::isnan(Items[i].Time) && std::isnan(e->Time))))
      return 100000 + i;
  }
  for (const Event* spare : FreeEvents)
    for (int i = 0; i < NumEvents; ++i)
      if (Items[i].E == spare) return -i;
  return 0;
}

// A calendar's codes: the calendar's own (see there); 500000 when its
// events are not NumEvents in number; 600000 + k for its k-th event (in
// ForEach's order) whose group does not point at it, or that is also a
// spare.
int EventList::IsValidCalendar() const {
  if (const int code = Calendar->IsValid()) return code;
  if (Calendar->Count() != NumEvents) return 500000;
  int k = 0;
  int fault = 0;
  Calendar->ForEach([&](const Event* e) {
    const bool spare = std::find(FreeEvents.begin(), FreeEvents.end(), e) != FreeEvents.end();
    if (fault == 0 && (e->Action->ScheduleRecord->Scheduled != e || spare)) fault = 600000 + k;
    ++k;
  });
  return fault;
}

std::ostream& EventList::PrintList(std::ostream& out) const {
  out << "------------------Event List-----------------" << '\n';
  const auto print = [&out](const Event* e) {
    out << "(" << e->Action->Name << ") " << e->StartTime << " --> " << e->Time << '\n';
  };
  if (Calendar)
    Calendar->ForEach(print);
  else
    for (int i = 0; i < NumEvents; ++i) print(Items[i].E);
  out << "---------------------------------------------" << "\n\n";
  return out;
}
