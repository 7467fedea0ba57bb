// The manager against hostile simulators (tests/fakes/HostileSimulator.cpp,
// started through a script that names its mode) and odd results paths: every
// wait is bounded, every stop signal obeyed, no file clobbered, and every
// status and message true.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

#include "manager/ManagerProcess.h"
#include "output/BinFileHeader.h"
#include "results/ResultsReader.h"
#include "protocol/WireFormat.h"

namespace {

using managertest::Alive;
using managertest::CountFile;
using managertest::ManagerProcess;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The mean of variable pv in a --csv table ("pv,name,observations,mean,...").
double CsvMean(const std::string& csv, int pv) {
  for (const std::string& line : testprocess::Lines(csv)) {
    int index = -1;
    char name[64];
    long observations = 0;
    double mean = NAN;
    if (std::sscanf(line.c_str(), "%d,%63[^,],%ld,%lf", &index, name, &observations, &mean) == 4 && index == pv) {
      return mean;
    }
  }
  return NAN;
}

class ManagerFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gpusim-manager-fault-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    // A child a hostile simulator left behind holds its id in "child".
    const pid_t child = static_cast<pid_t>(std::atol(testprocess::ReadFile(dir_ + "/child").c_str()));
    if (child > 0 && Alive(child)) {
      ADD_FAILURE() << "the hostile simulator's child " << child << " outlived the test's study";
      ::kill(child, SIGKILL);
    }
    for (pid_t pid : started_) EXPECT_FALSE(Alive(pid)) << "process " << pid << " was left running";
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // A simulator that misbehaves as mode says; it records in <dir>/child.
  std::string Hostile(const std::string& mode) {
    return Script(mode, std::string("exec ") + HOSTILE_SIMULATOR_BINARY + " " + mode + " '" + dir_ + "/child' \"$@\"");
  }
  // The real simulator, noting in <dir>/started that it was started.
  std::string RecordedGpusim() {
    return Script("gpusim", "echo $$ >> '" + dir_ + "/started'; exec " + GPUSIM_BINARY + " \"$@\"");
  }
  void Track(const ManagerProcess& manager, std::size_t count) {
    const std::vector<pid_t> children = manager.WaitForChildren(count, 5);
    started_.insert(started_.end(), children.begin(), children.end());
  }
  // The size of the temporary file the manager writes for name, or 0.
  long long PartialFileBytes(const std::string& name) {
    long long bytes = 0;
    DIR* folder = ::opendir(dir_.c_str());
    while (dirent* entry = ::readdir(folder)) {
      struct stat status {};
      const std::string found = entry->d_name;
      if (found.rfind("." + name + ".partial-", 0) == 0 && ::stat((dir_ + "/" + found).c_str(), &status) == 0) {
        bytes = status.st_size;
      }
    }
    ::closedir(folder);
    return bytes;
  }
  // The names in the test's folder, but the manager's own streams.
  std::vector<std::string> FilesLeft() {
    std::vector<std::string> names;
    DIR* folder = ::opendir(dir_.c_str());
    while (dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != ".." && name != "manager.out" && name != "manager.err") names.push_back(name);
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
  std::vector<pid_t> started_;
};

// The process the manager started exits 0 while a child keeps the
// connection: the study still ends, within seconds, and the child is
// disconnected (the test's TearDown ends it).
TEST_F(ManagerFaultTest, AConnectionHeldOpenByAChildOfTheSimulatorDoesNotHoldTheStudy) {
  struct Case {
    const char* mode;
    std::vector<std::string> stop;  // --max-seconds, or a signal after a second
    int signal;
  };
  const Case cases[] = {{"fork-exit", {"--max-seconds", "1"}, 0}, {"fork-session", {}, SIGTERM}};
  for (const Case& c : cases) {
    std::vector<std::string> words = {"--quiet", "--simulators", "1", "--gpusim", Hostile(c.mode)};
    words.insert(words.end(), c.stop.begin(), c.stop.end());
    const double start = Now();
    ManagerProcess run(dir_, words);
    if (c.signal != 0) {
      ManagerProcess::Sleep(1.0);
      ::kill(run.Pid(), c.signal);
    }
    // The child holds the connection for 200 s; the study ends about 3 s
    // after its process, well before the 35 s cap after command 2 (the
    // bound leaves room for a sanitizer build on a loaded machine).
    EXPECT_EQ(run.Wait(60), 0) << c.mode << ": " << run.Err();
    EXPECT_LT(Now() - start, 20.0) << c.mode;
    EXPECT_NE(run.Err().find("its connection stayed open; disconnected"), std::string::npos) << run.Err();
    const pid_t child = static_cast<pid_t>(std::atol(testprocess::ReadFile(dir_ + "/child").c_str()));
    if (child > 0) ::kill(child, SIGKILL);
    ::unlink((dir_ + "/child").c_str());
  }
}

// The process the manager started exits 0 after its first report (or
// before its greeting, which its child sends as its own), and a child
// delivers the rest for about 4 s: while it keeps arriving the connection
// is read to its end, and nothing is lost.
TEST_F(ManagerFaultTest, WhatASimulatorSentBeforeItEndedIsReadWhileItKeepsArriving) {
  for (const char* mode : {"late", "late-greeting"}) {
    ManagerProcess run(dir_, {"--quiet", "--simulators", "1", "--replications", "200000", "--gpusim", Hostile(mode)});
    EXPECT_EQ(run.Wait(60), 0) << mode << ": " << run.Err();
    EXPECT_EQ(run.Err().find("disconnected"), std::string::npos) << mode << ": " << run.Err();
    const pid_t child = static_cast<pid_t>(std::atol(testprocess::ReadFile(dir_ + "/child").c_str()));
    if (child > 0) ::kill(child, SIGKILL);
    ::unlink((dir_ + "/child").c_str());
  }
}

// A manager killed outright, with no chance to stop its study, takes its
// simulators with it: the kernel sends each its death signal. These never
// listen, so no closed connection can end them instead.
TEST_F(ManagerFaultTest, AManagerKilledOutrightTakesItsSimulatorsWithIt) {
  const std::string deaf =
      Script("deaf", std::string("[ \"$1\" = --metadata ] && exec ") + GPUSIM_BINARY + " \"$@\"; exec sleep 300");
  ManagerProcess run(dir_, {"--quiet", "--simulators", "2", "--gpusim", deaf});
  Track(run, 2);
  ASSERT_EQ(started_.size(), 2u);
  ::kill(run.Pid(), SIGKILL);
  run.Wait(10);
  for (pid_t pid : started_) {
    for (int i = 0; i < 500 && Alive(pid); ++i) ManagerProcess::Sleep(0.02);
    EXPECT_FALSE(Alive(pid)) << "simulator " << pid << " outlived its manager";
  }
}

// --binary is checked before any simulator starts; what it may not replace
// is left as it was, and nothing but the results file is left behind.
TEST_F(ManagerFaultTest, TheResultsPathIsCheckedBeforeTheStartAndNeverClobbered) {
  const std::string gpusim = RecordedGpusim();
  std::ofstream(dir_ + "/notes.txt") << "my notes\n";
  const std::string script = Script("tool.sh", "echo a tool");
  ::symlink((dir_ + "/notes.txt").c_str(), (dir_ + "/link.bin").c_str());
  ::mkfifo((dir_ + "/fifo.bin").c_str(), 0644);
  ::mkdir((dir_ + "/folder.bin").c_str(), 0755);
  struct Case {
    std::string path;
    bool force;
    int status;
    const char* message;  // on the error stream
  };
  const Case cases[] = {
      {dir_ + "/fifo.bin", false, 2, "it is a FIFO"},
      {dir_ + "/folder.bin", false, 2, "it is a directory"},
      {dir_ + "/none/r.bin", false, 2, "No such file or directory"},
      {dir_ + "/link.bin", false, 2, "it is a symbolic link"},
      {dir_ + "/notes.txt", false, 2, "not a binary results file"},
      {script, false, 2, "not a binary results file"},
      {"/dev/full", false, 1, "No space left on device"},
      {"/dev/null", false, 0, ""},
      {dir_ + "/new.bin", false, 0, ""},
      {dir_ + "/new.bin", false, 0, ""},  // a results file is replaced
      {dir_ + "/link.bin", true, 0, ""},  // the link, not what it points to
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = {"--quiet", "--simulators", "1", "--replications", "3000", "--gpusim", gpusim,
                                      "--binary", c.path};
    if (c.force) words.push_back("--force");
    ::unlink((dir_ + "/started").c_str());
    ManagerProcess run(dir_, words);
    EXPECT_EQ(run.Wait(), c.status) << c.path << ": " << run.Err();
    EXPECT_NE(run.Err().find(c.message), std::string::npos) << c.path << ": " << run.Err();
    const bool started = std::ifstream(dir_ + "/started").good();
    EXPECT_EQ(started, c.status != 2) << c.path << ": a refused path starts nothing";
  }
  EXPECT_EQ(testprocess::ReadFile(dir_ + "/notes.txt"), "my notes\n");
  EXPECT_EQ(testprocess::ReadFile(script), "#!/bin/sh\necho a tool\n");
  struct stat link {};
  ASSERT_EQ(::lstat((dir_ + "/link.bin").c_str(), &link), 0);
  EXPECT_TRUE(S_ISREG(link.st_mode)) << "--force replaced the link itself";
  for (const char* name : {"/new.bin", "/link.bin"}) {
    bool clean = false;
    EXPECT_EQ(CountFile(dir_ + name, clean)[0], 3000) << name;
    EXPECT_TRUE(clean) << name;
  }
  // Each results file written has its metadata beside it.
  const std::vector<std::string> expected = {"fifo.bin",      "folder.bin", "gpusim",       "link.bin", "link.bin.meta",
                                             "new.bin",       "new.bin.meta", "notes.txt",  "started",  "tool.sh"};
  EXPECT_EQ(FilesLeft(), expected);
}

// A value that is not a finite number is a malformed block: the simulator
// is dropped with a message naming the variable, and gpusim-report calls a
// file holding one damaged.
TEST_F(ManagerFaultTest, ANonFiniteValueIsAMalformedBlockNamingItsVariable) {
  for (const char* mode : {"nan", "inf"}) {
    ManagerProcess run(dir_, {"--quiet", "--simulators", "1", "--replications", "5000", "--gpusim", Hostile(mode)});
    EXPECT_EQ(run.Wait(10), 1) << mode << ": " << run.Err();
    EXPECT_NE(run.Err().find("dropped: its block holds"), std::string::npos) << run.Err();
    EXPECT_NE(run.Err().find("value of variable 1 (write_ok)"), std::string::npos) << run.Err();
  }

  BinFileHeader header;
  header.batches = 2;
  const double values[] = {1.0, 2.0, 3.0, NAN};
  const std::int32_t counts[] = {2, 2};
  const std::string file = dir_ + "/nan.bin";
  std::ofstream(file, std::ios::binary) << header.Build(1) << protocol::EncodeBlock(0, 0, counts, values, 2, 2);
  const testprocess::Outcome report = testprocess::RunRedirected(
      std::string(GPUSIM_BUILD_DIR) + "/gpusim-report '" + file + "'", dir_ + "/r.out", dir_ + "/r.err");
  EXPECT_EQ(report.status, 3) << report.err;
  EXPECT_NE(report.err.find("variable 1 has the value NaN"), std::string::npos) << report.err;
}

// A stop signal at any moment from the very start ends the study with
// status 0 and a file that accounts for itself. The signals are blocked
// from before the fork, so that one sent before the manager's handlers are
// in place waits for them rather than ending the process.
TEST_F(ManagerFaultTest, AStopSignalAtAnyMomentFromTheStartEndsWithStatusZero) {
  std::mt19937 random(20260);
  std::uniform_int_distribution<int> delayUs(0, 50000);
  const std::string file = dir_ + "/s.bin";
  for (int round = 0; round < 100; ++round) {
    // Blocked here, before the fork: the child inherits the mask at once.
    sigset_t stop;
    sigset_t previous;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &stop, &previous);
    ManagerProcess run(dir_, {"--quiet", "--simulators", "2", "--binary", file, "--gpusim", GPUSIM_BINARY});
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    ::kill(run.Pid(), round % 2 ? SIGINT : SIGTERM);
    ASSERT_EQ(run.Wait(20), 0) << "round " << round << ": " << run.Err();
    ResultsReader reader;
    EXPECT_TRUE(reader.ReadFile(file, [](int, double) {})) << "round " << round;
    EXPECT_FALSE(reader.Damaged()) << "round " << round << ": " << reader.CountProblem();
  }
}

// A simulator that ends cleanly short of its share is named, with how short
// it fell, in the headline and in its row.
TEST_F(ManagerFaultTest, ASimulatorShortOfItsShareIsNamedWithItsShortfall) {
  ManagerProcess run(dir_, {"--quiet", "--simulators", "1", "--replications", "10000", "--gpusim", Hostile("half")});
  EXPECT_EQ(run.Wait(10), 3) << run.Err();
  EXPECT_NE(run.Out().find("; simulator 0 delivered 5000 of its 10000 replications."), std::string::npos) << run.Out();
  EXPECT_NE(run.Out().find("exit status 0; delivered 5000 of 10000 replications, 5000 short"), std::string::npos)
      << run.Out();
}

// A fixed-length study writes each simulator's blocks to a region foretold
// from its share: simulators that deliver less or more than foretold leave
// the merged file exactly as a study that spools every simulator (one with
// a time limit) writes it, in simulator order.
TEST_F(ManagerFaultTest, SimulatorsDeliveringMoreOrLessThanTheirShareLeaveTheMergedOrderIntact) {
  const std::string simulator = Hostile("uneven");
  std::vector<std::string> files;
  for (const bool timeLimit : {false, true}) {
    files.push_back(dir_ + (timeLimit ? "/spooled.bin" : "/placed.bin"));
    std::vector<std::string> words = {"--quiet", "--simulators", "5", "--replications", "12500", "--binary",
                                      files.back(), "--gpusim", simulator};
    if (timeLimit) words.insert(words.end(), {"--max-seconds", "1000"});
    ManagerProcess run(dir_, words);
    EXPECT_EQ(run.Wait(20), 3) << run.Err();  // two simulators fall short
  }
  EXPECT_TRUE(testprocess::ReadFile(files[0]) == testprocess::ReadFile(files[1]));  // not printed: 500 kB
  // Half, one report more, all, half, one report more.
  long observations = 0;
  ResultsReader reader;
  ASSERT_TRUE(reader.ReadFile(files[0], [&](int pv, double) { observations += pv == 0; }));
  EXPECT_EQ(observations, 1250 + 3500 + 2500 + 1250 + 3500);
}

// A study of a -N far beyond what the disk holds, meant to be stopped by
// hand, keeps every observation it made: its simulators' regions cannot be
// placed, so their blocks are spooled.
TEST_F(ManagerFaultTest, AStudyTooLargeForTheDiskStoppedByHandKeepsItsObservations) {
  const std::string file = dir_ + "/huge.bin";
  ManagerProcess run(dir_, {"--quiet", "--json", "--simulators", "2", "--replications", "1000000000000", "--binary",
                            file, "--gpusim", GPUSIM_BINARY});
  Track(run, 2);
  // Stopped once the first simulator's blocks reach the file (written in
  // place under its temporary name), however loaded the machine.
  for (int waited = 0; waited < 400 && PartialFileBytes("huge.bin") < 1000000; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(run.Pid(), SIGINT);
  ASSERT_EQ(run.Wait(30), 0) << run.Err();
  bool clean = false;
  const std::map<int, long> counts = managertest::CountFile(file, clean);
  EXPECT_TRUE(clean);
  EXPECT_GT(counts.count(0) ? counts.at(0) : 0, 0);
}

// Values near the largest double: the manager's mean is finite and agrees
// with gpusim-report's on the merged file.
TEST_F(ManagerFaultTest, MeansOfValuesNearTheLargestDoubleAgreeWithTheReport) {
  const std::string file = dir_ + "/huge.bin";
  ManagerProcess run(dir_, {"--quiet", "--simulators", "2", "--replications", "6000", "--csv", "--binary", file,
                            "--gpusim", Hostile("huge")});
  ASSERT_EQ(run.Wait(10), 0) << run.Err();
  const testprocess::Outcome report = testprocess::RunRedirected(
      std::string(GPUSIM_BUILD_DIR) + "/gpusim-report --csv '" + file + "'", dir_ + "/r.out", dir_ + "/r.err");
  ASSERT_EQ(report.status, 0) << report.err;
  const double manager = CsvMean(run.Out(), 0);
  const double reported = CsvMean(report.out, 0);
  // A third of each report of 1000 (334 values) holds 1e308.
  EXPECT_NEAR(manager, 0.334e308, 1e-12 * 1e308) << run.Out();
  EXPECT_NEAR(manager, reported, 1e-12 * std::fabs(reported)) << report.out;
}

// After command 2 a simulator may still deliver what it held back, and no
// more: empty blocks are malformed, and a flood is cut off at the bound,
// its process killed when it ignores SIGTERM.
TEST_F(ManagerFaultTest, AfterCommandTwoASimulatorDeliversAtMostItsHeldBackReports) {
  const std::string empty = dir_ + "/empty.bin";
  ManagerProcess emptyBlocks(dir_, {"--quiet", "--simulators", "1", "--max-seconds", "0.5", "--binary", empty,
                                    "--gpusim", Hostile("empty-after-quit")});
  EXPECT_EQ(emptyBlocks.Wait(10), 1) << emptyBlocks.Err();
  EXPECT_NE(emptyBlocks.Err().find("dropped: it sent a block without observations after command 2"), std::string::npos)
      << emptyBlocks.Err();
  bool clean = false;
  EXPECT_GT(CountFile(empty, clean)[0], 0);
  EXPECT_TRUE(clean);

  const std::string flood = dir_ + "/flood.bin";
  const double start = Now();
  ManagerProcess run(dir_, {"--quiet", "--simulators", "1", "--max-seconds", "0.5", "--report-size", "100",
                            "--binary", flood, "--gpusim", Hostile("flood")});
  Track(run, 1);
  EXPECT_EQ(run.Wait(20), 0) << run.Err();
  EXPECT_LT(Now() - start, 9.0);
  EXPECT_NE(run.Err().find("more than 50 reports after command 2; the rest is not read"), std::string::npos)
      << run.Err();
  // The flood went on after the cut: what it managed to send by then is
  // more than the manager kept.
  const long sent = std::atol(testprocess::ReadFile(dir_ + "/child").c_str());
  ::unlink((dir_ + "/child").c_str());
  const long merged = CountFile(flood, clean)[0];
  EXPECT_TRUE(clean);
  EXPECT_GT(merged, 0);
  EXPECT_LT(merged, sent);
}

// A precision study stops at the block that met its target: with reports of
// 100 (bursts of 2 500) and --rel-width 0.02, met at about 4 800
// observations, the median study overshoots by less than one burst per
// simulator.
TEST_F(ManagerFaultTest, APrecisionStudyOvershootsByLessThanABurstPerSimulator) {
  std::vector<long> observations;
  for (int study = 0; study < 5; ++study) {
    ManagerProcess run(dir_, {"--quiet", "--simulators", "2", "--rel-width", "0.02", "--report-size", "100",
                              "--seed", std::to_string(1000 + study), "--json", "--gpusim", GPUSIM_BINARY});
    ASSERT_EQ(run.Wait(), 0) << run.Err();
    const std::string out = run.Out();
    const std::size_t at = out.find("\"name\": \"write_ok\", \"observations\": ");
    ASSERT_NE(at, std::string::npos) << out;
    observations.push_back(std::atol(out.c_str() + at + 36));
  }
  std::sort(observations.begin(), observations.end());
  EXPECT_LE(observations[2], 4802 + 2 * 2500) << "median of " << observations.size() << " studies";
}

// The soft limit on open files is raised to the hard one; a study that
// cannot fit even then is refused before anything starts.
TEST_F(ManagerFaultTest, TheOpenFileLimitIsRaisedOrTheStudyRefusedBeforeItStarts) {
  const std::string gpusim = RecordedGpusim();
  ManagerProcess raised(dir_, {"--quiet", "--simulators", "12", "--replications", "12000", "--binary",
                               dir_ + "/r.bin", "--gpusim", gpusim},
                        [] {
                          rlimit low{40, 4096};
                          ::setrlimit(RLIMIT_NOFILE, &low);
                        });
  EXPECT_EQ(raised.Wait(), 0) << raised.Err();
  EXPECT_EQ(raised.Err().find("Too many open files"), std::string::npos) << raised.Err();

  ::unlink((dir_ + "/started").c_str());
  ManagerProcess refused(dir_, {"--quiet", "--simulators", "20", "--replications", "20000", "--binary",
                                dir_ + "/f.bin", "--gpusim", gpusim},
                         [] {
                           rlimit low{40, 40};
                           ::setrlimit(RLIMIT_NOFILE, &low);
                         });
  EXPECT_EQ(refused.Wait(), 2) << refused.Err();
  EXPECT_NE(refused.Err().find("open files"), std::string::npos) << refused.Err();
  EXPECT_FALSE(std::ifstream(dir_ + "/started").good());
  EXPECT_FALSE(std::ifstream(dir_ + "/f.bin").good());
}

}  // namespace
