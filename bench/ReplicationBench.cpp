// Whole replications of hand-built timed models through the simulation
// loops. The clock models have K independent activities, each firing at
// exponential intervals; the per-step work is bounded by the fired action's
// affects list, so firings per second should hardly change from K = 10 to
// K = 1000 (only the event list's logarithmic depth grows). The M/M/1 queue
// runs in steady state with two batch-mean variables, and in terminating
// replications with rate rewards (time-averaged length and busy time) next
// to an impulse count, where every event brings the rate variables up to
// date. The one-shot model ends each replication after a single firing, so
// its replications per second measure the per-replication work alone.
//
// Only the loop is timed; building the model and the simulator is not.
// Counters: firings per second, or replications per second.
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

// Times ten terminating replications of model per iteration; counts firings.
void TimeTenReplications(benchmark::State& state, EngineRewardModel* model) {
  Harness h;
  h.Install(model);
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

// Each iteration runs ten replications of about 20000 firings.
void BM_TerminatingReplications(benchmark::State& state) {
  QuietStdout quiet;
  const int k = static_cast<int>(state.range(0));
  TimeTenReplications(state, ClockModel(k, 20000.0 / k).get());
}
BENCHMARK(BM_TerminatingReplications)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

// The M/M/1 queue: arrivals at rate 0.5, service at rate 1.
HandSAN* MM1Queue() {
  auto* san = new HandSAN("MM1");
  Place* q = san->AddPlace("Q", 0);
  san->AddActivity("ARRIVE", {}, {q})->Exponential(0.5);
  san->AddActivity("SERVE", {q}, {})->Exponential(1.0);
  san->Finish();
  return san;
}

// The queue's time-averaged length and busy time up to stop.
std::vector<VariableSpec> LengthAndBusy(double stop, int steadyState) {
  VariableSpec length;
  length.Name = "length";
  length.RatePlace = "Q";
  length.Stop = stop;
  length.SteadyState = steadyState;
  VariableSpec busy = length;
  busy.Name = "busy";
  busy.Busy = true;
  return {length, busy};
}

std::unique_ptr<EngineRewardModel> QueueModel() {
  return std::make_unique<EngineRewardModel>(MM1Queue(), LengthAndBusy(1000.0, 1));
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

std::unique_ptr<EngineRewardModel> TerminatingQueueModel(double horizon) {
  std::vector<VariableSpec> variables = LengthAndBusy(horizon, 0);
  VariableSpec arrivals;
  arrivals.Name = "arrivals";
  arrivals.Stop = horizon;
  arrivals.CountedActions = {"ARRIVE"};
  variables.push_back(arrivals);
  return std::make_unique<EngineRewardModel>(MM1Queue(), variables);
}

// Each iteration runs ten replications of 2000 time units of an M/M/1 queue
// (about 2000 firings each) with two rate variables and one impulse count.
void BM_RateRewardReplications(benchmark::State& state) {
  QuietStdout quiet;
  TimeTenReplications(state, TerminatingQueueModel(2000.0).get());
}
BENCHMARK(BM_RateRewardReplications)->Unit(benchmark::kMillisecond);

// One token, one timed activity that takes it, one impulse count: every
// replication is one firing, so what is measured is the work around it
// (resetting the state, the variables and the event list, scheduling the
// initial event, closing the observations, filling the report).
void BM_OneFiringReplications(benchmark::State& state) {
  QuietStdout quiet;
  auto* san = new HandSAN("ONCE");
  Place* token = san->AddPlace("TOKEN", 1);
  san->AddActivity("TAKE", {token}, {})->Exponential(1.0);
  san->Finish();
  VariableSpec taken;
  taken.Name = "taken";
  taken.Stop = 10.0;
  taken.CountedActions = {"TAKE"};
  EngineRewardModel model(san, {taken});
  Harness h;
  h.Install(&model);
  const int replications = 10000;
  for (auto _ : state) {
    h.Sim.RunState = 0;
    h.Sim.Batches = 0;
    h.Sim.MaxBatches = replications;
    h.Sim.TerminatingSimulation();
  }
  state.counters["replications_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * replications, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OneFiringReplications)->Unit(benchmark::kMillisecond);

}  // namespace
