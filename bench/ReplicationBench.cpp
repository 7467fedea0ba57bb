// Whole replications of hand-built timed models through the simulation
// loops. The clock models have K independent activities, each firing at
// exponential intervals; the per-step work is bounded by the fired action's
// affects list, so firings per second should hardly change from K = 10 to
// K = 1000 (only the event list's logarithmic depth grows). The M/M/1 queue
// runs in steady state with two batch-mean variables.
//
// Only the loop is timed; building the model and the simulator is not.
// Counter: firings per second.
#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/simulator/EngineTestModels.h"

namespace {

using enginetest::EngineRewardModel;
using enginetest::HandSAN;
using enginetest::Harness;
using enginetest::VariableSpec;

class QuietStdout {
 public:
  QuietStdout() : Saved(std::cout.rdbuf(Sink.rdbuf())) {}
  ~QuietStdout() { std::cout.rdbuf(Saved); }

 private:
  std::ostringstream Sink;
  std::streambuf* Saved;
};

std::unique_ptr<EngineRewardModel> ClockModel(int k, double horizon) {
  auto* san = new HandSAN("CLOCKS");
  for (int i = 0; i < k; ++i) {
    const std::string n = std::to_string(i);
    Place* p = san->AddPlace(("P" + n).c_str(), 1);
    san->AddActivity(("TICK" + n).c_str(), {p}, {p})->Exponential(1.0);
  }
  san->Finish();
  VariableSpec count;
  count.Name = "ticks";
  count.Stop = horizon;
  count.CountedActions = {"TICK0"};
  return std::make_unique<EngineRewardModel>(san, std::vector<VariableSpec>{count});
}

// Each iteration runs ten replications of about 20000 firings.
void BM_TerminatingReplications(benchmark::State& state) {
  QuietStdout quiet;
  const int k = static_cast<int>(state.range(0));
  auto model = ClockModel(k, 20000.0 / k);
  Harness h;
  h.Install(model.get());
  const std::int64_t before = h.Sim.ActionsFired;
  for (auto _ : state) {
    h.Sim.RunState = 0;
    h.Sim.Batches = 0;
    h.Sim.MaxBatches = 10;
    h.Sim.TerminatingSimulation();
  }
  state.counters["firings_per_s"] =
      benchmark::Counter(static_cast<double>(h.Sim.ActionsFired - before), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TerminatingReplications)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

std::unique_ptr<EngineRewardModel> QueueModel() {
  auto* san = new HandSAN("MM1");
  Place* q = san->AddPlace("Q", 0);
  san->AddActivity("ARRIVE", {}, {q})->Exponential(0.5);
  san->AddActivity("SERVE", {q}, {})->Exponential(1.0);
  san->Finish();
  VariableSpec length;
  length.Name = "length";
  length.RatePlace = "Q";
  length.Stop = 1000.0;
  length.SteadyState = 1;
  VariableSpec busy = length;
  busy.Name = "busy";
  busy.Busy = true;
  return std::make_unique<EngineRewardModel>(san, std::vector<VariableSpec>{length, busy});
}

// Each iteration runs one trajectory of twenty batches of 1000 time units
// of an M/M/1 queue (about 30000 firings) on a freshly built model.
void BM_SteadyStateQueue(benchmark::State& state) {
  QuietStdout quiet;
  double fired = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      auto model = QueueModel();
      Harness h;
      h.Sim.IsTerminating = 0;
      h.Sim.MaxBatches = 20;
      h.Install(model.get());
      state.ResumeTiming();
      h.Sim.SteadyStateSimulation();
      state.PauseTiming();
      fired += h.Sim.ActionsFired;
    }
    state.ResumeTiming();
  }
  state.counters["firings_per_s"] = benchmark::Counter(fired, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SteadyStateQueue)->Unit(benchmark::kMillisecond);

}  // namespace
