// Studies through the remote launchers against the local one, as processes:
// a one-node Slurm cluster and an sshd on 127.0.0.1 are brought up by the
// project's scripts for the benchmark run and taken down at its end.
//
// BM_StartToFirstObservation: the wall time of a study of two simulators
// that deliver one replication each (report size 1), from the manager's
// start to its end; an upper bound on the time to the first observation,
// since the end adds only the simulators' exit.
// BM_MillionReplicationsAgainstLocal: a 10^6-replication study of two
// simulators through a launcher and through the local launcher, alternately
// in each iteration; counters: both replication rates and their ratio, and
// the simulators' processor time per replication through each.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

const std::string kBuild = GPUSIM_BUILD_DIR;
const std::string kScripts = std::string(GPUSIM_SOURCE_DIR) + "/scripts/cluster/";

// The daemons, started on first use and stopped when the program ends.
class Daemons {
 public:
  static Daemons& Get() {
    static Daemons daemons;
    return daemons;
  }
  bool Up() const { return up_; }
  std::string LauncherWords(const std::string& launcher) const {
    if (launcher == "slurm") return "--launcher slurm";
    if (launcher == "ssh") return "--launcher ssh --hosts 127.0.0.1:2 --ssh-command '" + sshCommand_ + "'";
    return "";
  }

 private:
  Daemons() {
    char pattern[] = "/tmp/gpusim-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    const std::string out = dir_ + "/start.out";
    up_ = std::system((kScripts + "slurm.sh start " + dir_ + "/slurm >" + out + " 2>&1").c_str()) == 0 &&
          std::system((kScripts + "sshd.sh start " + dir_ + "/ssh >>" + out + " 2>&1").c_str()) == 0;
    std::ifstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      if (line.compare(0, 11, "SLURM_CONF=") == 0) ::setenv("SLURM_CONF", line.c_str() + 11, 1);
      if (line.compare(0, 12, "SSH_COMMAND=") == 0) sshCommand_ = line.substr(12);
    }
  }
  ~Daemons() {
    if (dir_.empty()) return;
    std::system((kScripts + "slurm.sh stop " + dir_ + "/slurm >/dev/null 2>&1").c_str());
    std::system((kScripts + "sshd.sh stop " + dir_ + "/ssh >/dev/null 2>&1").c_str());
    std::system(("rm -rf " + dir_).c_str());
  }

  std::string dir_;
  std::string sshCommand_;
  bool up_ = false;
};

const char* const kLaunchers[] = {"local", "slurm", "ssh"};

struct StudyRun {
  double wallSeconds = -1.0;
  double simulatorSeconds = 0.0;  // processor time the simulators reported
};

StudyRun RunStudy(const std::string& launcher, long replications, const std::string& extra) {
  const std::string summary = "remote_bench_summary.json";
  const std::string command = kBuild + "/gpusim-manager --quiet --json --simulators 2 --replications " +
                              std::to_string(replications) + " " + extra + " " +
                              Daemons::Get().LauncherWords(launcher) + " >" + summary + " 2>/dev/null";
  StudyRun run;
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return run;
  run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream in(summary);
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.find("\"cpu_seconds\": ");
    if (at != std::string::npos) run.simulatorSeconds += std::atof(line.c_str() + at + 15);
  }
  std::remove(summary.c_str());
  return run;
}

void BM_StartToFirstObservation(benchmark::State& state) {
  if (!Daemons::Get().Up()) state.SkipWithError("the Slurm cluster or the sshd did not start");
  const std::string launcher = kLaunchers[state.range(0)];
  state.SetLabel(launcher);
  for (auto _ : state) {
    const StudyRun run = RunStudy(launcher, 2, "--report-size 1");
    if (run.wallSeconds < 0) state.SkipWithError("the study failed");
    state.SetIterationTime(run.wallSeconds);
  }
}

void BM_MillionReplicationsAgainstLocal(benchmark::State& state) {
  if (!Daemons::Get().Up()) state.SkipWithError("the Slurm cluster or the sshd did not start");
  constexpr long kReplications = 1000000;
  const std::string launcher = kLaunchers[state.range(0)];
  state.SetLabel(launcher);
  StudyRun local{0, 0}, remote{0, 0};
  for (auto _ : state) {
    const StudyRun localRun = RunStudy("local", kReplications, "");
    const StudyRun remoteRun = RunStudy(launcher, kReplications, "");
    if (localRun.wallSeconds < 0 || remoteRun.wallSeconds < 0) state.SkipWithError("a study failed");
    local.wallSeconds += localRun.wallSeconds;
    local.simulatorSeconds += localRun.simulatorSeconds;
    remote.wallSeconds += remoteRun.wallSeconds;
    remote.simulatorSeconds += remoteRun.simulatorSeconds;
    state.SetIterationTime(remoteRun.wallSeconds);
  }
  // Wall-time rates follow the machine's load; the simulators' processor
  // time per replication does not.
  const double replications = kReplications * static_cast<double>(state.iterations());
  state.counters["local_rep/s"] = replications / local.wallSeconds;
  state.counters["launcher_rep/s"] = replications / remote.wallSeconds;
  state.counters["rate_vs_local"] = local.wallSeconds / remote.wallSeconds;
  state.counters["local_cpu_us/rep"] = 1e6 * local.simulatorSeconds / replications;
  state.counters["launcher_cpu_us/rep"] = 1e6 * remote.simulatorSeconds / replications;
}

BENCHMARK(BM_StartToFirstObservation)
    ->DenseRange(0, 2)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MillionReplicationsAgainstLocal)
    ->DenseRange(1, 2)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
