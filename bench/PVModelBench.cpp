// Per-event cost of the reward model: Accumulate then FireAction, as the
// simulation step calls them. A join of M instances of a one-activity SAN is
// watched by one impulse per variable, so each variable has M impulse workers;
// firing one instance's activity must feed one worker per variable, whatever M.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "Cpp/BaseClasses/Activity.h"
#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "Cpp/Composer/Join.h"
#include "rewards/IntervalOfTimeImpulse.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"

namespace {

class CountActivity : public Activity {
 public:
  CountActivity() { ActivityInitialize("COUNT", 0, INSTANTANEOUS, DEFAULT_POLICY, 1, 0, false); }
  bool Enabled() override { return true; }
  BaseActionClass* Fire() override {
    ++Fired;
    return this;
  }
  void LinkVariables() override {}
  long Fired = 0;
};

class CounterSAN : public SANModel {
 public:
  CounterSAN() {
    BaseStateVariableClass* places[] = {&Count};
    Activity* actions[] = {&CountIt};
    BaseGroupClass* groups[] = {&CountIt};
    initializeSANModelNow("COUNTER", 1, places, 0, nullptr, 1, actions, 1, groups);
    AddAffectArc(&Count, &CountIt);
  }
  Place Count{"COUNT", 0};
  CountActivity CountIt;
};

class Counters : public Join {
 public:
  explicit Counters(int n) : Join("Counters", n, 0, nullptr) {
    for (int i = 0; i < n; ++i) {
      Sans.push_back(std::make_unique<CounterSAN>());
      Children[static_cast<std::size_t>(i)] = Sans.back().get();
    }
    SetupActions();
    Setup();
  }
  std::vector<std::unique_ptr<CounterSAN>> Sans;
};

class OneImpulse : public IntervalOfTimeImpulse {
 public:
  OneImpulse() { AddModelPointerSlot(&Model0); }
  double Impulse_Function(double) override { return 1.0; }
  ImpulseNodeClass** CreateImpulseWorkerList(int n) override {
    for (int i = 0; i < n; ++i) Owned.push_back(std::make_unique<OneImpulse>());
    for (auto& w : Owned) Pointers.push_back(w.get());
    return Pointers.data();
  }
  BaseModelClass* Model0 = nullptr;
  std::vector<std::unique_ptr<OneImpulse>> Owned;
  std::vector<ImpulseNodeClass*> Pointers;
};

class CountVariable : public PerformanceVariableNode {
 public:
  explicit CountVariable(int timeIndex) {
    TopModelSlot = &Top;
    const double start[] = {0.0};
    const double stop[] = {1e300};
    Initialize("count", IntervalOfTime, 1, start, stop, timeIndex, 1, 0, 0);
    AddImpulse("COUNT", "COUNTER", &Impulse);
  }
  void CreateWorkerList() override {}
  BaseModelClass* Top = nullptr;
  OneImpulse Impulse;
};

class CountRewards : public PVModel {
 public:
  CountRewards(int instances, int variables) : Variables(variables) {
    ChildModel = new Counters(instances);
    CreatePVList(variables, true);
    Initialize();
    ConsiderOnly(nullptr, 0);
  }
  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override {
    return pvIndex < Variables ? new CountVariable(timeIndex) : nullptr;
  }
  int Variables;
};

void BM_AccumulateAndFire(benchmark::State& state) {
  const int instances = static_cast<int>(state.range(0));
  const int variables = static_cast<int>(state.range(1));
  CountRewards rewards(instances, variables);
  BaseActionClass* action = rewards.Actions[0];
  double t = 0.0;
  for (auto _ : state) {
    t += 1.0;
    rewards.Accumulate(t);
    benchmark::DoNotOptimize(rewards.FireAction(action, t));
  }
  state.counters["workers_per_variable"] = instances;
}
BENCHMARK(BM_AccumulateAndFire)->Args({1, 6})->Args({64, 6})->Args({1024, 6})->Args({64, 1})->Args({64, 48});

}  // namespace
