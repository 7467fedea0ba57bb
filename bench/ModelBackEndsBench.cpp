// The two back ends of the modelling language against each other, in one
// table: every model in models/ run by the interpreter (gpusim --model FILE)
// and compiled from its generated C++ (gpusim-NAME), and the GPU model also
// built in (gpusim). Each iteration is one whole simulator process; the
// time is the run's own processor time, as the simulator reports it ("CPU
// time (s)"), which leaves out reading, checking and building the model.
//
// Counters: runs/s (replications or batches) and firings/s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

struct RunTimes {
  double cpuSeconds = 0;
  double firings = 0;
};

// Runs command and reads the run's processor time and firing count from its
// standard output.
RunTimes RunProcess(const std::string& command) {
  RunTimes times;
  FILE* out = popen((command + " 2>/dev/null").c_str(), "r");
  if (out == nullptr) return times;
  char line[512];
  while (std::fgets(line, sizeof line, out) != nullptr) {
    std::sscanf(line, "CPU time (s): %lf", &times.cpuSeconds);
    std::sscanf(line, "Actions fired: %lf", &times.firings);
  }
  pclose(out);
  return times;
}

// args: the model's run (the kind of simulation and the number of runs).
void RunModel(benchmark::State& state, const std::string& simulator, const std::string& args, double runs) {
  double cpu = 0, firings = 0;
  for (auto _ : state) {
    const RunTimes t = RunProcess(simulator + " " + args);
    if (t.cpuSeconds <= 0) {
      state.SkipWithError(("no CPU time from: " + simulator).c_str());
      return;
    }
    state.SetIterationTime(t.cpuSeconds);
    cpu += t.cpuSeconds;
    firings += t.firings;
  }
  state.counters["runs/s"] = runs * static_cast<double>(state.iterations()) / cpu;
  state.counters["firings/s"] = firings / cpu;
}

std::string Built(const std::string& name) { return std::string(GPUSIM_BUILD_DIR) + "/" + name; }
std::string Interpreted(const std::string& model) {
  return Built("gpusim") + " --model " + GPUSIM_SOURCE_DIR + "/models/" + model + ".san";
}

struct ModelRun {
  const char* model;
  const char* args;
  double runs;
};

// Long enough runs that start-up is small against them.
const ModelRun kRuns[] = {
    {"gpu", "-N 50000", 50000},
    {"mm1k", "-t 0 -N 2000", 2000},
    {"repairman", "-N 20000", 20000},
    {"multiproc", "-t 0 -N 2000", 2000},
    {"tmr", "-N 50000", 50000},
};

void RegisterAll() {
  for (const ModelRun& run : kRuns) {
    const std::string model = run.model;
    const std::string args = run.args;
    const double runs = run.runs;
    if (model == "gpu") {
      benchmark::RegisterBenchmark("gpu/built-in", [=](benchmark::State& s) { RunModel(s, Built("gpusim"), args, runs); })
          ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
    }
    benchmark::RegisterBenchmark((model + "/interpreted").c_str(),
                                 [=](benchmark::State& s) { RunModel(s, Interpreted(model), args, runs); })
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark((model + "/compiled").c_str(),
                                 [=](benchmark::State& s) { RunModel(s, Built("gpusim-" + model), args, runs); })
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
  }
}

const bool kRegistered = (RegisterAll(), true);

}  // namespace
