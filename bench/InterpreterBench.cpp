// The interpreter against compiled code, in one run: the GPU model built in
// (generated C++) and the same model read from models/gpu.san, then each
// example model read from its file. Only Run() is timed; reading, checking
// and building the model are not.
//
// Counters: replications (or batches) per second and firings per second.
#include <benchmark/benchmark.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/SimulatorClass.h"

namespace {

class QuietStdout {
 public:
  QuietStdout() : Saved(std::cout.rdbuf(Sink.rdbuf())) {}
  ~QuietStdout() { std::cout.rdbuf(Saved); }

 private:
  std::ostringstream Sink;
  std::streambuf* Saved;
};

void RunSimulator(benchmark::State& state, std::vector<std::string> args) {
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
      firings += static_cast<double>(simulator.ActionsFired);
      runs += static_cast<double>(simulator.Batches);
    }
    state.ResumeTiming();
  }
  state.counters["runs/s"] = benchmark::Counter(runs, benchmark::Counter::kIsRate);
  state.counters["firings/s"] = benchmark::Counter(firings, benchmark::Counter::kIsRate);
}

std::string ModelPath(const char* name) { return std::string(GPUSIM_SOURCE_DIR) + "/models/" + name; }

void BM_GpuBuiltIn(benchmark::State& state) { RunSimulator(state, {"gpusim", "-N", "20000"}); }
void BM_GpuInterpreted(benchmark::State& state) {
  RunSimulator(state, {"gpusim", "--model", ModelPath("gpu.san"), "-N", "20000"});
}
BENCHMARK(BM_GpuBuiltIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GpuInterpreted)->Unit(benchmark::kMillisecond);

}  // namespace
