// Hand-built timed models and reward variables for the engine's tests and
// benchmarks, built the way generated code builds them.
//
//   TimedActivity: enabled while each input place holds a token and each
//     inhibitor place is empty; firing takes a token from every input and
//     adds one to every output. Its delay is exponential (Rate > 0) or fixed;
//     rank, weight and the reactivation answers are settable.
//   HandSAN: a SAN assembled by a test from places and timed activities.
//   EngineVariable: a reward variable over one window that counts impulses
//     of named actions and/or time-averages a place's marking (or whether it
//     is non-empty) over its window; its workers follow the window as it
//     moves in a steady-state run.
//   EngineRewardModel: a reward model over one HandSAN with given variables.
//   Harness: a configuration-only simulator running an EngineRewardModel
//     through the test seam, with a fresh generator seeded per test.
#ifndef TESTS_SIMULATOR_ENGINE_TEST_MODELS_H
#define TESTS_SIMULATOR_ENGINE_TEST_MODELS_H

#include "Cpp/BaseClasses/Activity.h"
#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "random/LaggedFibonacci.h"
#include "random/UserDistributions.h"
#include "rewards/IntervalOfTimeImpulse.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "rewards/PerformanceVariableWorker.h"
#include "simulator/SimulatorClass.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace enginetest {

class TimedActivity : public Activity {
 public:
  TimedActivity(const char* name, int groupId) {
    ActivityInitialize(name, groupId, EXPONENTIAL, DEFAULT_POLICY, 0, 0, false);
  }

  bool Enabled() override {
    EnabledBefore = EnabledNow;
    EnabledNow = true;
    for (Place* p : Inputs) EnabledNow = EnabledNow && p->getMark() > 0;
    for (Place* p : Inhibitors) EnabledNow = EnabledNow && p->getMark() == 0;
    return EnabledNow;
  }
  BaseActionClass* Fire() override {
    for (Place* p : Inputs) p->setMark(static_cast<short>(p->getMark() - 1));
    for (Place* p : Outputs) p->setMark(static_cast<short>(p->getMark() + 1));
    ++FireCount;
    if (OnFire) OnFire();
    return this;
  }
  double SampleDistribution() override {
    ++Samples;
    return Rate_ > 0.0 ? TheDistribution->Exponential(Rate_) : FixedDelay;
  }
  double Rate() override { return Rate_; }
  double Weight() override { return TheWeight; }
  int Rank() override { return TheRank; }
  bool ReactivationPredicate() override { return Watched; }
  bool ReactivationFunction() override { return ReactivateWhen ? ReactivateWhen() : false; }
  void LinkVariables() override {}
  bool TimingIsInstantaneous() override { return Instant; }
  bool EnablingIsPure() override { return Pure; }
  const short* RequiredMarking() override { return Required != nullptr ? Required->Mark : nullptr; }
  int FiringVariants() override { return Ways.empty() ? 1 : static_cast<int>(Ways.size()); }
  bool VariantMayWrite(int variant, const BaseStateVariableClass* v) override {
    if (Ways.empty()) return true;
    const std::vector<Place*>& way = Ways[static_cast<std::size_t>(variant)];
    return std::find(way.begin(), way.end(), v) != way.end();
  }

  TimedActivity* Exponential(double rate) {
    Rate_ = rate;
    return this;
  }
  TimedActivity* Fixed(double delay) {
    Rate_ = 0.0;
    FixedDelay = delay;
    return this;
  }

  std::vector<Place*> Inputs, Outputs, Inhibitors;
  double Rate_ = 1.0;
  double FixedDelay = 0.0;
  double TheWeight = 1.0;
  int TheRank = 1;
  bool Watched = false;
  std::function<bool()> ReactivateWhen;
  std::function<void()> OnFire;
  // What the activity declares: an instantaneous timing (the delay is the
  // test's to keep at 0), a pure enabling test, and its firing variants, by
  // the places each may write (none: one variant writing everything).
  bool Instant = false;
  bool Pure = false;
  Place* Required = nullptr;  // declared as RequiredMarking; the test keeps it an input
  std::vector<std::vector<Place*>> Ways;
  int FireCount = 0;
  int Samples = 0;
};

class HandSAN : public SANModel {
 public:
  explicit HandSAN(const char* name) : ModelName(name) {}
  ~HandSAN() override = default;

  Place* AddPlace(const char* name, short marking) {
    PlaceStore.push_back(std::make_unique<Place>(name, marking));
    return PlaceStore.back().get();
  }
  // A is TimedActivity or a test's class derived from it.
  template <class A = TimedActivity>
  A* AddActivity(const char* name, std::vector<Place*> inputs, std::vector<Place*> outputs,
                 std::vector<Place*> inhibitors = {}) {
    auto owned = std::make_unique<A>(name, static_cast<int>(ActivityStore.size()));
    A* a = owned.get();
    ActivityStore.push_back(std::move(owned));
    a->Inputs = std::move(inputs);
    a->Outputs = std::move(outputs);
    a->Inhibitors = std::move(inhibitors);
    return a;
  }
  // Hands the places and activities to the SAN and records the arcs.
  void Finish() {
    std::vector<BaseStateVariableClass*> places;
    for (auto& p : PlaceStore) places.push_back(p.get());
    std::vector<Activity*> actions;
    std::vector<BaseGroupClass*> groups;
    for (auto& a : ActivityStore) {
      actions.push_back(a.get());
      groups.push_back(a.get());
    }
    initializeSANModelNow(ModelName.c_str(), static_cast<int>(places.size()), places.data(), 0, nullptr,
                          static_cast<int>(actions.size()), actions.data(), static_cast<int>(groups.size()),
                          groups.data());
    for (auto& a : ActivityStore) {
      for (Place* p : a->Inputs) AddAffectArc(p, a.get());
      for (Place* p : a->Outputs) AddAffectArc(p, a.get());
      for (Place* p : a->Inputs) AddEnableArc(p, a.get());
      for (Place* p : a->Inhibitors) AddEnableArc(p, a.get());
    }
  }
  Place* PlaceNamed(const std::string& name) {
    for (auto& p : PlaceStore)
      if (name == p->getName()) return p.get();
    return nullptr;
  }

  std::string ModelName;
  std::vector<std::unique_ptr<Place>> PlaceStore;
  std::vector<std::unique_ptr<TimedActivity>> ActivityStore;
};

// An impulse of a constant per firing.
class CountImpulse : public IntervalOfTimeImpulse {
 public:
  explicit CountImpulse(double value) : IntervalOfTimeImpulse(false), TheValue(value) {
    AddModelPointerSlot(&Bound);
  }
  double Impulse_Function(double) override { return TheValue; }
  ImpulseNodeClass** CreateImpulseWorkerList(int n) override {
    WorkerList.clear();
    WorkerPointers.clear();
    for (int i = 0; i < n; ++i) {
      WorkerList.push_back(std::make_unique<CountImpulse>(TheValue));
      WorkerPointers.push_back(WorkerList.back().get());
    }
    return WorkerPointers.data();
  }

  double TheValue;
  BaseModelClass* Bound = nullptr;
  std::vector<std::unique_ptr<CountImpulse>> WorkerList;
  std::vector<ImpulseNodeClass*> WorkerPointers;
};

struct VariableSpec {
  std::string Name = "v";
  double Start = 0.0;
  double Stop = 1.0;
  int SteadyState = 0;
  std::vector<std::string> CountedActions;  // impulses of 1 per firing
  std::string RatePlace;                    // time-averaged marking, if set
  bool Busy = false;                        // ... of (marking > 0) instead
};

class EngineVariable;

// The rate worker: Value is the rate (the marking, or whether it is
// non-empty) and Factor the share of (lastT, t] inside the node's current
// window, divided by its length, so the node's Value is a time average.
class PlaceWorker : public PerformanceVariableWorker {
 public:
  PlaceWorker(const EngineVariable* node, const std::string& place, bool busy)
      : Node(node), PlaceName(place), Busy(busy) {
    AddModelPointerSlot(&Bound);
  }
  double Reward_Function() override {
    if (ThePlace == nullptr) ThePlace = static_cast<HandSAN*>(Bound)->PlaceNamed(PlaceName);
    const double mark = ThePlace->getMark();
    return Busy ? (mark > 0 ? 1.0 : 0.0) : mark;
  }
  void AccumulateRate(double t, double lastT) override;

  const EngineVariable* Node;
  std::string PlaceName;
  bool Busy;
  BaseModelClass* Bound = nullptr;
  Place* ThePlace = nullptr;
};

class EngineVariable : public PerformanceVariableNode {
 public:
  EngineVariable(const VariableSpec& declared, const std::string& model) : Declared(declared) {
    TopModelSlot = &TopModel;
    for (size_t k = 0; k < declared.CountedActions.size(); ++k) Prototypes.push_back(std::make_unique<CountImpulse>(1.0));
    const bool hasRate = !declared.RatePlace.empty();
    Initialize(declared.Name.c_str(), IntervalOfTime, 1, &declared.Start, &declared.Stop, 0,
               static_cast<int>(declared.CountedActions.size()), hasRate ? 1 : 0, hasRate ? 1 : 0);
    if (hasRate) AddVariableDependency(declared.RatePlace.c_str(), model.c_str());
    for (size_t k = 0; k < declared.CountedActions.size(); ++k)
      AddImpulse(declared.CountedActions[k].c_str(), model.c_str(), Prototypes[k].get());
    IsSteadyState = declared.SteadyState;
  }
  void CreateWorkerList() override {
    for (int i = 0; i < NumWorkers; ++i)
      Workers[static_cast<size_t>(i)] = std::make_unique<PlaceWorker>(this, Declared.RatePlace, Declared.Busy);
  }

  VariableSpec Declared;
  BaseModelClass* TopModel = nullptr;
  std::vector<std::unique_ptr<CountImpulse>> Prototypes;
};

inline void PlaceWorker::AccumulateRate(double t, double lastT) {
  Value = Reward_Function();
  const double inside = std::min(t, Node->StopTime) - std::max(lastT, Node->StartTime);
  Factor = std::max(0.0, inside) / Node->IntervalLength;
}

class EngineRewardModel : public PVModel {
 public:
  EngineRewardModel(HandSAN* san, std::vector<VariableSpec> specs) : Specs(std::move(specs)) {
    ChildModel = san;
    DefineName("EngineRewardModel");
    StoreLastAction = 0;
    CreatePVList(static_cast<int>(Specs.size()), false);
    Initialize();
  }
  PerformanceVariableNode* createPVNode(int pvIndex, int) override {
    if (pvIndex < 0 || pvIndex >= static_cast<int>(Specs.size())) return nullptr;
    return new EngineVariable(Specs[static_cast<size_t>(pvIndex)], static_cast<HandSAN*>(ChildModel)->ModelName);
  }

  std::vector<VariableSpec> Specs;
};

// Installs a fresh lagged Fibonacci generator seeded with seed; afterwards
// the process-wide generator is again a fresh one seeded with 31415.
class SeededGenerator {
 public:
  explicit SeededGenerator(unsigned long seed) { Install(seed); }
  ~SeededGenerator() { Install(31415); }
  SeededGenerator(const SeededGenerator&) = delete;
  SeededGenerator& operator=(const SeededGenerator&) = delete;

 private:
  static void Install(unsigned long seed) {
    RandomNumberGenerator* g = new LaggedFibonacci();
    g->srnd(seed);
    TheDistribution->setGenerator(g);
  }
};

// Sets SIMTEST for its lifetime (unset when value is null).
class ScopedSimtest {
 public:
  explicit ScopedSimtest(const char* value) {
    const char* old = std::getenv("SIMTEST");
    HadOld = old != nullptr;
    if (HadOld) Old = old;
    if (value) {
      setenv("SIMTEST", value, 1);
    } else {
      unsetenv("SIMTEST");
    }
  }
  ~ScopedSimtest() {
    if (HadOld) {
      setenv("SIMTEST", Old.c_str(), 1);
    } else {
      unsetenv("SIMTEST");
    }
  }

 private:
  bool HadOld = false;
  std::string Old;
};

// A simulator for a hand-built model: configuration first (the fields of
// the command line), then Install, then Run or single steps.
class Harness {
 public:
  // The time of the last firing is process-wide: a fresh process starts at
  // 0, and so does every harness.
  Harness() : Sim(Echo, Errors) { BaseModelClass::LastActionTime = 0.0; }
  void Install(PVModel* model) { Sim.InstallRewardModel(model); }
  // Prepares a replication by hand, as the terminating loop does, so that
  // tests can drive SimStep one event at a time.
  void StartReplication() {
    Sim.ScratchEvent.reset(new Event());
    Sim.PlaceholderAction.reset(new BaseActionClass());
    Sim.Now = 0;
    Sim.Events->ClearEventList();
    Sim.ClearReactivationList();
    Sim.GenerateInitialEnabledList();
    Sim.GenerateCompleteEventList();
    Sim.LastFired = Sim.PlaceholderAction.get();
    Sim.NextEvent = Sim.Events->Earliest();
    if (Sim.NextEvent != nullptr) {
      Sim.Now = Sim.NextEvent->Time;
      Sim.CurrentGroup = Sim.NextEvent->Action;
    }
  }
  // The group's scheduled event, or none.
  static Event* EventOf(BaseActionClass* g) {
    return g->ScheduleRecord->Scheduled;
  }

  std::ostringstream Echo;
  std::ostringstream Errors;
  SimulatorClass Sim;
};

}  // namespace enginetest

#endif
