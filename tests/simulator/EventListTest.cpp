#include "simulator/EventList.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/TestModels.h"
#include "simulator/ScheduleEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    ScheduleRecord = &Entry;
  }
  int Rank() override { return TheRank; }
  double Weight() override { return TheWeight; }

  int TheRank;
  double TheWeight;
  ScheduleEntry Entry;
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

}  // namespace

TEST_F(EventListTest, EmptyListHasNoEarliestEvent) {
  EventList list(4);
  EXPECT_EQ(list.Earliest(), nullptr);
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_F(EventListTest, HigherRankWinsATimeTieWithoutADraw) {
  testmodels::ScriptedUniforms uniforms({});
  EventList list(4);
  Schedule(list, Add("low", 1), 2.0);
  Schedule(list, Add("high", 5), 2.0);
  Schedule(list, Add("later", 9), 3.0);
  EXPECT_STREQ(At(list.Earliest())->getName(), "high");
  EXPECT_EQ(uniforms.draws(), 0);
}

TEST_F(EventListTest, EqualTimeAndRankChoiceFollowsTheWeightsWithOneDrawPerCall) {
  // With weights 1, 1, 2 the draw u selects the first for u < 1/4, the
  // second for u < 1/2 and the third otherwise: check the boundaries, then
  // the frequency over a fine grid of u.
  testmodels::ScriptedUniforms uniforms({});
  EventList list(4);
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

TEST_F(EventListTest, TiesWithZeroWeightStillYieldAScheduledEvent) {
  testmodels::ScriptedUniforms uniforms({0.99});
  EventList list(4);
  Schedule(list, Add("a", 0, 0.0), 1.0);
  Schedule(list, Add("b", 0, 0.0), 1.0);
  Event* next = list.Earliest();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next, list.EventAt(0));
}

TEST_F(EventListTest, RemoveKeepsTheRestAndClearsTheBackPointer) {
  EventList list(4);
  Unit* first = Add("first");
  Unit* second = Add("second");
  Unit* third = Add("third");
  Schedule(list, first, 1.0);
  Schedule(list, second, 2.0);
  Schedule(list, third, 3.0);

  Event* last = third->Entry.Scheduled;
  ASSERT_EQ(last, list.EventAt(2));
  list.Remove(last);
  EXPECT_EQ(list.EventAt(2), nullptr);
  EXPECT_EQ(third->Entry.Scheduled, nullptr);
  EXPECT_EQ(first->Entry.Scheduled, list.EventAt(0));
  EXPECT_EQ(second->Entry.Scheduled, list.EventAt(1));

  list.Remove(first->Entry.Scheduled);  // the root: the last event fills it
  EXPECT_EQ(At(list.Earliest()), second);
  EXPECT_EQ(list.HeapIndexOf(second->Entry.Scheduled), 0);
  list.Remove(second->Entry.Scheduled);
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
  Event* top = units[0]->Entry.Scheduled;
  top->Time = 100.0;  // later: sinks
  list.ModifyKey(top);
  EXPECT_EQ(At(list.Earliest()), units[1]);
  EXPECT_NE(list.HeapIndexOf(top), 0);

  Event* deep = units[5]->Entry.Scheduled;
  deep->Time = 1.0;  // earlier: rises to the top
  list.ModifyKey(deep);
  EXPECT_EQ(list.HeapIndexOf(deep), 0);
  EXPECT_EQ(At(list.Earliest()), units[5]);
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_F(EventListTest, ClearReturnsEveryEventAndUnlistsTheGroups) {
  EventList list(3);
  Unit* a = Add("a");
  Unit* b = Add("b");
  Schedule(list, a, 1.0);
  Schedule(list, b, 2.0);
  a->Entry.Unlisted = false;
  list.ClearEventList();
  EXPECT_EQ(list.GetNumEvents(), 0);
  EXPECT_EQ(a->Entry.Scheduled, nullptr);
  EXPECT_TRUE(a->Entry.Unlisted);
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
  a->Entry.Scheduled->Time = 5.0;  // changed without ModifyKey
  EXPECT_EQ(list.IsValid(), 100000);
  a->Entry.Scheduled->Time = 1.0;
  Event* event = b->Entry.Scheduled;
  b->Entry.Scheduled = nullptr;
  EXPECT_EQ(list.IsValid(), 100001);
  b->Entry.Scheduled = event;
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_F(EventListTest, PrintListShowsEachEvent) {
  EventList list(2);
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

// A long random sequence of inserts, removals and key changes against a
// simple reference: after every operation the earliest event must have the
// reference's smallest (time, -rank), and at the end every back-pointer and
// the heap order must hold. Run on a small list and on a large one, which
// prefetches as it removes.
class EventListRandomTest : public EventListTest, public ::testing::WithParamInterface<int> {};

TEST_P(EventListRandomTest, StaysConsistentUnderRandomOperations) {
  testmodels::ScriptedUniforms uniforms({});
  const int n = 64;
  EventList list(GetParam());
  std::vector<Unit*> units;
  for (int i = 0; i < n; ++i) units.push_back(Add("u", i % 3));
  std::map<Unit*, double> reference;  // scheduled unit -> time
  std::mt19937 rng(12345);
  // Coarse times make ties on time common, ties on time and rank too.
  auto randomTime = [&] { return static_cast<double>(rng() % 40); };

  for (int step = 0; step < 20000; ++step) {
    Unit* u = units[rng() % n];
    const bool scheduled = reference.count(u) != 0;
    const int op = static_cast<int>(rng() % 3);
    if (!scheduled) {
      double t = randomTime();
      Schedule(list, u, t);
      reference[u] = t;
    } else if (op == 0) {
      list.Remove(u->Entry.Scheduled);
      reference.erase(u);
    } else {
      double t = randomTime();
      u->Entry.Scheduled->Time = t;
      list.ModifyKey(u->Entry.Scheduled);
      reference[u] = t;
    }
    ASSERT_EQ(list.GetNumEvents(), static_cast<int>(reference.size()));
    if (reference.empty()) {
      ASSERT_EQ(list.Earliest(), nullptr);
      continue;
    }
    auto best = std::min_element(reference.begin(), reference.end(), [](const auto& x, const auto& y) {
      return x.second < y.second || (x.second == y.second && x.first->TheRank > y.first->TheRank);
    });
    Unit* top = At(list.Earliest());
    ASSERT_EQ(reference[top], best->second);
    ASSERT_EQ(top->TheRank, best->first->TheRank);
  }
  EXPECT_EQ(list.IsValid(), 0);
  for (Unit* u : units) {
    if (reference.count(u)) {
      ASSERT_NE(u->Entry.Scheduled, nullptr);
      EXPECT_EQ(u->Entry.Scheduled->Action, u);
      EXPECT_EQ(u->Entry.Scheduled->Time, reference[u]);
    } else {
      EXPECT_EQ(u->Entry.Scheduled, nullptr);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SmallAndLarge, EventListRandomTest, ::testing::Values(65, EventList::kLargeFromEvents + 1));

TEST_F(EventListTest, ANaNTimeNeverMoves) {
  EventList list(4);
  Unit* a = Add("a");
  Unit* nan = Add("nan");
  Schedule(list, a, 3.0);
  Schedule(list, nan, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(list.HeapIndexOf(nan->Entry.Scheduled), 1);
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
