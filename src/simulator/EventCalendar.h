// EventCalendar keeps the scheduled events of a large list as a calendar
// keeps appointments: time is cut into days of one width, an event of time t
// belongs to day floor((t - Origin) / Width), and day d's events sit in
// bucket d modulo the number of buckets, each bucket a list sorted by time,
// then by higher Rank(), events equal in both in the order they were
// scheduled. The earliest event is the first of the first day, from the last
// earliest one on, that has one. With the width re-estimated from the events'
// spread, a day holds about one event, so scheduling and removing cost about
// the same whatever the number of events, where a heap's removal walks from
// the top of a tree to its bottom, a walk of cache misses once the tree
// outgrows the cache.
//
// The order is the heap's: time, then higher rank. Among events equal in
// both, Earliest makes the same weighted draw (DrawAmongEquals), over them in
// the order they were scheduled. An event whose time is NaN comes after
// every other (it is never earlier than one); such events are kept apart, in
// the order scheduled.
//
// Ownership: the calendar links events it does not own, all in one store
// given at construction: Event::Next is the index in that store of the next
// event of its bucket, and Event::HeapIndex marks its bucket b as -2 - b
// (-1 for a NaN time): a negative mark is never a heap slot, so an EventList
// keeping a calendar needs no test of its own on the heap's inline paths.
// Its arrays are made at construction, for the store's size; it never
// allocates afterwards. A listed event's Time changes by Remove, then
// Insert; Remove does not read it, so it may already hold the new time.
//
// Not thread-safe: used by the simulation thread only.
#ifndef EVENT_CALENDAR_H
#define EVENT_CALENDAR_H

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "random/UserDistributions.h"
#include "simulator/Event.h"
#include "simulator/GroupPrefetch.h"

#include <vector>

// The weighted choice among n events tied in time and rank, eventAt(k) the
// k-th of them in the order offered: one uniform draw; the first event whose
// running weight exceeds the target wins. When the weights do not allow a
// choice (all zero, or rounding leaves the target at the total) the last
// event with a positive weight, else the first, is taken. Returns k. Each
// event's Weight() is asked once; weights (room for n) keeps the answers for
// the second pass, which adds them in the same order. Inline in its callers:
// ties are common among instantaneous events.
template <class EventAt>
[[gnu::always_inline]] inline int DrawAmongEquals(int n, EventAt eventAt, double* weights) {
  double total = 0.0;
  for (int k = 0; k < n; ++k) {
    weights[k] = eventAt(k)->Action->Weight();
    total += weights[k];
  }
  const double target = TheDistribution->getGenerator()->rnd() * total;
  double running = 0.0;
  int fallback = 0;
  for (int k = 0; k < n; ++k) {
    running += weights[k];
    if (running > target) return k;
    if (weights[k] > 0.0) fallback = k;
  }
  return fallback;
}

class EventCalendar {
 public:
  // store: the events the calendar may be given, size of them.
  EventCalendar(Event* store, int size);
  EventCalendar(const EventCalendar&) = delete;
  EventCalendar& operator=(const EventCalendar&) = delete;

  // REQUIRES: e is in the store and not listed.
  void Insert(Event* e);
  // REQUIRES: e is listed.
  void Remove(Event* e);
  // The earliest event (a draw among equals), or none. It stays listed.
  Event* Earliest();
  // Calls visit(e) for every listed event, then lists none.
  template <class Visit>
  void Clear(Visit visit) {
    for (int b = 0; b < NumBuckets; ++b) {
      VisitChain(Buckets[b].Head, visit);
      Buckets[b].Head = nullptr;
    }
    VisitChain(Undated, visit);
    Undated = nullptr;
    Dated = 0;
    NumUndated = 0;
  }
  // Calls visit(e) for every listed event, bucket by bucket.
  template <class Visit>
  void ForEach(Visit visit) const {
    for (int b = 0; b < NumBuckets; ++b) VisitChain(Buckets[b].Head, visit);
    VisitChain(Undated, visit);
  }
  int Count() const { return Dated + NumUndated; }
  // The lines of the next group to fire that Remove asks for (by default
  // its first two).
  void AskAheadFor(const GroupPrefetch& lines) { Ahead = lines; }
  // 0 when consistent; otherwise a code naming the first fault found (see
  // the definition).
  int IsValid() const;

 private:
  struct Bucket {
    double HeadTime;  // Head->Time, read without touching the event
    Event* Head;
  };
  template <class Visit>
  void VisitChain(Event* e, Visit visit) const {
    while (e != nullptr) {
      Event* next = At(e->Next);
      visit(e);
      e = next;
    }
  }
  static constexpr int kUndatedMark = -1;
  static int MarkOf(int bucket) { return -2 - bucket; }
  static int BucketOf(int mark) { return -2 - mark; }  // -1 for kUndatedMark
  Event* At(int index) const { return index < 0 ? nullptr : Store + index; }
  int IndexOf(const Event* e) const { return e == nullptr ? -1 : static_cast<int>(e - Store); }
  long long DayOf(double time) const;
  // Whether a comes before b (time, then higher rank); equals are not.
  static bool Before(const Event* a, const Event* b);
  void Link(Event* e, long long day);
  Event* FirstOfEarliestDay();
  long long EarliestHeadDay() const;
  // Re-lists every dated event over buckets buckets (a power of two) with a
  // width estimated from their times.
  void Rebuild(int buckets);
  // Of the first n events of Gathered: the earliest finite time (0 when
  // none), and a day's width from their times' spread after it.
  double EarliestFiniteTime(int n) const;
  double EstimateWidth(int n, double earliest) const;
  // Counts an operation and the steps it took; now and then re-estimates the
  // width when the steps per operation show the days too wide or narrow.
  void Account();

  Event* const Store;
  const int StoreSize;
  const int MaxBuckets;
  std::vector<Bucket> Buckets;  // MaxBuckets made, the first NumBuckets in use
  int NumBuckets;
  double Origin = 0.0;
  double InverseWidth = 1.0;
  // No dated event belongs to a day before ScanDay.
  long long ScanDay = 0;
  int Dated = 0;
  Event* Undated = nullptr;  // the events of a NaN time
  int NumUndated = 0;
  long long Operations = 0;
  long long Steps = 0;
  std::vector<Event*> Gathered;  // scratch of Rebuild and of the draw
  mutable std::vector<double> Offsets;  // scratch of EstimateWidth, and of the draw's weights
  GroupPrefetch Ahead;
};

#endif
