#include "simulator/EventList.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/TestModels.h"
#include "simulator/ScheduleEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

namespace {

// A schedulable stand-in with a settable rank and weight.
class Unit : public BaseActionClass {
 public:
  Unit(const char* name, int rank = 0, double weight = 1.0) : TheRank(rank), TheWeight(weight) {
    defineName(name);
    ScheduleRecord = &ScheduleRoom;
  }
  int Rank() override { return TheRank; }
  double Weight() override { return TheWeight; }

  int TheRank;
  double TheWeight;
};

class EventListTest : public ::testing::Test {
 protected:
  Unit* Add(const char* name, int rank = 0, double weight = 1.0) {
    Units.push_back(std::make_unique<Unit>(name, rank, weight));
    return Units.back().get();
  }
  void Schedule(EventList& list, Unit* u, double time) {
    Event e(time, 0.0, u);
    list.Insert(&e);
  }
  static Unit* At(Event* e) { return static_cast<Unit*>(e->Action); }

  std::vector<std::unique_ptr<Unit>> Units;
};

// What holds however the list keeps its events.
class EventListKeepingTest : public EventListTest, public ::testing::WithParamInterface<EventList::Keeping> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(HeapAndCalendar, EventListKeepingTest,
                         ::testing::Values(EventList::Keeping::kHeap, EventList::Keeping::kCalendar));

TEST_P(EventListKeepingTest, EmptyListHasNoEarliestEvent) {
  EventList list(4, GetParam());
  EXPECT_EQ(list.Earliest(), nullptr);
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_P(EventListKeepingTest, HigherRankWinsATimeTieWithoutADraw) {
  testmodels::ScriptedUniforms uniforms({});
  EventList list(4, GetParam());
  Schedule(list, Add("low", 1), 2.0);
  Schedule(list, Add("high", 5), 2.0);
  Schedule(list, Add("later", 9), 3.0);
  EXPECT_STREQ(At(list.Earliest())->getName(), "high");
  EXPECT_EQ(uniforms.draws(), 0);
}

TEST_P(EventListKeepingTest, EqualTimeAndRankChoiceFollowsTheWeightsWithOneDrawPerCall) {
  // With weights 1, 1, 2 the draw u selects the first for u < 1/4, the
  // second for u < 1/2 and the third otherwise: check the boundaries, then
  // the frequency over a fine grid of u. Both ways offer a, b, c in this
  // order (the heap's walk from its top, the calendar's order scheduled).
  testmodels::ScriptedUniforms uniforms({});
  EventList list(4, GetParam());
  Unit* a = Add("a", 1, 1.0);
  Unit* b = Add("b", 1, 1.0);
  Unit* c = Add("c", 1, 2.0);
  Schedule(list, a, 1.0);
  Schedule(list, b, 1.0);
  Schedule(list, c, 1.0);

  const int n = 4000;
  std::map<Unit*, int> chosen;
  for (int i = 0; i < n; ++i) {
    uniforms.push((i + 0.5) / n);
    chosen[At(list.Earliest())]++;
    ASSERT_EQ(uniforms.draws(), i + 1);
  }
  EXPECT_EQ(chosen[a], n / 4);
  EXPECT_EQ(chosen[b], n / 4);
  EXPECT_EQ(chosen[c], n / 2);
  EXPECT_EQ(list.GetNumEvents(), 3);  // Earliest does not remove
}

TEST_P(EventListKeepingTest, TiesWithZeroWeightStillYieldAScheduledEvent) {
  testmodels::ScriptedUniforms uniforms({0.99});
  EventList list(4, GetParam());
  Unit* a = Add("a", 0, 0.0);
  Schedule(list, a, 1.0);
  Schedule(list, Add("b", 0, 0.0), 1.0);
  Event* next = list.Earliest();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(At(next), a);
}

TEST_F(EventListTest, RemoveKeepsTheRestAndClearsTheBackPointer) {
  EventList list(4);
  Unit* first = Add("first");
  Unit* second = Add("second");
  Unit* third = Add("third");
  Schedule(list, first, 1.0);
  Schedule(list, second, 2.0);
  Schedule(list, third, 3.0);

  Event* last = third->ScheduleRoom.Scheduled;
  ASSERT_EQ(last, list.EventAt(2));
  list.Remove(last);
  EXPECT_EQ(list.EventAt(2), nullptr);
  EXPECT_EQ(third->ScheduleRoom.Scheduled, nullptr);
  EXPECT_EQ(first->ScheduleRoom.Scheduled, list.EventAt(0));
  EXPECT_EQ(second->ScheduleRoom.Scheduled, list.EventAt(1));

  list.Remove(first->ScheduleRoom.Scheduled);  // the root: the last event fills it
  EXPECT_EQ(At(list.Earliest()), second);
  EXPECT_EQ(list.HeapIndexOf(second->ScheduleRoom.Scheduled), 0);
  list.Remove(second->ScheduleRoom.Scheduled);
  EXPECT_EQ(list.GetNumEvents(), 0);
  EXPECT_EQ(list.Earliest(), nullptr);
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_F(EventListTest, ModifyKeyMovesAnEventUpOrDown) {
  EventList list(8);
  std::vector<Unit*> units;
  for (int i = 0; i < 6; ++i) {
    units.push_back(Add("u"));
    Schedule(list, units.back(), 10.0 + i);
  }
  Event* top = units[0]->ScheduleRoom.Scheduled;
  top->Time = 100.0;  // later: sinks
  list.ModifyKey(top);
  EXPECT_EQ(At(list.Earliest()), units[1]);
  EXPECT_NE(list.HeapIndexOf(top), 0);

  Event* deep = units[5]->ScheduleRoom.Scheduled;
  deep->Time = 1.0;  // earlier: rises to the top
  list.ModifyKey(deep);
  EXPECT_EQ(list.HeapIndexOf(deep), 0);
  EXPECT_EQ(At(list.Earliest()), units[5]);
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_P(EventListKeepingTest, ClearReturnsEveryEventAndUnlistsTheGroups) {
  EventList list(3, GetParam());
  Unit* a = Add("a");
  Unit* b = Add("b");
  Schedule(list, a, 1.0);
  Schedule(list, b, 2.0);
  a->ScheduleRoom.Unlisted = false;
  list.ClearEventList();
  EXPECT_EQ(list.GetNumEvents(), 0);
  EXPECT_EQ(a->ScheduleRoom.Scheduled, nullptr);
  EXPECT_TRUE(a->ScheduleRoom.Unlisted);
  // Every spare is back: the full capacity can be scheduled again.
  for (int i = 0; i < 3; ++i) Schedule(list, Add("again"), i);
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_F(EventListTest, IsValidNamesTheFirstFault) {
  EventList list(4);
  Unit* a = Add("a");
  Unit* b = Add("b");
  Schedule(list, a, 1.0);
  Schedule(list, b, 2.0);
  a->ScheduleRoom.Scheduled->Time = 5.0;  // changed without ModifyKey
  EXPECT_EQ(list.IsValid(), 100000);
  a->ScheduleRoom.Scheduled->Time = 1.0;
  Event* event = b->ScheduleRoom.Scheduled;
  b->ScheduleRoom.Scheduled = nullptr;
  EXPECT_EQ(list.IsValid(), 100001);
  b->ScheduleRoom.Scheduled = event;
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_P(EventListKeepingTest, PrintListShowsEachEvent) {
  EventList list(2, GetParam());
  Unit* a = Add("ARRIVE");
  Event e(2.5, 1.0, a);
  list.Insert(&e);
  std::ostringstream out;
  list.PrintList(out);
  EXPECT_EQ(out.str(),
            "------------------Event List-----------------\n"
            "(ARRIVE) 1 --> 2.5\n"
            "---------------------------------------------\n\n");
}

// A long random sequence of inserts, removals (of the earliest and of any)
// and key changes against a simple reference: after every operation the
// earliest event must have the reference's smallest (time, -rank), and at the
// end every back-pointer and the list's own invariants must hold. Coarse
// times make ties on time and rank common; spread ones mix far, infinite and
// negative times into exponential gaps, which the calendar's days must
// follow as it re-estimates their width and its number of buckets. A lending
// list lends the first half of the units their own events (the simulator
// lends one to every group of a small model); the others take spares.
struct RandomCase {
  const char* Name;
  int Capacity;
  EventList::Keeping Keeping;
  int Units;
  bool Spread;
  bool Lending;
};

class EventListRandomTest : public EventListTest, public ::testing::WithParamInterface<RandomCase> {};

TEST_P(EventListRandomTest, StaysConsistentUnderRandomOperations) {
  testmodels::ScriptedUniforms uniforms({});
  const RandomCase& c = GetParam();
  EventList list(c.Capacity, c.Keeping);
  std::vector<Unit*> units;
  for (int i = 0; i < c.Units; ++i) units.push_back(Add("u", i % 3));
  list.LendEvents(units.data(), c.Lending ? c.Units / 2 : 0);
  const auto scheduled = [](Unit* u) { return u->ScheduleRecord->Scheduled; };
  std::map<Unit*, double> reference;  // scheduled unit -> time
  std::mt19937 rng(12345);
  std::exponential_distribution<double> gap(1.0);
  double now = 0.0;
  auto randomTime = [&] {
    if (!c.Spread) return static_cast<double>(rng() % 40);
    switch (rng() % 50) {
      case 0: return std::numeric_limits<double>::infinity();
      case 1: return 1e15 * (1 + rng() % 3);
      case 2: return -static_cast<double>(rng() % 4);
      default: return now + gap(rng);
    }
  };

  for (int step = 0; step < 24000; ++step) {
    Unit* u = units[rng() % units.size()];
    // The last steps drain the list, which a calendar follows by shrinking.
    const int op = step >= 20000 ? 1 : static_cast<int>(rng() % 4);
    if (reference.count(u) == 0 && op != 1) {
      double t = randomTime();
      Schedule(list, u, t);
      reference[u] = t;
    } else if (op == 0) {
      list.Remove(scheduled(u));
      reference.erase(u);
    } else if (op == 1) {
      // The step's way: the earliest leaves, time moves on to it.
      if (reference.empty()) continue;
      Event* earliest = list.Earliest();
      if (std::isfinite(earliest->Time)) now = std::max(now, earliest->Time);
      reference.erase(At(earliest));
      list.Remove(earliest);
    } else {
      double t = randomTime();
      scheduled(u)->Time = t;
      list.ModifyKey(scheduled(u));
      reference[u] = t;
    }
    ASSERT_EQ(list.GetNumEvents(), static_cast<int>(reference.size()));
    if (step % 1000 == 0) {
      ASSERT_EQ(list.IsValid(), 0) << "step " << step;
    }
    if (reference.empty()) {
      ASSERT_EQ(list.Earliest(), nullptr);
      continue;
    }
    auto best = std::min_element(reference.begin(), reference.end(), [](const auto& x, const auto& y) {
      return x.second < y.second || (x.second == y.second && x.first->TheRank > y.first->TheRank);
    });
    Unit* top = At(list.Earliest());
    ASSERT_EQ(reference[top], best->second) << "step " << step;
    ASSERT_EQ(top->TheRank, best->first->TheRank);
  }
  EXPECT_EQ(list.IsValid(), 0);
  for (Unit* u : units) {
    if (reference.count(u)) {
      ASSERT_NE(scheduled(u), nullptr);
      EXPECT_EQ(scheduled(u)->Action, u);
      EXPECT_EQ(scheduled(u)->Time, reference[u]);
      if (u->ScheduleRecord->Lent != nullptr) {
        EXPECT_EQ(scheduled(u), u->ScheduleRecord->Lent);
      }
    } else {
      EXPECT_EQ(scheduled(u), nullptr);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    HeapAndCalendar, EventListRandomTest,
    ::testing::Values(RandomCase{"SmallHeap", 65, EventList::Keeping::kBySize, 64, false, false},
                      RandomCase{"LargeHeap", EventList::kLargeFromEvents + 1, EventList::Keeping::kBySize, 64,
                                 false, false},
                      RandomCase{"SmallCalendar", 65, EventList::Keeping::kCalendar, 64, false, false},
                      RandomCase{"CalendarOfThousands", EventList::kCalendarFromEvents + 1,
                                 EventList::Keeping::kBySize, 3000, false, false},
                      RandomCase{"CalendarOfSpreadTimes", 3001, EventList::Keeping::kCalendar, 3000, true, false},
                      RandomCase{"HeapOfSpreadTimes", 3001, EventList::Keeping::kHeap, 3000, true, false},
                      RandomCase{"LendingHeap", 65, EventList::Keeping::kHeap, 64, false, true},
                      RandomCase{"LendingCalendar", 3001, EventList::Keeping::kCalendar, 3000, true, true}),
    [](const ::testing::TestParamInfo<RandomCase>& info) { return std::string(info.param.Name); });

// Tied events are offered to the draw in the order scheduled, also after the
// calendar has re-listed them over more buckets as the list grew: with n
// equal weights the draw u picks the floor(u * n)-th.
TEST_F(EventListTest, ACalendarOffersTiesInTheOrderScheduledThroughItsGrowth) {
  testmodels::ScriptedUniforms uniforms({});
  const int tied = 50;
  const int others = 3000;
  EventList list(tied + others, EventList::Keeping::kCalendar);
  std::vector<Unit*> ties;
  for (int i = 0; i < tied; ++i) {
    ties.push_back(Add("tie"));
    Schedule(list, ties.back(), 1.0);
  }
  for (int i = 0; i < others; ++i) Schedule(list, Add("later"), 2.0 + i * 0.001);
  for (int k = 0; k < tied; ++k) {
    uniforms.push((k + 0.5) / tied);
    ASSERT_EQ(At(list.Earliest()), ties[k]) << k;
  }
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_F(EventListTest, ANaNTimeNeverMoves) {
  EventList list(4);
  Unit* a = Add("a");
  Unit* nan = Add("nan");
  Schedule(list, a, 3.0);
  Schedule(list, nan, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(list.HeapIndexOf(nan->ScheduleRoom.Scheduled), 1);
  EXPECT_EQ(At(list.Earliest()), a);
}

TEST(EventListDeathTest, InsertingBeyondTheCapacityIsAnError) {
  EventList list(1);
  ScheduleEntry e1, e2;
  BaseActionClass one, two;
  one.ScheduleRecord = &e1;
  two.ScheduleRecord = &e2;
  Event a(1.0, 0.0, &one), b(2.0, 0.0, &two);
  list.Insert(&a);
  EXPECT_DEATH(list.Insert(&b), "Assertion failed: !FreeEvents.empty\\(\\), file EventList");
}
