#include "simulator/EventCalendar.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFewestBuckets = 16;
// Days are clamped to +-2^62, where a huge or infinite time lands: such
// events keep their order within the clamped day's bucket.
constexpr double kLastDay = 4611686018427387904.0;
constexpr long long kLastDayNumber = 4611686018427387904LL;

int PowerOfTwoAtLeast(int n) {
  int p = kFewestBuckets;
  while (p < n) p *= 2;
  return p;
}

}  // namespace

EventCalendar::EventCalendar(Event* store, int size)
    : Store(store),
      StoreSize(std::max(size, 0)),
      MaxBuckets(PowerOfTwoAtLeast(StoreSize)),
      Buckets(MaxBuckets, Bucket{0.0, nullptr}),
      NumBuckets(kFewestBuckets),
      Gathered(std::max(StoreSize, 1)),
      Offsets(std::max(StoreSize, 1)) {}

long long EventCalendar::DayOf(double time) const {
  const double x = (time - Origin) * InverseWidth;
  if (!(x < kLastDay)) return kLastDayNumber;
  if (!(x > -kLastDay)) return -kLastDayNumber;
  long long day = static_cast<long long>(x);
  if (x < static_cast<double>(day)) --day;  // the floor of a negative x
  return day;
}

bool EventCalendar::Before(const Event* a, const Event* b) {
  if (a->Time < b->Time) return true;
  return a->Time == b->Time && a->Action->Rank() > b->Action->Rank();
}

// Counts in Steps the events walked past: the cost the width is judged by.
void EventCalendar::Link(Event* e, long long day) {
  const int b = static_cast<int>(day & (NumBuckets - 1));
  e->HeapIndex = MarkOf(b);
  Bucket& bucket = Buckets[b];
  Event* const head = bucket.Head;
  // The head's time is in the bucket, so most insertions decide without
  // touching another event.
  if (head == nullptr || e->Time < bucket.HeadTime || (e->Time == bucket.HeadTime && Before(e, head))) {
    e->Next = IndexOf(head);
    bucket.Head = e;
    bucket.HeadTime = e->Time;
    return;
  }
  Event* previous = head;
  for (Event* next = At(previous->Next); next != nullptr && !Before(e, next); next = At(next->Next)) {
    previous = next;
    ++Steps;
  }
  e->Next = previous->Next;
  previous->Next = IndexOf(e);
}

void EventCalendar::Insert(Event* e) {
  e->Next = -1;
  if (std::isnan(e->Time)) {
    e->HeapIndex = kUndatedMark;
    if (Undated == nullptr) {
      Undated = e;
    } else {
      Event* last = Undated;
      while (last->Next >= 0) last = At(last->Next);
      last->Next = IndexOf(e);
    }
    ++NumUndated;
    return;
  }
  const long long day = DayOf(e->Time);
  if (Dated == 0 || day < ScanDay) ScanDay = day;
  Link(e, day);
  ++Dated;
  if (Dated > 2 * NumBuckets && NumBuckets < MaxBuckets) {
    Rebuild(std::min(MaxBuckets, PowerOfTwoAtLeast(Dated)));
    return;
  }
  Account();
}

void EventCalendar::Remove(Event* e) {
  const int b = BucketOf(e->HeapIndex);
  Event** head = b >= 0 ? &Buckets[b].Head : &Undated;
  if (*head == e) {
    *head = At(e->Next);
    if (b >= 0 && *head != nullptr) Buckets[b].HeadTime = (*head)->Time;
  } else {
    Event* previous = *head;
    while (At(previous->Next) != e) {
      previous = At(previous->Next);
      ++Steps;
    }
    previous->Next = e->Next;
  }
  e->Next = -1;
  if (b < 0) {
    --NumUndated;
    return;
  }
  --Dated;
  if (4 * Dated < NumBuckets && NumBuckets > kFewestBuckets) {
    Rebuild(PowerOfTwoAtLeast(Dated));
    return;
  }
  Account();
  // The event removed was most often the earliest, fired: the next earliest
  // is most often the next to fire. Its group's lines are asked for now, a
  // firing ahead of their first use.
  if (Dated > 0) Ahead.Ask(FirstOfEarliestDay()->Action);
}

Event* EventCalendar::FirstOfEarliestDay() {
  const int mask = NumBuckets - 1;
  int walked = 0;
  for (;;) {
    const Bucket& bucket = Buckets[ScanDay & mask];
    if (bucket.Head != nullptr && DayOf(bucket.HeadTime) == ScanDay) break;
    ++ScanDay;
    // A whole round of the buckets without the day: the events are far
    // ahead; go straight to the earliest.
    if (++walked > NumBuckets) ScanDay = EarliestHeadDay();
  }
  Steps += walked;
  return Buckets[ScanDay & mask].Head;
}

long long EventCalendar::EarliestHeadDay() const {
  long long earliest = kLastDayNumber;
  for (int b = 0; b < NumBuckets; ++b)
    if (Buckets[b].Head != nullptr) earliest = std::min(earliest, DayOf(Buckets[b].HeadTime));
  return earliest;
}

Event* EventCalendar::Earliest() {
  if (Dated == 0) return Undated;
  Event* const first = FirstOfEarliestDay();
  Account();  // may re-list, which keeps first the earliest
  Event* next = At(first->Next);
  if (next == nullptr || !(next->Time == first->Time)) return first;
  const int rank = first->Action->Rank();
  if (next->Action->Rank() != rank) return first;
  int n = 0;
  Gathered[n++] = first;
  for (; next != nullptr && next->Time == first->Time && next->Action->Rank() == rank; next = At(next->Next))
    Gathered[n++] = next;
  return Gathered[DrawAmongEquals(n, [this](int k) { return Gathered[k]; }, Offsets.data())];
}

void EventCalendar::Account() {
  if (++Operations < NumBuckets) return;
  // Judged once every NumBuckets operations: more than a few steps per
  // operation means days too wide (long buckets) or too narrow (long walks
  // over empty days) for the events as they are now.
  const bool reestimate = Steps > 3 * Operations;
  Operations = 0;
  Steps = 0;
  if (reestimate) Rebuild(NumBuckets);
}

double EventCalendar::EarliestFiniteTime(int n) const {
  double earliest = 0.0;
  bool any = false;
  for (int k = 0; k < n; ++k)
    if (std::isfinite(Gathered[k]->Time) && (!any || Gathered[k]->Time < earliest)) {
      earliest = Gathered[k]->Time;
      any = true;
    }
  return earliest;
}

double EventCalendar::EstimateWidth(int n, double earliest) const {
  int m = 0;
  for (int k = 0; k < n; ++k)
    if (std::isfinite(Gathered[k]->Time)) Offsets[m++] = Gathered[k]->Time - earliest;
  const double current = 1.0 / InverseWidth;
  if (m < 2) return current;
  // Half the events lie within the median offset of the earliest, so near
  // the front they are about median / (m / 2) apart: a day of that width
  // holds about one of them. The median, not the mean, so that a few far
  // events do not widen every day; a later quantile when too many tie at
  // the front for the median to tell.
  for (int quantile : {m / 2, (9 * m) / 10, m - 1}) {
    std::nth_element(Offsets.begin(), Offsets.begin() + quantile, Offsets.begin() + m);
    const double offset = Offsets[quantile];
    const double width = offset / (static_cast<double>(quantile) + 1.0);
    if (width > 0.0 && std::isfinite(1.0 / width)) return width;
  }
  return current;
}

void EventCalendar::Rebuild(int buckets) {
  int n = 0;
  for (int b = 0; b < NumBuckets; ++b) {
    for (Event* e = Buckets[b].Head; e != nullptr; e = At(e->Next)) Gathered[n++] = e;
    Buckets[b].Head = nullptr;
  }
  const double earliest = EarliestFiniteTime(n);
  InverseWidth = 1.0 / EstimateWidth(n, earliest);
  Origin = earliest;
  NumBuckets = buckets;
  for (int b = 0; b < NumBuckets; ++b) Buckets[b].Head = nullptr;
  // In the order gathered: events equal in time and rank came from one
  // bucket, in the order scheduled, and keep it.
  Dated = 0;
  for (int k = 0; k < n; ++k) {
    const long long day = DayOf(Gathered[k]->Time);
    if (Dated == 0 || day < ScanDay) ScanDay = day;
    Link(Gathered[k], day);
    ++Dated;
  }
  Operations = 0;
  Steps = 0;
}

// Codes, in the order checked: 300000 + b for a bucket b whose cached head
// time is not its head's, or with an event that comes before the one ahead
// of it, that names another bucket, that belongs to another bucket's days
// or to a day before the scan's; 400000 when the dated events are not
// Dated in number, 400001 when the undated ones are not NumUndated or one
// has a time that is not NaN.
int EventCalendar::IsValid() const {
  int dated = 0;
  for (int b = 0; b < NumBuckets; ++b) {
    const Event* head = Buckets[b].Head;
    if (head != nullptr && !(head->Time == Buckets[b].HeadTime)) return 300000 + b;
    for (const Event* e = head; e != nullptr; e = At(e->Next)) {
      ++dated;
      const Event* next = At(e->Next);
      const long long day = DayOf(e->Time);
      if ((next != nullptr && Before(next, e)) || e->HeapIndex != MarkOf(b) || (day & (NumBuckets - 1)) != b ||
          day < ScanDay)
        return 300000 + b;
    }
  }
  for (int b = NumBuckets; b < MaxBuckets; ++b)
    if (Buckets[b].Head != nullptr) return 300000 + b;
  if (dated != Dated) return 400000;
  int undated = 0;
  for (const Event* e = Undated; e != nullptr; e = At(e->Next)) {
    ++undated;
    if (!std::isnan(e->Time) || e->HeapIndex != kUndatedMark) return 400001;
  }
  return undated == NumUndated ? 0 : 400001;
}
