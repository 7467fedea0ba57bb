// Whole replications of the GPU model through the simulator: a terminating
// run of a fixed number of replications per iteration, with and without the
// ASCII results file. Only Run() is timed; building the simulator (model,
// affects relation, event list) and closing the files are not.
//
// Counters: replications per second and firings per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/SimulatorClass.h"

namespace {

// Swallows the simulator's echoes and totals while it is built and run.
class QuietStdout {
 public:
  QuietStdout() : saved_(std::cout.rdbuf(sink_.rdbuf())) {}
  ~QuietStdout() { std::cout.rdbuf(saved_); }

 private:
  std::ostringstream sink_;
  std::streambuf* saved_;
};

void RunGpuReplications(benchmark::State& state, bool asciiFile) {
  const std::string replications = std::to_string(state.range(0));
  const std::string results = "gpu_bench_results.txt";
  std::vector<std::string> args = {"gpusim", "-N", replications, "-n", "1000"};
  if (asciiFile) args.insert(args.end(), {"-a", results});

  double firings = 0, runs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    {
      QuietStdout quiet;
      SimulatorClass simulator(static_cast<int>(argv.size()), argv.data());
      state.ResumeTiming();
      simulator.Run();
      state.PauseTiming();
      firings += simulator.ActionsFired;
      runs += simulator.Batches;
    }
    state.ResumeTiming();
  }
  std::remove(results.c_str());
  std::remove((results + ".meta").c_str());  // the run's metadata companion
  state.counters["replications/s"] = benchmark::Counter(runs, benchmark::Counter::kIsRate);
  state.counters["firings/s"] = benchmark::Counter(firings, benchmark::Counter::kIsRate);
}

void BM_GpuReplications(benchmark::State& state) { RunGpuReplications(state, false); }
void BM_GpuReplicationsAsciiFile(benchmark::State& state) { RunGpuReplications(state, true); }

BENCHMARK(BM_GpuReplications)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GpuReplicationsAsciiFile)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
