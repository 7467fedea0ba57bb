#include "simulator/EventList.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "random/UserDistributions.h"
#include "simulator/ScheduleEntry.h"

#include <algorithm>

EventList::EventList(int capacity)
    : Storage(std::max(capacity, 0)),
      Capacity(std::max(capacity, 0)),
      FreeEvents(Capacity),
      Items(Capacity, nullptr),
      NumEvents(0),
      EqualIndices(Capacity, 0),
      NumEqual(0) {
  for (Event& e : Storage) FreeEvents.push_back(&e);
}

EventList::~EventList() = default;

int EventList::Insert(Event* e) { return Insert(e->Time, e->StartTime, e->Action); }

// Kept out of line: most insertions find the list empty, and inlining the
// climb would make every one of them pay its register saves.
[[gnu::noinline]] int EventList::Climb(int i) { return BubbleUp(i); }

void EventList::RemoveAndRestore(Event** slot) {
  int i = IndexOf(slot);
  Event* gone = Items[i];
  FreeEvents.push_back(gone);
  gone->Action->ScheduleRecord->HeapSlot = nullptr;
  --NumEvents;
  if (i == NumEvents) {
    Items[i] = nullptr;
    return;
  }
  Place(Items[NumEvents], i);
  Items[NumEvents] = nullptr;
  ModifyKey(slot);
}

void EventList::Remove(void* p) { Remove(*static_cast<Event***>(p)); }

void EventList::ModifyKey(Event** slot) {
  int i = IndexOf(slot);
  if (BubbleUp(i) == i) BubbleDown(i);
}

Event** EventList::Earliest() {
  if (NumEvents == 0) return nullptr;
  // A lone event ties with nothing: no search, and no draw as before.
  if (NumEvents == 1) return &Items[0];
  FindEquals(0);
  int chosen = NumEqual == 1 ? 0 : ChooseAmongEquals();
  NumEqual = 0;
  return &Items[chosen];
}

// One uniform draw; the first tied event whose running weight exceeds the
// target wins. When the weights do not allow a choice (all zero, or rounding
// leaves the target at the total) the last event with a positive weight, else
// the heap's top, is taken, so the call always yields a scheduled event.
int EventList::ChooseAmongEquals() const {
  double total = 0.0;
  for (int k = 0; k < NumEqual; ++k) total += Items[EqualIndices[k]]->Action->Weight();
  double target = TheDistribution->getGenerator()->rnd() * total;
  double running = 0.0;
  int fallback = EqualIndices[0];
  for (int k = 0; k < NumEqual; ++k) {
    double weight = Items[EqualIndices[k]]->Action->Weight();
    running += weight;
    if (running > target) return EqualIndices[k];
    if (weight > 0.0) fallback = EqualIndices[k];
  }
  return fallback;
}

void EventList::ClearEventList() {
  for (int i = 0; i < NumEvents; ++i) {
    ScheduleEntry* entry = Items[i]->Action->ScheduleRecord;
    entry->HeapSlot = nullptr;
    entry->Unlisted = true;
    FreeEvents.push_back(Items[i]);
    Items[i] = nullptr;
  }
  NumEvents = 0;
}

int EventList::BubbleUp(int i) {
  while (i > 0) {
    int parent = (i - 1) / 2;
    if (!Precedes(i, parent)) break;
    Swap(i, parent);
    i = parent;
  }
  return i;
}

void EventList::BubbleDown(int i) {
  for (;;) {
    int child = 2 * i + 1;
    if (child >= NumEvents) return;
    if (child + 1 < NumEvents && Precedes(child + 1, child)) ++child;
    if (!Precedes(child, i)) return;
    Swap(i, child);
    i = child;
  }
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

bool EventList::Precedes(int a, int b) const {
  double ta = Items[a]->Time;
  double tb = Items[b]->Time;
  if (ta < tb) return true;
  return ta == tb && Items[a]->Action->Rank() > Items[b]->Action->Rank();
}

bool EventList::TiesWith(int a, int b) const {
  return Items[a]->Time == Items[b]->Time &&
         Items[a]->Action->Rank() == Items[b]->Action->Rank();
}

void EventList::Swap(int a, int b) {
  Event* ea = Items[a];
  Place(Items[b], a);
  Place(ea, b);
}

// Codes, in the order checked: the index of a child that is earlier than its
// parent; 100000 + i for a slot i whose group does not point back at it; the
// index j of an occupied slot at or beyond NumEvents; minus the slot index of
// a spare event that is also in the heap.
int EventList::IsValid() const {
  for (int i = 1; i < NumEvents; ++i)
    if (Items[(i - 1) / 2]->Time > Items[i]->Time) return i;
  for (int i = 0; i < NumEvents; ++i)
    if (Items[i]->Action->ScheduleRecord->HeapSlot != &Items[i]) return 100000 + i;
  for (int j = NumEvents; j < Capacity; ++j)
    if (Items[j] != nullptr) return j;
  for (const Event* spare : FreeEvents)
    for (int i = 0; i < NumEvents; ++i)
      if (Items[i] == spare) return -i;
  return 0;
}

std::ostream& EventList::PrintList(std::ostream& out) const {
  out << "------------------Event List-----------------" << '\n';
  for (int i = 0; i < NumEvents; ++i) {
    const Event* e = Items[i];
    out << "(" << e->Action->Name << ") " << e->StartTime << " --> " << e->Time << '\n';
  }
  out << "---------------------------------------------" << "\n\n";
  return out;
}
