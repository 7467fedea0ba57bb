#include "simulator/EventList.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "random/UserDistributions.h"
#include "simulator/ScheduleEntry.h"

#include <algorithm>
#include <cmath>

EventList::EventList(int capacity)
    : Storage(std::max(capacity, 0)),
      Capacity(std::max(capacity, 0)),
      FreeEvents(Capacity),
      Items(Capacity, Slot{0.0, nullptr}),
      NumEvents(0),
      PrefetchGroups(Capacity > kLargeFromEvents),
      EqualIndices(Capacity, 0),
      NumEqual(0) {
  for (Event& e : Storage) FreeEvents.push_back(&e);
}

EventList::~EventList() = default;

int EventList::Insert(Event* e) { return Insert(e->Time, e->StartTime, e->Action); }

// Kept out of line: most insertions find the list empty, and inlining the
// climb would make every one of them pay its register saves.
[[gnu::noinline]] int EventList::Climb(int i) { return BubbleUp(i); }

void EventList::RemoveAndRestore(int i) {
  Event* gone = Items[i].E;
  FreeEvents.push_back(gone);
  gone->Action->ScheduleRecord->Scheduled = nullptr;
  --NumEvents;
  if (i == NumEvents) {
    Items[i].E = nullptr;
    return;
  }
  Place(Items[NumEvents], i);
  Items[NumEvents].E = nullptr;
  Restore(i);
  // Removing the earliest event, as every firing does, leaves the next one
  // at the top; a lone event (the common case of small models) never
  // comes here.
  if (PrefetchGroups) PrefetchEarliestGroup();
}

void EventList::ModifyKey(Event* e) {
  const int i = e->HeapIndex;
  Items[i].Time = e->Time;
  Restore(i);
}

Event* EventList::Earliest() {
  if (NumEvents == 0) return nullptr;
  // A lone event ties with nothing: no search, and no draw as before.
  if (NumEvents == 1) return Items[0].E;
  FindEquals(0);
  int chosen = NumEqual == 1 ? 0 : ChooseAmongEquals();
  NumEqual = 0;
  return Items[chosen].E;
}

// One uniform draw; the first tied event whose running weight exceeds the
// target wins. When the weights do not allow a choice (all zero, or rounding
// leaves the target at the total) the last event with a positive weight, else
// the heap's top, is taken, so the call always yields a scheduled event.
int EventList::ChooseAmongEquals() const {
  double total = 0.0;
  for (int k = 0; k < NumEqual; ++k) total += Items[EqualIndices[k]].E->Action->Weight();
  double target = TheDistribution->getGenerator()->rnd() * total;
  double running = 0.0;
  int fallback = EqualIndices[0];
  for (int k = 0; k < NumEqual; ++k) {
    double weight = Items[EqualIndices[k]].E->Action->Weight();
    running += weight;
    if (running > target) return EqualIndices[k];
    if (weight > 0.0) fallback = EqualIndices[k];
  }
  return fallback;
}

void EventList::ClearEventList() {
  for (int i = 0; i < NumEvents; ++i) {
    ScheduleEntry* entry = Items[i].E->Action->ScheduleRecord;
    entry->Scheduled = nullptr;
    entry->Unlisted = true;
    FreeEvents.push_back(Items[i].E);
    Items[i].E = nullptr;
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
// (a NaN matching a NaN); the index j of an occupied slot at or beyond NumEvents; minus the
// slot index of a spare event that is also in the heap.
int EventList::IsValid() const {
  for (int i = 1; i < NumEvents; ++i)
    if (Items[(i - 1) / 2].Time > Items[i].Time) return i;
  for (int i = 0; i < NumEvents; ++i) {
    const Event* e = Items[i].E;
    if (e->Action->ScheduleRecord->Scheduled != e || e->HeapIndex != i ||
        !(Items[i].Time == e->Time || (std::isnan(Items[i].Time) && std::isnan(e->Time))))
      return 100000 + i;
  }
  for (int j = NumEvents; j < Capacity; ++j)
    if (Items[j].E != nullptr) return j;
  for (const Event* spare : FreeEvents)
    for (int i = 0; i < NumEvents; ++i)
      if (Items[i].E == spare) return -i;
  return 0;
}

std::ostream& EventList::PrintList(std::ostream& out) const {
  out << "------------------Event List-----------------" << '\n';
  for (int i = 0; i < NumEvents; ++i) {
    const Event* e = Items[i].E;
    out << "(" << e->Action->Name << ") " << e->StartTime << " --> " << e->Time << '\n';
  }
  out << "---------------------------------------------" << "\n\n";
  return out;
}
