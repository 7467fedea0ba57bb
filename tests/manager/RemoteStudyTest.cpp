// Whole studies through the remote launchers, against the real daemons:
// a one-node Slurm cluster and an sshd on 127.0.0.1, each brought up by the
// project's own scripts for every test and taken down after it. A daemon
// that cannot be started fails the test with the script's output.
#include <dirent.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "manager/ManagerProcess.h"
#include "manager/Study.h"

namespace {

using managertest::CountFile;
using managertest::ManagerProcess;

const std::string kScripts = std::string(GPUSIM_SOURCE_DIR) + "/scripts/cluster/";

// Runs a shell command; its output and error stream together, and its status.
testprocess::Outcome Shell(const std::string& command, const std::string& dir) {
  return testprocess::RunRedirected("(" + command + ") 2>&1", dir + "/shell.out", dir + "/shell.err");
}

// The live gpusim processes started with one of these seeds, found by their
// command lines: remote simulators are no children of the manager.
std::vector<pid_t> SimulatorsWithSeeds(const std::vector<unsigned>& seeds) {
  std::set<std::string> wanted;
  for (unsigned seed : seeds) wanted.insert(std::to_string(seed));
  std::vector<pid_t> found;
  DIR* proc = ::opendir("/proc");
  while (dirent* entry = proc != nullptr ? ::readdir(proc) : nullptr) {
    const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
    if (pid <= 0 || !managertest::Alive(pid)) continue;
    std::vector<std::string> argv;
    std::ifstream cmdline("/proc/" + std::string(entry->d_name) + "/cmdline");
    for (std::string word; std::getline(cmdline, word, '\0');) argv.push_back(word);
    if (argv.empty() || argv[0] != GPUSIM_BINARY) continue;
    for (std::size_t i = 0; i + 1 < argv.size(); ++i) {
      if (argv[i] == "-s" && wanted.count(argv[i + 1]) != 0) found.push_back(pid);
    }
  }
  if (proc != nullptr) ::closedir(proc);
  return found;
}

struct SimulatorRow {
  long observations = 0;
  bool lost = false;
};

// The per-simulator entries of the manager's --json summary, in order.
std::vector<SimulatorRow> JsonSimulators(const std::string& json) {
  std::vector<SimulatorRow> rows;
  for (const std::string& line : testprocess::Lines(json)) {
    int index;
    unsigned seed;
    SimulatorRow row;
    if (std::sscanf(line.c_str(), " {\"index\": %d, \"seed\": %u, \"observations\": %ld", &index, &seed,
                    &row.observations) == 3) {
      row.lost = line.find("\"lost\": true") != std::string::npos;
      rows.push_back(row);
    }
  }
  return rows;
}

class RemoteStudyTest : public ::testing::TestWithParam<std::string> {
 protected:
  bool Slurm() const { return GetParam() == "slurm"; }
  std::string Script() const { return kScripts + (Slurm() ? "slurm.sh" : "sshd.sh"); }

  void SetUp() override {
    char pattern[] = "/tmp/gpusim-remote-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const testprocess::Outcome started = Shell(Script() + " start '" + dir_ + "/daemon'", dir_);
    running_ = true;  // a failed start cleans up after itself; a stop is harmless
    ASSERT_EQ(started.status, 0) << "cannot start the " << GetParam() << " daemons:\n" << started.out;
    for (const std::string& line : testprocess::Lines(started.out)) {
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos) settings_[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (Slurm()) ::setenv("SLURM_CONF", settings_["SLURM_CONF"].c_str(), 1);
  }

  void TearDown() override {
    if (Slurm() && running_) {
      EXPECT_TRUE(QueueEmpties()) << Shell("squeue", dir_).out;
    }
    EXPECT_TRUE(SimulatorsWithSeeds(seeds_).empty()) << "simulators were left running";
    StopDaemons();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  void StopDaemons() {
    if (!running_) return;
    running_ = false;
    const testprocess::Outcome stopped = Shell(Script() + " stop '" + dir_ + "/daemon'", dir_);
    EXPECT_EQ(stopped.status, 0) << stopped.out;
  }

  // A study of two simulators through this test's launcher. The seed tells
  // this test's simulators from those of a test running beside it.
  std::vector<std::string> Study(unsigned seed, std::vector<std::string> words) {
    seeds_ = SimulatorSeeds(seed, 2);
    std::vector<std::string> all = {"--quiet", "--gpusim", GPUSIM_BINARY, "--seed", std::to_string(seed)};
    if (Slurm()) {
      all.insert(all.end(), {"--launcher", "slurm", "--simulators", "2"});
    } else {
      all.insert(all.end(), {"--launcher", "ssh", "--hosts", "127.0.0.1:2", "--ssh-command", settings_["SSH_COMMAND"]});
    }
    all.insert(all.end(), words.begin(), words.end());
    return all;
  }

  unsigned Seed(unsigned base) const { return Slurm() ? base : base + 100; }

  std::vector<pid_t> WaitForSimulators(std::size_t count) {
    for (int tries = 0; tries < 1000; ++tries) {
      std::vector<pid_t> found = SimulatorsWithSeeds(seeds_);
      if (found.size() >= count) return found;
      ManagerProcess::Sleep(0.02);
    }
    return {};
  }

  // squeue lists a cancelled job for a moment while it completes.
  bool QueueEmpties() {
    for (int tries = 0; tries < 100; ++tries) {
      if (Shell("squeue -h -o %i", dir_).out.empty()) return true;
      ManagerProcess::Sleep(0.1);
    }
    return false;
  }

  std::string dir_;
  bool running_ = false;
  std::map<std::string, std::string> settings_;
  std::vector<unsigned> seeds_;
};

TEST_P(RemoteStudyTest, TheMergedFileIsByteIdenticalToTheLocalLaunchers) {
  ManagerProcess remote(dir_, Study(Seed(1401), {"--replications", "20000", "--binary", dir_ + "/remote.bin"}));
  ASSERT_EQ(remote.Wait(), 0) << remote.Err();
  ManagerProcess local(dir_, {"--quiet", "--gpusim", GPUSIM_BINARY, "--seed", std::to_string(Seed(1401)),
                              "--simulators", "2", "--replications", "20000", "--binary", dir_ + "/local.bin"});
  ASSERT_EQ(local.Wait(), 0) << local.Err();
  const std::string merged = testprocess::ReadFile(dir_ + "/remote.bin");
  EXPECT_GT(merged.size(), 20000u * 6 * 8);
  EXPECT_TRUE(merged == testprocess::ReadFile(dir_ + "/local.bin"));
}

// A step cancelled or a remote simulator killed mid-study: the other goes on
// to the time limit, and everything that arrived is in the file.
TEST_P(RemoteStudyTest, LosingOneSimulatorLeavesTheOtherRunningAndKeepsWhatArrived) {
  const std::string file = dir_ + "/one.bin";
  ManagerProcess run(dir_, Study(Seed(1402), {"--replications", "1000000000", "--max-seconds", "4", "--json",
                                        "--binary", file}));
  const std::vector<pid_t> simulators = WaitForSimulators(2);
  ASSERT_EQ(simulators.size(), 2u) << run.Err();
  ManagerProcess::Sleep(1.0);
  if (Slurm()) {
    const std::string job = testprocess::Lines(Shell("squeue -h -o %i", dir_).out).at(0);
    EXPECT_EQ(Shell("scancel " + job, dir_).status, 0);
  } else {
    ::kill(simulators[0], SIGKILL);
  }
  EXPECT_EQ(run.Wait(), 3) << run.Err();  // short of its target
  const std::vector<SimulatorRow> rows = JsonSimulators(run.Out());
  ASSERT_EQ(rows.size(), 2u) << run.Out();
  const long fewer = std::min(rows[0].observations, rows[1].observations);
  const long more = std::max(rows[0].observations, rows[1].observations);
  EXPECT_GT(fewer, 0);
  EXPECT_GT(more, fewer + fewer / 2) << "the other simulator did not go on";
  if (!Slurm()) {
    EXPECT_NE(rows[0].lost, rows[1].lost) << run.Out();  // the killed one, named
  }
  bool clean = false;
  const std::map<int, long> counts = CountFile(file, clean);
  EXPECT_TRUE(clean);
  EXPECT_EQ(counts.at(5), rows[0].observations + rows[1].observations);
}

TEST_P(RemoteStudyTest, SigintStopsEverySimulatorAndWritesTheResults) {
  const std::string file = dir_ + "/int.bin";
  ManagerProcess run(dir_, Study(Seed(1403), {"--replications", "1000000000", "--json", "--binary", file}));
  ASSERT_EQ(WaitForSimulators(2).size(), 2u) << run.Err();
  ManagerProcess::Sleep(0.5);
  ::kill(run.Pid(), SIGINT);
  EXPECT_EQ(run.Wait(), 0) << run.Err();
  EXPECT_NE(run.Out().find("\"stopped\": \"stopped by a signal\""), std::string::npos) << run.Out();
  const std::vector<SimulatorRow> rows = JsonSimulators(run.Out());
  ASSERT_EQ(rows.size(), 2u) << run.Out();
  bool clean = false;
  const std::map<int, long> counts = CountFile(file, clean);
  EXPECT_TRUE(clean);
  EXPECT_EQ(counts.at(0), rows[0].observations + rows[1].observations);
  EXPECT_FALSE(rows[0].lost || rows[1].lost) << run.Out();
  // TearDown checks that no step is queued and no simulator runs.
}

// A model file named by a path relative to the manager's folder reaches
// every simulator (a remote shell starts in the home folder): the manager
// passes it on made absolute. Through ssh the simulator is given only as
// --remote-gpusim, so the variables' names come from a --metadata run
// through the launcher.
TEST_P(RemoteStudyTest, ASteadyStateStudyOfAModelFileNamesItsVariables) {
  const std::string model = std::filesystem::relative(std::string(GPUSIM_SOURCE_DIR) + "/models/mm1k.san").string();
  std::vector<std::string> words =
      Study(Seed(1405), {"--replications", "100", "--json", "--", "--model", model, "-t", "0"});
  if (!Slurm()) {
    words.erase(words.begin() + 1, words.begin() + 3);  // --gpusim PATH
    words.insert(words.begin() + 1, {"--remote-gpusim", GPUSIM_BINARY});
  }
  ManagerProcess run(dir_, words);
  ASSERT_EQ(run.Wait(), 0) << run.Err();
  for (const char* name : {"\"blocking\"", "\"mean_in_system\"", "\"throughput\""}) {
    EXPECT_NE(run.Out().find(name), std::string::npos) << name << "\n" << run.Out();
  }
  EXPECT_NE(run.Err().find("Lag-1 autocorrelation"), std::string::npos) << run.Err();
  EXPECT_EQ(run.Err().find("numbered"), std::string::npos) << run.Err();
}

TEST_P(RemoteStudyTest, AnUnreachableDaemonIsAClearErrorAndStartsNothing) {
  StopDaemons();
  ManagerProcess run(dir_, Study(Seed(1404), {"--replications", "20000"}));
  EXPECT_EQ(run.Wait(), 1) << run.Err();
  const char* cause = Slurm() ? "the Slurm controller does not answer" : "Connection refused";
  EXPECT_NE(run.Err().find(cause), std::string::npos) << run.Err();
  EXPECT_TRUE(managertest::ChildrenOf(run.Pid()).empty());
}

INSTANTIATE_TEST_SUITE_P(Launchers, RemoteStudyTest, ::testing::Values("slurm", "ssh"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
