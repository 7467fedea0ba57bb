#include "Cpp/BaseClasses/BaseActionClass.h"
#include "random/MersenneTwister.h"
#include "simulator/EngineTestModels.h"
#include "simulator/SimulatorClass.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using enginetest::EngineRewardModel;
using enginetest::HandSAN;
using enginetest::Harness;
using enginetest::ScopedSimtest;
using enginetest::SeededGenerator;
using enginetest::TimedActivity;

namespace {

// One variable counting the firings of the first activity over [0, 1000].
std::vector<enginetest::VariableSpec> CountFirst(HandSAN* san) {
  enginetest::VariableSpec declared;
  declared.Name = "count";
  declared.Stop = 1000.0;
  declared.CountedActions = {san->ActivityStore.front()->getName()};
  return {declared};
}

}  // namespace

TEST(SimulatorStepTest, AGroupThatStaysEnabledIsRescheduledWithAFreshSample) {
  SeededGenerator seed(11);
  auto* san = new HandSAN("STEP");
  Place* p = san->AddPlace("P", 3);
  TimedActivity* tick = san->AddActivity("TICK", {p}, {})->Exponential(2.0);
  san->Finish();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  h.Install(&model);
  h.StartReplication();
  ASSERT_EQ(tick->Samples, 1);
  const double first = h.Sim.Now;

  ASSERT_TRUE(h.Sim.SimStep());
  EXPECT_EQ(tick->FireCount, 1);
  EXPECT_EQ(tick->Samples, 2);
  Event* next = Harness::EventOf(tick);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->StartTime, first);  // sampled at the firing time
  EXPECT_GT(next->Time, first);
  EXPECT_EQ(h.Sim.Now, next->Time);  // Now moved on to the next event

  ASSERT_TRUE(h.Sim.SimStep());
  EXPECT_FALSE(h.Sim.SimStep());  // the third firing empties P
  EXPECT_EQ(h.Sim.NextEvent, nullptr);
  EXPECT_EQ(h.Sim.ActionsFired, 3);
  EXPECT_EQ(h.Sim.Events->IsValid(), 0);
}

TEST(SimulatorStepTest, AGroupDisabledByAnotherFiringLosesItsEvent) {
  SeededGenerator seed(12);
  auto* san = new HandSAN("STEP");
  Place* shared = san->AddPlace("SHARED", 1);
  TimedActivity* fast = san->AddActivity("FAST", {shared}, {})->Fixed(1.0);
  TimedActivity* slow = san->AddActivity("SLOW", {shared}, {})->Fixed(5.0);
  san->Finish();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  h.Install(&model);
  h.StartReplication();
  ASSERT_NE(Harness::EventOf(slow), nullptr);

  EXPECT_FALSE(h.Sim.SimStep());  // FAST takes the token; nothing is left
  EXPECT_EQ(fast->FireCount, 1);
  EXPECT_EQ(Harness::EventOf(slow), nullptr);
  EXPECT_EQ(slow->FireCount, 0);
  EXPECT_EQ(h.Sim.Events->GetNumEvents(), 0);
}

TEST(SimulatorStepTest, AReactivatedGroupIsResampledInPlaceAndStaysWatched) {
  SeededGenerator seed(13);
  auto* san = new HandSAN("STEP");
  Place* trigger = san->AddPlace("T", 1);
  Place* gate = san->AddPlace("GATE", 0);
  Place* p = san->AddPlace("P", 1);
  TimedActivity* fire = san->AddActivity("TRIGGER", {trigger}, {gate})->Fixed(1.0);
  TimedActivity* watcher = san->AddActivity("WATCHER", {p}, {})->Fixed(10.0);
  watcher->Watched = true;
  watcher->ReactivateWhen = [gate] { return gate->getMark() > 0; };
  san->Finish();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  h.Install(&model);
  h.StartReplication();

  Event* before = Harness::EventOf(watcher);
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(before->Time, 10.0);
  EXPECT_TRUE(watcher->Reactivation);
  EXPECT_FALSE(watcher->ScheduleRecord->Unlisted);
  EXPECT_EQ(h.Sim.ReactivationList.GetSize(), 1);

  watcher->FixedDelay = 7.0;
  ASSERT_TRUE(h.Sim.SimStep());  // TRIGGER at 1 opens the gate
  EXPECT_EQ(fire->FireCount, 1);
  Event* after = Harness::EventOf(watcher);
  EXPECT_EQ(after, before);  // the same event, re-keyed in the heap
  EXPECT_EQ(after->StartTime, 1.0);
  EXPECT_EQ(after->Time, 8.0);
  EXPECT_EQ(watcher->Samples, 2);
  EXPECT_TRUE(watcher->Reactivation);
  EXPECT_FALSE(watcher->ScheduleRecord->Unlisted);
  EXPECT_EQ(h.Sim.ReactivationList.GetSize(), 1);

  // Fired, the watcher is no longer scheduled: the next pass unlists it.
  EXPECT_FALSE(h.Sim.SimStep());
  EXPECT_EQ(watcher->FireCount, 1);
  EXPECT_TRUE(watcher->ScheduleRecord->Unlisted);
  EXPECT_FALSE(watcher->Reactivation);
  EXPECT_TRUE(h.Sim.ReactivationList.IsEmpty());
}

TEST(SimulatorStepTest, AWatchedGroupThatLosesItsEnablingLeavesListAndHeap) {
  SeededGenerator seed(14);
  auto* san = new HandSAN("STEP");
  Place* p = san->AddPlace("P", 1);
  Place* q = san->AddPlace("Q", 1);
  san->AddActivity("TAKE", {q}, {})->Fixed(1.0);
  TimedActivity* watcher = san->AddActivity("WATCHER", {p}, {})->Fixed(10.0);
  watcher->Watched = true;
  san->Finish();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  h.Install(&model);
  h.StartReplication();
  // WATCHER is not in TAKE's affects list: only the reactivation pass can
  // notice that it lost its enabling.
  p->setMark(0);
  EXPECT_FALSE(h.Sim.SimStep());
  EXPECT_EQ(Harness::EventOf(watcher), nullptr);
  EXPECT_TRUE(h.Sim.ReactivationList.IsEmpty());
  EXPECT_FALSE(watcher->Reactivation);
}

// ---------------------------------------------------------------------------
// The affects relation and SIMTEST
// ---------------------------------------------------------------------------

namespace {

// A small net with shared places, a self-loop and an activity that affects
// nothing anybody reads: A -> B, B -> C, {B, C} -> A, D alone.
HandSAN* ConnectedNet() {
  auto* san = new HandSAN("NET");
  Place* a = san->AddPlace("A", 2);
  Place* b = san->AddPlace("B", 0);
  Place* c = san->AddPlace("C", 0);
  Place* d = san->AddPlace("D", 1);
  Place* sink = san->AddPlace("SINK", 0);
  san->AddActivity("AB", {a}, {b})->Fixed(1.0);
  san->AddActivity("BC", {b}, {c})->Fixed(2.0);
  san->AddActivity("BCA", {b, c}, {a})->Fixed(3.0);
  san->AddActivity("DD", {d}, {d, sink})->Fixed(4.0);
  san->Finish();
  return san;
}

using AffectsMap = std::map<std::string, std::vector<std::string>>;

AffectsMap AffectsOf(SimulatorClass& sim) {
  AffectsMap m;
  for (int i = 0; i < sim.RewardModel->NumActions; ++i) {
    BaseActionClass* a = sim.RewardModel->Actions[i];
    std::vector<std::string>& list = m[a->getName()];
    for (ActionListNode* n = a->AffectedActions; n != nullptr; n = n->Next) list.push_back(n->Action->getName());
  }
  return m;
}

struct BuiltRelation {
  AffectsMap Affects;
  std::string Printed;
};

BuiltRelation BuildWith(const char* simtest) {
  ScopedSimtest env(simtest);
  HandSAN* san = ConnectedNet();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  testing::internal::CaptureStdout();
  h.Install(&model);
  BuiltRelation built{AffectsOf(h.Sim), testing::internal::GetCapturedStdout()};
  return built;
}

std::set<std::string> AsSet(const std::vector<std::string>& v) { return {v.begin(), v.end()}; }

}  // namespace

TEST(SimulatorAffectsTest, TheThreeBuildersGiveTheSameAffectsSets) {
  BuiltRelation stamp = BuildWith(nullptr);
  BuiltRelation two = BuildWith("2");
  BuiltRelation search = BuildWith("0");
  BuiltRelation matrix = BuildWith("1");
  EXPECT_NE(stamp.Printed.find("GenerateConnectivityList()\n"), std::string::npos);
  EXPECT_NE(two.Printed.find("GenerateConnectivityList()\n"), std::string::npos);
  EXPECT_NE(search.Printed.find("GenerateConnectivityListOld()\n"), std::string::npos);
  EXPECT_NE(matrix.Printed.find("GenerateConnectivityListOld()\n"), std::string::npos);

  const std::map<std::string, std::set<std::string>> expected = {
      {"AB", {"AB", "BC", "BCA"}},  // its own group and the readers of B
      {"BC", {"BC", "BCA"}},
      {"BCA", {"AB", "BC", "BCA"}},
      {"DD", {"DD"}},
  };
  for (const BuiltRelation* built : {&stamp, &two, &search, &matrix}) {
    ASSERT_EQ(built->Affects.size(), expected.size());
    for (const auto& entry : expected) {
      const std::vector<std::string>& list = built->Affects.at(entry.first);
      EXPECT_EQ(AsSet(list), entry.second) << entry.first;
      EXPECT_EQ(list.size(), entry.second.size()) << entry.first << " holds a group twice";
    }
  }
  // The search builder keeps discovery order: an action's own group first.
  EXPECT_EQ(search.Affects.at("AB").front(), "AB");
}

TEST(SimulatorAffectsTest, AnyOtherSimtestValueBuildsNoAffectsLists) {
  BuiltRelation none = BuildWith("5");
  EXPECT_EQ(none.Printed.find("GenerateConnectivityList"), 0u);  // only the timing line
  for (const auto& entry : none.Affects) EXPECT_TRUE(entry.second.empty()) << entry.first;
}

TEST(SimulatorAffectsTest, WithoutAffectsListsNothingIsRescheduledAfterTheFirstFiring) {
  SeededGenerator seed(15);
  ScopedSimtest env("5");
  HandSAN* san = ConnectedNet();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  testing::internal::CaptureStdout();
  h.Install(&model);
  testing::internal::GetCapturedStdout();
  h.StartReplication();
  // AB and DD are enabled at the start; each fires once and the replication
  // ends although both stay enabled.
  EXPECT_TRUE(h.Sim.SimStep());
  EXPECT_FALSE(h.Sim.SimStep());
  EXPECT_EQ(h.Sim.ActionsFired, 2);
  for (auto& a : san->ActivityStore) EXPECT_LE(a->FireCount, 1) << a->getName();
}

// X fires one of two ways, writing P or Q. A group that reads neither
// written place is left out of that way's list only when it is pure and
// instantaneous; the own group always stays, and the order is the list's.
TEST(SimulatorAffectsTest, EachFiringVariantReexaminesTheGroupsItsWritesCanChange) {
  HandSAN* san = new HandSAN("Ways");
  Place* in = san->AddPlace("IN", 1);
  Place* p = san->AddPlace("P", 0);
  Place* q = san->AddPlace("Q", 0);
  TimedActivity* x = san->AddActivity("X", {in}, {p, q});
  x->Ways = {{p}, {q}};
  struct Reader {
    const char* name;
    Place* reads;
    bool pure, instant;
  };
  const Reader readers[] = {
      {"PURE_P", p, true, true},    // left out of way 1
      {"PURE_Q", q, true, true},    // left out of way 0
      {"TIMED_Q", q, true, false},  // timed: reactivation may read anything
      {"IMPURE_Q", q, false, true}, // may draw or read more than its places
  };
  for (const Reader& r : readers) {
    TimedActivity* a = san->AddActivity(r.name, {r.reads}, {});
    a->Pure = r.pure;
    a->Instant = r.instant;
  }
  san->Finish();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  testing::internal::CaptureStdout();
  h.Install(&model);
  testing::internal::GetCapturedStdout();

  auto names = [](const std::vector<BaseActionClass*>& groups) {
    std::vector<std::string> out;
    for (const BaseActionClass* g : groups) out.push_back(g->getName());
    return out;
  };
  auto without = [&](const char* gone) {
    std::vector<std::string> out = names(x->AffectedGroups);
    out.erase(std::find(out.begin(), out.end(), gone));
    return out;
  };
  ASSERT_EQ(x->VariantGroups.size(), 2u);
  EXPECT_EQ(AsSet(names(x->AffectedGroups)), (std::set<std::string>{"X", "PURE_P", "PURE_Q", "TIMED_Q", "IMPURE_Q"}));
  EXPECT_EQ(names(x->VariantGroups[0]), without("PURE_Q"));
  EXPECT_EQ(names(x->VariantGroups[1]), without("PURE_P"));
  x->FiredVariant = 1;
  EXPECT_EQ(x->GroupsToExamine().begin(), x->VariantGroups[1].data());
  EXPECT_EQ(x->GroupsToExamine().Count, static_cast<int>(x->VariantGroups[1].size()));
  // An action of one way walks its whole list.
  BaseActionClass* reader = san->ActivityStore[1].get();
  EXPECT_TRUE(reader->VariantGroups.empty());
  const GroupSpan whole = reader->GroupsToExamine();
  EXPECT_EQ(std::vector<BaseActionClass*>(whole.begin(), whole.end()), reader->AffectedGroups);
}

// X's firings fill Q and leave P empty. A pure group is not asked while the
// marking it requires is not positive; a group whose enabling is not pure
// is asked whatever it declares.
struct CountingActivity : TimedActivity {
  using TimedActivity::TimedActivity;
  bool Enabled() override {
    ++Asked;
    return TimedActivity::Enabled();
  }
  bool EnablingIsRequiredMarking() override { return Decides; }
  int Asked = 0;
  bool Decides = false;
};

TEST(SimulatorStepTest, AGroupIsNotAskedWhileItsRequiredMarkingIsNotPositive) {
  SeededGenerator seed(5);
  HandSAN* san = new HandSAN("Required");
  Place* in = san->AddPlace("IN", 2);
  Place* p = san->AddPlace("P", 0);
  Place* q = san->AddPlace("Q", 0);
  san->AddActivity("X", {in}, {q});
  struct Reader {
    const char* name;
    bool pure;
    Place* required;
    int askedPerFiring;
  };
  const Reader readers[] = {
      {"REQUIRES_EMPTY_P", true, p, 0},
      {"REQUIRES_FILLED_Q", true, q, 1},
      {"IMPURE_REQUIRES_P", false, p, 1},
      {"REQUIRES_NOTHING", true, nullptr, 1},
  };
  std::vector<CountingActivity*> activities;
  for (const Reader& r : readers) {
    CountingActivity* a = san->AddActivity<CountingActivity>(r.name, {p, q}, {});
    a->Pure = r.pure;
    a->Required = r.required;
    activities.push_back(a);
  }
  san->Finish();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  h.Install(&model);
  h.StartReplication();
  std::vector<int> before;
  for (const CountingActivity* a : activities) before.push_back(a->Asked);
  ASSERT_TRUE(h.Sim.SimStep());
  EXPECT_FALSE(h.Sim.SimStep());  // IN is empty, and no reader is enabled
  for (std::size_t i = 0; i < activities.size(); ++i)
    EXPECT_EQ(activities[i]->Asked - before[i], 2 * readers[i].askedPerFiring) << readers[i].name;
}

// Two timed activities race for Q's token, so that each firing voids the
// other's event; a third puts the token back. Groups whose enabling their
// required marking decides are neither asked after a firing nor asked for
// a change, and the run fires the same activities at the same times.
TEST(SimulatorStepTest, AGroupItsRequiredMarkingDecidesRunsAsWhenAsked) {
  std::vector<std::string> runs[2];
  int asked[2] = {0, 0};
  for (int decides = 0; decides < 2; ++decides) {
    // The lagged Fibonacci generator's read position is process-wide: a
    // generator with its own state starts both runs alike.
    SeededGenerator restore(31415);
    RandomNumberGenerator* generator = new MersenneTwister();
    generator->srnd(11);
    TheDistribution->setGenerator(generator);
    HandSAN* san = new HandSAN("Decided");
    Place* a = san->AddPlace("A", 1);
    Place* q = san->AddPlace("Q", 0);
    san->AddActivity("PUT", {a}, {q})->Exponential(3.0);
    std::vector<CountingActivity*> racers;
    for (const char* name : {"TAKE_1", "TAKE_2"}) {
      CountingActivity* r = san->AddActivity<CountingActivity>(name, {q}, {a});
      r->Pure = true;
      r->Required = q;
      r->Decides = decides == 1;
      racers.push_back(r);
    }
    racers[1]->Exponential(2.0);
    san->Finish();
    EngineRewardModel model(san, CountFirst(san));
    Harness h;
    h.Install(&model);
    h.StartReplication();
    for (int step = 0; step < 200 && h.Sim.SimStep(); ++step) {
      std::ostringstream fired;
      fired << h.Sim.LastFired->getName() << "@" << h.Sim.Now;
      runs[decides].push_back(fired.str());
    }
    for (const CountingActivity* r : racers) asked[decides] += r->Asked;
  }
  EXPECT_EQ(runs[1], runs[0]);
  EXPECT_EQ(runs[0].size(), 200u);
  EXPECT_LT(asked[1], asked[0] / 4);
}

TEST(SimulatorAffectsTest, PrintConnectivityListNamesEachActionAndItsGroups) {
  ScopedSimtest env("0");
  HandSAN* san = ConnectedNet();
  EngineRewardModel model(san, CountFirst(san));
  Harness h;
  testing::internal::CaptureStdout();
  h.Install(&model);
  testing::internal::GetCapturedStdout();
  std::ostringstream out;
  h.Sim.PrintConnectivityList(&out);
  EXPECT_NE(out.str().find("Action: DD\nChecking my Affects\n    DD\n"), std::string::npos) << out.str();
}

// ---------------------------------------------------------------------------
// Invalid distribution parameters
// ---------------------------------------------------------------------------

TEST(SimulatorStepDeathTest, InvalidDistributionParametersEndTheRun) {
  BaseActionClass action;
  action.defineName("SERVE");
  std::ostringstream out, err;
  SimulatorClass sim(out, err);
  EXPECT_EXIT(sim.HandleInvalidDistParams(&action, "rate INVALID_DIST_PARAMS: must be positive"),
              testing::ExitedWithCode(1), "FATAL ERROR: In action SERVE,rate  must be positive\n");
  EXPECT_DEATH(sim.HandleInvalidDistParams(&action, "no marker"), "Assertion failed: hasMarker");
}
