// A study against one simulator alone, as processes: the wall time of
// `gpusim -N R` and of `gpusim-manager --simulators K --replications R`
// (also with --binary, which ./run.sh's study gives, and with
// --results-folder),
// started the same way, alternately, in the same run of the benchmark, so
// that their replication rates can be compared. The manager's own processor
// time and the simulators' come from its --json summary.
//
// Counters: replications per second of each (wall time), their ratio
// (speedup), and the manager's processor time as a percentage of the
// simulators'. The iteration time is the study's.
//
// GPUSIM_BENCH_MANAGER=PATH runs another gpusim-manager (a copy of an
// earlier build, kept anywhere, to compare before and after in one run),
// with this build's gpusim.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr long kReplications = 1000000;

double RunTimed(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1.0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double JsonField(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  return at == std::string::npos ? -1.0 : std::atof(json.c_str() + at + key.size() + 4);
}

enum class Results { kNone, kBinary, kFolder };

// Another manager is told where this build's gpusim is: a copy kept
// elsewhere would look for one beside itself.
std::string Manager() {
  const char* other = std::getenv("GPUSIM_BENCH_MANAGER");
  if (other == nullptr || *other == '\0') return std::string(GPUSIM_BUILD_DIR) + "/gpusim-manager";
  return std::string(other) + " --gpusim " + GPUSIM_BUILD_DIR + "/gpusim";
}

// Each iteration runs one gpusim alone, then the study, back to back, so
// that both see the same machine (it is shared, and its load drifts). With
// kBinary the study also writes the merged results file, as ./run.sh's does;
// with kFolder a results folder.
void StudyAgainstOneProcess(benchmark::State& state, Results results) {
  const std::string summary = "manager_bench_summary.json";
  const std::string merged = "manager_bench_merged.bin";
  const std::string folder = "manager_bench_folder";
  const std::string output = results == Results::kBinary   ? " --force --binary " + merged
                             : results == Results::kFolder ? " --force --results-folder " + folder
                                                           : std::string();
  // In a session of its own, as the manager starts each of its simulators.
  const std::string single =
      "setsid " + std::string(GPUSIM_BUILD_DIR) + "/gpusim -N " + std::to_string(kReplications) + " >/dev/null 2>&1";
  const std::string study = Manager() + " --quiet --json --simulators " + std::to_string(state.range(0)) +
                            " --replications " + std::to_string(kReplications) + output + " >" + summary +
                            " 2>/dev/null";
  double singleSeconds = 0, studySeconds = 0, managerCpu = 0, simulatorsCpu = 0;
  for (auto _ : state) {
    const double one = RunTimed(single);
    const double many = RunTimed(study);
    if (one < 0 || many < 0) state.SkipWithError("gpusim or gpusim-manager failed");
    singleSeconds += one;
    studySeconds += many;
    state.SetIterationTime(many);
    std::ifstream in(summary);
    std::stringstream json;
    json << in.rdbuf();
    managerCpu += JsonField(json.str(), "manager_cpu_seconds");
    simulatorsCpu += JsonField(json.str(), "simulators_cpu_seconds");
  }
  std::remove(summary.c_str());
  std::remove(merged.c_str());
  std::remove((merged + ".meta").c_str());
  std::system(("rm -rf " + folder).c_str());
  const double runs = static_cast<double>(state.iterations());
  state.counters["one_process_rep/s"] = kReplications * runs / singleSeconds;
  state.counters["study_rep/s"] = kReplications * runs / studySeconds;
  state.counters["speedup"] = singleSeconds / studySeconds;
  state.counters["manager_cpu_%"] = simulatorsCpu > 0 ? 100.0 * managerCpu / simulatorsCpu : 0.0;
}

void BM_StudyAgainstOneProcess(benchmark::State& state) { StudyAgainstOneProcess(state, Results::kNone); }
void BM_StudyWithBinaryAgainstOneProcess(benchmark::State& state) { StudyAgainstOneProcess(state, Results::kBinary); }
void BM_StudyWithFolderAgainstOneProcess(benchmark::State& state) { StudyAgainstOneProcess(state, Results::kFolder); }

BENCHMARK(BM_StudyAgainstOneProcess)->Arg(2)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StudyWithBinaryAgainstOneProcess)->Arg(2)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StudyWithFolderAgainstOneProcess)->Arg(2)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
