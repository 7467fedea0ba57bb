// A real gpusim process against a hostile or careless peer written here on
// raw sockets, and against careless command lines: whatever happens, no file
// it should not touch is destroyed, no wait is unbounded, the files stay
// whole with counts that match their contents, and the exit status tells
// success from failure.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "output/ManagerClient.h"
#include "output/SimulatorProcess.h"

namespace {

using namespace simprocess;
using Clock = std::chrono::steady_clock;

// Closes with a reset instead of an orderly end.
void ResetClose(manager::Client& client) {
  const linger abort{1, 0};
  ::setsockopt(client.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  client.Close();
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class HostilePeerTest : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/gpusim-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    ascii_ = dir_ + "/r.txt";
    binary_ = dir_ + "/r.bin";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Starts a run that waits for the manager, connects to it and reads the
  // greeting.
  std::unique_ptr<SimulatorProcess> StartConnected(const std::vector<std::string>& extra, manager::Client& client,
                                                   const std::vector<std::string>& environment = {}) {
    std::vector<std::string> arguments = {"-w", "-p", "0", "-a", ascii_};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    auto sim = std::make_unique<SimulatorProcess>(arguments, dir_, environment);
    const unsigned short port = sim->RegisteredPort();
    EXPECT_NE(port, 0) << sim->Errors();
    EXPECT_TRUE(client.Connect(port));
    EXPECT_EQ(client.Read(10), GreetingBytes(sim->Pid()));
    return sim;
  }

  // The ASCII file (and the binary file, when the run has one) are whole and
  // count what they hold; returns the ASCII file's count.
  long ExpectConsistentFiles(bool withBinary) {
    const long batches = ConsistentAsciiBatches(ascii_);
    EXPECT_GE(batches, 0) << testprocess::ReadFile(ascii_).substr(0, 300);
    if (withBinary) {
      long claimed = -2;
      EXPECT_EQ(BinaryObservations(binary_, &claimed), claimed);
      EXPECT_EQ(claimed, batches);
    }
    return batches;
  }

  std::string dir_, ascii_, binary_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Command 3
// ---------------------------------------------------------------------------

TEST_F(HostilePeerTest, CommandThreeDestroysNothingItShouldNot) {
  const struct {
    const char* what;
    std::function<std::string(const std::string& dir)> prepare;  // returns the name to send
    std::string protectedFile;                                      // keeps "keep me"
  } cases[] = {
      {"a file that is not ours", [](const std::string& d) { WriteFile(d + "/.profile", "keep me"); return d + "/.profile"; },
       "/.profile"},
      {"a symbolic link", [](const std::string& d) {
         WriteFile(d + "/target", "keep me");
         EXPECT_EQ(::symlink((d + "/target").c_str(), (d + "/link").c_str()), 0);
         return d + "/link";
       }, "/target"},
      {"a dangling symbolic link", [](const std::string& d) {
         EXPECT_EQ(::symlink((d + "/made").c_str(), (d + "/dangling").c_str()), 0);
         return d + "/dangling";
       }, ""},
      {"the run's own ASCII file", [](const std::string& d) { return d + "/r.txt"; }, ""},
      {"a FIFO", [](const std::string& d) {
         EXPECT_EQ(::mkfifo((d + "/fifo").c_str(), 0600), 0);
         return d + "/fifo";
       }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = c.prepare(dir_);
    manager::Client client;
    auto sim = StartConnected({"-n", "100"}, client);
    ASSERT_TRUE(client.Send("\x03" + name + ";2000;;"));
    int blocks = 0;
    EXPECT_EQ(ReadUntilReply(client, &blocks).reply.code, 3);
    EXPECT_TRUE(client.AtEnd());
    EXPECT_EQ(sim->Wait(20000), 1);
    EXPECT_NE(sim->Errors().find("ERROR: Cannot open the binary results file '" + name + "'"), std::string::npos)
        << sim->Errors();
    EXPECT_EQ(sim->Output().find("GOOD EXIT"), std::string::npos);
    ExpectConsistentFiles(false);
    if (!c.protectedFile.empty()) {
      EXPECT_EQ(testprocess::ReadFile(dir_ + c.protectedFile), "keep me");
    }
    EXPECT_FALSE(std::ifstream(dir_ + "/made").good());
    std::remove(ascii_.c_str());
  }
}

TEST_F(HostilePeerTest, CommandThreeReplacesAResultsFileOfOursAndKeepsTheBatchLimit) {
  // An earlier run's binary file may be replaced; a count of 0 must not lift
  // the limit of 3000.
  const std::string named = dir_ + "/earlier.bin";
  SimulatorProcess earlier({"-N", "2", "-b", named}, dir_);
  ASSERT_EQ(earlier.Wait(), 0);
  SimulatorProcess sim({"-w", "-p", "0", "-a", ascii_, "-n", "100", "-N", "3000"}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort()));
  // Sent at once, so that it is waiting when the first report is handed over.
  ASSERT_TRUE(client.Send("\x03" + named + ";0;;"));
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  int blocksToManager = 0;
  EXPECT_EQ(ReadUntilReply(client, &blocksToManager).reply.code, 3);
  EXPECT_EQ(sim.Wait(20000), 0) << sim.Errors();
  EXPECT_EQ(ExpectConsistentFiles(false), 3000);
  long claimed = 0;
  EXPECT_EQ(BinaryObservations(named, &claimed) + 100 * blocksToManager, 3000);
  // The file claims what follows the hand-over: all 3000 when command 3 is
  // read before the first report, less what reached the manager when a
  // loaded machine let reports go first.
  EXPECT_EQ(claimed, 3000 - 100 * blocksToManager);
}

TEST_F(HostilePeerTest, AnUnfinishedCommandThreeEndsTheRunWithinItsLimit) {
  for (const std::string command : {"\x03", "\x03" "abc;5;"}) {
    manager::Client client;
    auto sim = StartConnected({"-n", "100", "-b", binary_}, client, {"GPUSIM_PEER_WAIT_MS=300"});
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(client.Send(command));
    EXPECT_EQ(sim->Wait(20000), 1);
    EXPECT_LT(SecondsSince(start), 10.0);
    EXPECT_NE(sim->Errors().find("ERROR: The simulation manager left command 3 unfinished for 300 ms"),
              std::string::npos)
        << sim->Errors();
    ExpectConsistentFiles(true);
  }
}

TEST_F(HostilePeerTest, AStopSignalEndsTheWaitForTheRestOfCommandThree) {
  manager::Client client;
  auto sim = StartConnected({"-n", "100", "-b", binary_}, client);
  ASSERT_TRUE(client.Send("\x03"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the run now waits for the rest
  const Clock::time_point start = Clock::now();
  sim->Signal(SIGINT);
  EXPECT_EQ(sim->Wait(20000), 0) << sim->Errors();
  EXPECT_LT(SecondsSince(start), 4.0) << "well inside the 5 s limit";
  ExpectConsistentFiles(true);
}

// ---------------------------------------------------------------------------
// A manager that stops reading, quits or resets
// ---------------------------------------------------------------------------

TEST_F(HostilePeerTest, AManagerThatNeverReadsIsGivenUpAfterTheSendLimit) {
  manager::Client client;
  auto sim = StartConnected({"-n", "100", "-b", binary_}, client,
                            {"GPUSIM_PEER_WAIT_MS=500", "GPUSIM_SEND_BUFFER_BYTES=16384"});
  EXPECT_EQ(sim->Wait(30000), 1);
  EXPECT_NE(sim->Errors().find("ERROR: Sending to the simulation manager failed: it did not take a message within 500 ms"),
            std::string::npos)
      << sim->Errors();
  EXPECT_EQ(sim->Output().find("GOOD EXIT"), std::string::npos);
  EXPECT_GT(ExpectConsistentFiles(true), 0);
}

TEST_F(HostilePeerTest, SigtermStopsARunBlockedOnAManagerThatNeverReads) {
  manager::Client client;
  auto sim = StartConnected({"-n", "100", "-b", binary_}, client, {"GPUSIM_SEND_BUFFER_BYTES=16384"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // long enough to fill the connection
  const Clock::time_point start = Clock::now();
  sim->Signal(SIGTERM);
  EXPECT_EQ(sim->Wait(20000), 0) << sim->Errors();
  EXPECT_LT(SecondsSince(start), 4.0);
  EXPECT_GT(ExpectConsistentFiles(true), 0);
}

TEST_F(HostilePeerTest, QuitAfterAWhileStillWritesTheReportsHeldBack) {
  manager::Client client;
  auto sim = StartConnected({"-n", "100", "-b", binary_}, client);
  for (int i = 0; i < 300; ++i) ASSERT_NE(ReadMessage(client).kind, Message::kNone);
  ASSERT_TRUE(client.Send("\x02"));
  ReadToTheEnd(client);
  EXPECT_EQ(sim->Wait(20000), 0) << sim->Errors();
  EXPECT_GE(ExpectConsistentFiles(true), 150 * 100);
  EXPECT_NE(sim->Output().find("GOOD EXIT"), std::string::npos);
}

TEST_F(HostilePeerTest, AResetEndsTheRunAsAFailureWithWholeFiles) {
  for (const int blocksFirst : {100, 0}) {
    SCOPED_TRACE(blocksFirst);
    manager::Client client;
    auto sim = StartConnected({"-n", "100", "-b", binary_}, client);
    for (int blocks = 0; blocks < blocksFirst;) {
      const Message m = ReadMessage(client);
      ASSERT_NE(m.kind, Message::kNone);
      blocks += m.kind == Message::kBlock;
    }
    ResetClose(client);
    EXPECT_EQ(sim->Wait(20000), 1);
    const std::string errors = sim->Errors();
    EXPECT_TRUE(errors.find("ERROR: The simulation manager reset the connection") != std::string::npos ||
                errors.find("ERROR: Sending to the simulation manager failed: it reset the connection") !=
                    std::string::npos)
        << errors;
    EXPECT_GE(ExpectConsistentFiles(true), blocksFirst * 100);
  }
}

// ---------------------------------------------------------------------------
// Careless use
// ---------------------------------------------------------------------------

TEST_F(HostilePeerTest, TwoOutputsNamingOneFileAreRefusedBeforeAnythingIsWritten) {
  const std::string x = dir_ + "/x";
  const struct {
    std::string arguments;
    std::string message;
  } cases[] = {
      {"-a " + x + " -b " + x, "ERROR: The ASCII results file '" + x + "' and the binary results file '" + x +
                                   "' are the same file"},
      {"-a " + x + " -b " + dir_ + "/./x", "are the same file"},
      {"-a " + x + ".txt -f " + x, "and the plain-text trace '" + x + ".txt' are the same file"},
      {"-b " + x + ".xml -f " + x + " -x", "and the XML trace '" + x + ".xml' are the same file"},
  };
  for (const auto& c : cases) {
    for (const char* suffix : {"", ".txt", ".xml"}) WriteFile(x + suffix, "keep me");
    const testprocess::Outcome r =
        testprocess::RunRedirected(std::string(GPUSIM_BINARY) + " -N 5 " + c.arguments, dir_ + "/o", dir_ + "/e");
    EXPECT_EQ(r.status, 1) << c.arguments;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    for (const char* suffix : {"", ".txt", ".xml"}) EXPECT_EQ(testprocess::ReadFile(x + suffix), "keep me");
  }
}

TEST_F(HostilePeerTest, ATraceThatCannotBeWrittenStopsTheRunAsAFailure) {
  if (!std::ifstream("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
  ASSERT_EQ(::symlink("/dev/full", (dir_ + "/t.txt").c_str()), 0);
  SimulatorProcess sim({"-n", "10", "-a", ascii_, "-f", dir_ + "/t", "-m"}, dir_);
  EXPECT_EQ(sim.Wait(20000), 1);
  EXPECT_NE(sim.Errors().find("ERROR: Unable to write trace file '" + dir_ + "/t.txt'; stopping the run"),
            std::string::npos)
      << sim.Errors();
  EXPECT_EQ(sim.Output().find("GOOD EXIT"), std::string::npos);
  ExpectConsistentFiles(false);
}

TEST_F(HostilePeerTest, ASignalWhileWaitingForTheManagerLeavesCompleteFiles) {
  SimulatorProcess sim({"-w", "-p", "0", "-a", ascii_}, dir_);
  ASSERT_NE(sim.RegisteredPort(), 0);
  sim.Signal(SIGINT);
  EXPECT_EQ(sim.Wait(5000), 0);
  EXPECT_NE(sim.Errors().find("Stopped by a signal while waiting for the simulation manager"), std::string::npos);
  EXPECT_EQ(ExpectConsistentFiles(false), 0);
}

TEST_F(HostilePeerTest, AClosedStandardOutputEndsTheRunWithCompleteFiles) {
  // head leaves after one byte; the plain trace on standard output then
  // meets a closed pipe.
  const std::string command = "bash -c '\"$0\" -m -a " + ascii_ + " | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}' " +
                              std::string(GPUSIM_BINARY);
  const testprocess::Outcome r = testprocess::RunRedirected("timeout 60 " + command, dir_ + "/o", dir_ + "/e");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("ERROR: Unable to write the trace on standard output; stopping the run"), std::string::npos)
      << r.err;
  EXPECT_GT(ExpectConsistentFiles(false), 0);
}
