// Whole studies: gpusim-manager with real gpusim processes over real
// sockets, and with stand-in simulators (shell scripts, and this test as
// the peer) for the faults a real simulator does not commit.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "manager/ManagerProcess.h"
#include "results/ResultsReader.h"
#include "protocol/WireFormat.h"

namespace {

using managertest::Alive;
using managertest::CountFile;
using managertest::ManagerProcess;

// The GPU model's exact means (README table), by variable number.
const double kExactMeans[] = {13, 1, 1, 3, 0, 467};

struct Row {
  long observations;
  double mean;
  double low;
  double high;
};

// The manager's --csv table, by variable number.
std::map<int, Row> CsvRows(const std::string& csv) {
  std::map<int, Row> rows;
  for (const std::string& line : testprocess::Lines(csv)) {
    int pv;
    char name[64];
    Row row;
    double sd;
    if (std::sscanf(line.c_str(), "%d,%63[^,],%ld,%lf,%lf,%lf,%lf", &pv, name, &row.observations, &row.mean, &sd,
                    &row.low, &row.high) == 7) {
      rows[pv] = row;
    }
  }
  return rows;
}

class ManagerStudyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gpusim-manager-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (pid_t pid : started_) EXPECT_FALSE(Alive(pid)) << "process " << pid << " was left running";
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  std::vector<std::string> Study(std::vector<std::string> words) {
    words.insert(words.begin(), {"--quiet", "--gpusim", GPUSIM_BINARY});
    return words;
  }
  // Remembers the manager's simulators, to check in TearDown that they ended.
  std::vector<pid_t> Track(const ManagerProcess& manager, std::size_t count) {
    std::vector<pid_t> children = manager.WaitForChildren(count);
    started_.insert(started_.end(), children.begin(), children.end());
    return children;
  }
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = dir_ + "/" + name;
    // Asked for its metadata first, as gpusim is, it names the GPU model's
    // variables.
    std::ofstream(path) << "#!/bin/sh\n"
                        << "case \" $* \" in *\" --metadata \"*) printf '# gpusim-metadata\\n"
                        << "variable=0,scheduling,interval-of-time,0:1\\n'; exit 0;; esac\n"
                        << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }

  // A stand-in simulator: a script that records its process id, announces
  // the port of a socket this test listens on, and sleeps. AcceptAndGreet
  // takes the manager's connection and greets it as the script would.
  std::string StandIn(int& listener) {
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener, 4), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    return Script("stand-in", "echo $$ > '" + dir_ + "/pid'; echo 'REGISTER:  Port: [" +
                                  std::to_string(ntohs(address.sin_port)) + "]'; exec sleep 30");
  }
  int AcceptAndGreet(int listener) {
    pollfd watched{listener, POLLIN, 0};
    if (::poll(&watched, 1, 10000) != 1) return -1;
    const int connection = ::accept(listener, nullptr, nullptr);
    const long pid = std::atol(testprocess::ReadFile(dir_ + "/pid").c_str());
    const unsigned char greeting[] = {0,
                                      0,
                                      0,
                                      10,
                                      255,
                                      1,
                                      static_cast<unsigned char>(pid >> 24),
                                      static_cast<unsigned char>(pid >> 16),
                                      static_cast<unsigned char>(pid >> 8),
                                      static_cast<unsigned char>(pid)};
    ::send(connection, greeting, sizeof greeting, MSG_NOSIGNAL);
    return connection;
  }

  std::string dir_;
  std::vector<pid_t> started_;
};

TEST_F(ManagerStudyTest, TwoSimulatorsMergeTheirReplicationsReproducibly) {
  const std::string first = dir_ + "/first.bin";
  ManagerProcess run(dir_, Study({"--simulators", "2", "--replications", "20000", "--csv", "--binary", first}));
  ASSERT_EQ(run.Wait(), 0) << run.Err();
  const std::map<int, Row> rows = CsvRows(run.Out());
  ASSERT_EQ(rows.size(), 6u) << run.Out();

  bool clean = false;
  const std::map<int, long> counts = CountFile(first, clean);
  EXPECT_TRUE(clean);
  ResultsReader reader;
  reader.ReadFile(first, [](int, double) {});
  EXPECT_EQ(reader.HeaderField("BATCHES"), "20000");
  for (const auto& [pv, row] : rows) {
    EXPECT_EQ(counts.at(pv), 20000) << pv;
    EXPECT_EQ(row.observations, 20000) << pv;
    EXPECT_LE(row.low, kExactMeans[pv]) << pv;
    EXPECT_GE(row.high, kExactMeans[pv]) << pv;
  }

  // gpusim-report reads the merged file and finds the manager's figures.
  const testprocess::Outcome report = testprocess::RunRedirected(
      std::string(GPUSIM_BUILD_DIR) + "/gpusim-report --csv '" + first + "'", dir_ + "/r.out", dir_ + "/r.err");
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(CsvRows(report.out).size(), 6u);
  for (const auto& [pv, row] : CsvRows(report.out)) {
    EXPECT_EQ(row.observations, rows.at(pv).observations);
    EXPECT_NEAR(row.mean, rows.at(pv).mean, 1e-12 * std::fabs(row.mean));
    EXPECT_NEAR(row.low, rows.at(pv).low, 1e-9 * (1 + std::fabs(row.low)));
  }

  const std::string second = dir_ + "/second.bin";
  ManagerProcess again(dir_, Study({"--simulators", "2", "--replications", "20000", "--binary", second}));
  ASSERT_EQ(again.Wait(), 0) << again.Err();
  EXPECT_EQ(testprocess::ReadFile(first), testprocess::ReadFile(second));
}

// A simulator with one replication to do accepts, delivers and ends at once,
// often before the manager has read its greeting: what it sent is still
// merged, every time.
// The manager learns a model file's variables from its simulator: its
// summary in every form, the merged file's metadata and gpusim-report's
// reading of that file all name them.
TEST_F(ManagerStudyTest, AModelFilesNamesReachTheSummaryAndTheMergedFile) {
  const std::string model = std::string(GPUSIM_SOURCE_DIR) + "/models/repairman.san";
  const std::vector<std::string> names = {"down_at", "all_busy_at", "utilisation", "repairs"};
  int study = 0;
  for (const std::string style : {"--csv", "--json", ""}) {
    const std::string merged = dir_ + "/r" + std::to_string(++study) + ".bin";
    std::vector<std::string> words = {"--simulators", "2", "--replications", "40", "--binary", merged};
    if (!style.empty()) words.push_back(style);
    words.insert(words.end(), {"--", "--model", model});
    ManagerProcess run(dir_, Study(words));
    ASSERT_EQ(run.Wait(), 0) << style << run.Err();
    const testprocess::Outcome report = testprocess::RunRedirected(
        std::string(GPUSIM_BUILD_DIR) + "/gpusim-report " + style + " '" + merged + "'", dir_ + "/r.out",
        dir_ + "/r.err");
    ASSERT_EQ(report.status, 0) << report.err;
    for (const std::string& name : names) {
      EXPECT_NE(run.Out().find(name), std::string::npos) << style << " " << name << "\n" << run.Out();
      EXPECT_NE(report.out.find(name), std::string::npos) << style << " " << name << "\n" << report.out;
    }
    EXPECT_EQ(run.Out().find("scheduling"), std::string::npos) << run.Out();

    const std::string meta = testprocess::ReadFile(merged + ".meta");
    for (const std::string& line : {"\nresults=" + merged + "\n", "\nmodel=" + model + "\n",
                                    std::string("\nsimulation=terminating\n"), std::string("\nbase_seed=31415\n"),
                                    std::string("\nsimulator=0,"), std::string("\nsimulator=1,"),
                                    std::string("\nvariable=5,utilisation,interval-of-time,0:20\n")}) {
      EXPECT_NE(meta.find(line), std::string::npos) << line << " in\n" << meta;
    }
    EXPECT_EQ(meta.find("\nseed="), std::string::npos) << "the simulators' own seeds are listed instead";
  }
}

TEST_F(ManagerStudyTest, ASimulatorThatEndsBeforeItsGreetingIsReadStillDelivers) {
  for (int run = 0; run < 20; ++run) {
    ManagerProcess study(dir_, Study({"--simulators", "2", "--replications", "2", "--csv"}));
    ASSERT_EQ(study.Wait(), 0) << "run " << run << ": " << study.Err();
    for (const auto& [pv, row] : CsvRows(study.Out())) EXPECT_EQ(row.observations, 2) << "run " << run;
  }
}

TEST_F(ManagerStudyTest, ARelativeWidthStudyStopsWithEveryVariableWithinTheTarget) {
  ManagerProcess run(dir_, Study({"--simulators", "2", "--rel-width", "0.02", "--min-replications", "30000",
                                  "--csv", "--binary", dir_ + "/w.bin"}));
  ASSERT_EQ(run.Wait(), 0) << run.Err();
  const std::map<int, Row> rows = CsvRows(run.Out());
  ASSERT_EQ(rows.size(), 6u) << run.Out();
  for (const auto& [pv, row] : rows) {
    EXPECT_GE(row.observations, 30000) << pv;
    EXPECT_LE((row.high - row.low) / 2, 0.02 * std::fabs(row.mean) + 1e-12) << pv;
  }
  EXPECT_NE(run.Out().find(",met\n"), std::string::npos);
  EXPECT_EQ(run.Out().find(",not met\n"), std::string::npos) << run.Out();
  EXPECT_NE(run.Err().find("Study: 2 simulators, "), std::string::npos) << "why it stopped\n" << run.Err();
  bool clean = false;
  EXPECT_EQ(CountFile(dir_ + "/w.bin", clean).at(1), rows.at(1).observations);
  EXPECT_TRUE(clean);
}

// A simulator killed mid-study: the study goes on with the other, keeps what
// the lost one sent, names it, and ends short of its target.
TEST_F(ManagerStudyTest, AKilledSimulatorIsNamedAndWhatItSentIsKept) {
  const std::string file = dir_ + "/k.bin";
  ManagerProcess run(dir_, Study({"--simulators", "2", "--replications", "1000000000", "--max-seconds", "3",
                                  "--binary", file}));
  const std::vector<pid_t> simulators = Track(run, 2);
  ASSERT_EQ(simulators.size(), 2u);
  ManagerProcess::Sleep(1.0);
  ::kill(simulators[0], SIGKILL);
  EXPECT_EQ(run.Wait(), 3) << run.Err();
  EXPECT_NE(run.Out().find("lost: ended: killed by signal 9"), std::string::npos) << run.Out();
  EXPECT_NE(run.Err().find("lost: killed by signal 9"), std::string::npos) << run.Err();
  bool clean = false;
  std::map<int, long> counts = CountFile(file, clean);
  EXPECT_TRUE(clean);
  EXPECT_GT(counts[0], 0);
}

TEST_F(ManagerStudyTest, EverySimulatorDeadIsAFailureWithTheResultsSoFarWritten) {
  const std::string file = dir_ + "/d.bin";
  ManagerProcess run(dir_, Study({"--simulators", "2", "--replications", "1000000000", "--binary", file}));
  const std::vector<pid_t> simulators = Track(run, 2);
  ASSERT_EQ(simulators.size(), 2u);
  ManagerProcess::Sleep(0.5);
  for (pid_t pid : simulators) ::kill(pid, SIGKILL);
  EXPECT_EQ(run.Wait(), 1) << run.Err();
  EXPECT_NE(run.Out().find("every simulator was lost"), std::string::npos) << run.Out();
  bool clean = false;
  CountFile(file, clean);
  EXPECT_TRUE(clean);
}

TEST_F(ManagerStudyTest, SigintOrSigtermStopsEverySimulatorAndKeepsEverything) {
  for (int signalNumber : {SIGINT, SIGTERM}) {
    const std::string file = dir_ + "/s.bin";
    ManagerProcess run(dir_, Study({"--simulators", "2", "--replications", "1000000000", "--json", "--binary", file}));
    ASSERT_EQ(Track(run, 2).size(), 2u);
    ManagerProcess::Sleep(1.0);
    ::kill(run.Pid(), signalNumber);
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    EXPECT_NE(run.Out().find("\"stopped\": \"stopped by a signal\""), std::string::npos) << run.Out();
    EXPECT_EQ(run.Out().find("\"lost\": true"), std::string::npos) << run.Out();
    bool clean = false;
    std::map<int, long> counts = CountFile(file, clean);
    EXPECT_TRUE(clean);
    EXPECT_GT(counts[5], 0);
    std::ostringstream expected;
    expected << "\"observations\": " << counts[5] << ", \"mean\"";
    EXPECT_NE(run.Out().find(expected.str()), std::string::npos) << run.Out();
  }
}

TEST_F(ManagerStudyTest, ASimulatorThatNeverRegistersOrNeverAcceptsTimesOut) {
  // The stand-in's socket listens but nobody accepts: connecting succeeds,
  // the greeting never comes.
  int listener = -1;
  struct Case {
    std::string script;
    const char* message;
  };
  const Case cases[] = {
      {Script("silent", "exec sleep 30"), "printed no REGISTER line within 1 s"},
      {StandIn(listener), "sent no greeting within 1 s"},
  };
  for (const Case& c : cases) {
    ManagerProcess run(dir_, {"--quiet", "--simulators", "1", "--start-timeout", "1", "--gpusim", c.script});
    Track(run, 1);
    EXPECT_EQ(run.Wait(), 1) << run.Err();
    EXPECT_NE(run.Err().find(c.message), std::string::npos) << run.Err();
  }
  ::close(listener);
}

TEST_F(ManagerStudyTest, AMalformedOrOversizedBlockDropsThePeer) {
  int listener = -1;
  const std::string standIn = StandIn(listener);
  struct Case {
    std::string block;
    const char* message;
  };
  const Case cases[] = {
      {std::string("\0\0\0\x18\0\0\0\0\x01\0\0\x05\0\0\0\x01", 16) + std::string(8, '\0'), "kind 5"},
      {std::string("\x7f\xff\xff\xf0\0\0\0\0\0", 9), "over the limit"},
  };
  for (const Case& c : cases) {
    ManagerProcess run(dir_, {"--quiet", "--simulators", "1", "--gpusim", standIn});
    Track(run, 1);
    const int connection = AcceptAndGreet(listener);
    ASSERT_GE(connection, 0);
    ::send(connection, c.block.data(), c.block.size(), MSG_NOSIGNAL);
    EXPECT_EQ(run.Wait(), 1) << run.Err();
    EXPECT_NE(run.Err().find("dropped"), std::string::npos) << run.Err();
    EXPECT_NE(run.Err().find(c.message), std::string::npos) << run.Err();
    ::close(connection);
  }
  ::close(listener);
}

// The GPU model has no variable with mean 0 and spread: the stand-in sends
// one (-1 and 1 in turn) beside a constant one.
TEST_F(ManagerStudyTest, AMeanOfZeroWithSpreadStopsWithAClearMessageNotAnEndlessRun) {
  int listener = -1;
  const std::string standIn = StandIn(listener);
  ManagerProcess run(dir_, {"--quiet", "--simulators", "1", "--rel-width", "0.01", "--min-replications", "500",
                            "--gpusim", standIn});
  Track(run, 1);
  const int connection = AcceptAndGreet(listener);
  ASSERT_GE(connection, 0);
  std::vector<double> values(2000, 5.0);
  for (int j = 0; j < 1000; ++j) values[j] = j % 2 ? 1.0 : -1.0;
  const std::int32_t counts[] = {1000, 1000};
  const std::string block = protocol::EncodeBlock(0, 0, counts, values.data(), 2, 1000);
  ::send(connection, block.data(), block.size(), MSG_NOSIGNAL);

  pollfd watched{connection, POLLIN, 0};
  unsigned char command = 0;
  ASSERT_EQ(::poll(&watched, 1, 10000), 1);
  ASSERT_EQ(::recv(connection, &command, 1, 0), 1);
  EXPECT_EQ(command, 2) << "the manager stops its simulators";
  ::close(connection);
  ::kill(static_cast<pid_t>(std::atol(testprocess::ReadFile(dir_ + "/pid").c_str())), SIGTERM);
  EXPECT_EQ(run.Wait(), 3) << run.Err();
  EXPECT_NE(run.Err().find("variable 0 (scheduling) has a mean of 0"), std::string::npos) << run.Err();
  EXPECT_NE(run.Err().find("give --abs-width"), std::string::npos) << run.Err();
  ::close(listener);
}

TEST_F(ManagerStudyTest, BadCommandLinesAreRefusedWithStatusTwoAndNothingStarted) {
  const std::vector<std::vector<std::string>> cases = {
      {"--frobnicate"},
      {"--simulators", "0"},
      {"--rel-width", "1.5"},
      {"--confidence", "0"},
      {"--gpusim", dir_ + "/no-such-gpusim"},
  };
  for (const std::vector<std::string>& words : cases) {
    ManagerProcess run(dir_, words);
    EXPECT_EQ(run.Wait(), 2) << words[0];
    EXPECT_NE(run.Err().find("Usage: gpusim-manager"), std::string::npos) << run.Err();
  }
  ManagerProcess help(dir_, {"--help"});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_EQ(help.Out().find("Usage: gpusim-manager"), 0u);
  ManagerProcess version(dir_, {"-V"});
  EXPECT_EQ(version.Wait(), 0);
  EXPECT_EQ(version.Out(), std::string("gpusim-manager ") + GPUSIM_VERSION + "\n");
}

}  // namespace
