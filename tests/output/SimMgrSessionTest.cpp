// Whole sessions between a real gpusim process and a test manager on
// loopback: the manager reads the REGISTER line, connects, and checks every
// byte it is sent against the protocol.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "output/ManagerClient.h"
#include "output/SimulatorProcess.h"

namespace {

using namespace simprocess;

class SimMgrSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/gpusim-session-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string dir_;
};

}  // namespace

TEST_F(SimMgrSessionTest, ManagerIsGreetedWithTheProcessId) {
  // Port 0: the system picks a free port, so parallel tests never collide.
  SimulatorProcess sim({"-w", "-p", "0", "-N", "1", "-n", "1"}, dir_);
  ASSERT_GT(sim.Pid(), 0);
  const unsigned short port = sim.RegisteredPort();
  ASSERT_NE(port, 0) << sim.Output() << sim.Errors();
  manager::Client client;
  ASSERT_TRUE(client.Connect(port));
  EXPECT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  ReadToTheEnd(client);
  EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
}

TEST_F(SimMgrSessionTest, TheListenAddressOptionListensOnThatAddressOnly) {
  // The whole of 127/8 reaches this machine: a listener on 127.0.0.2 alone
  // refuses 127.0.0.1.
  SimulatorProcess sim({"-w", "-p", "0", "-i", "127.0.0.2", "-N", "1", "-n", "1"}, dir_);
  const unsigned short port = sim.RegisteredPort();
  ASSERT_NE(port, 0) << sim.Output() << sim.Errors();
  EXPECT_NE(sim.Output().find("Listen Address: 127.0.0.2\n"), std::string::npos) << sim.Output();
  manager::Client elsewhere;
  EXPECT_FALSE(elsewhere.Connect(port, "127.0.0.1"));
  manager::Client client;
  ASSERT_TRUE(client.Connect(port, "127.0.0.2"));
  EXPECT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  ReadToTheEnd(client);
  EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
}

TEST_F(SimMgrSessionTest, AListenAddressNotOfThisMachineEndsTheRunAtOnce) {
  SimulatorProcess sim({"-w", "-p", "0", "-i", "192.0.2.1", "-N", "1"}, dir_);
  EXPECT_EQ(sim.Wait(), 1);
  EXPECT_NE(sim.Errors().find("ERROR: Cannot listen for the simulation manager on 192.0.2.1"), std::string::npos)
      << sim.Errors();
  EXPECT_EQ(sim.Output().find("REGISTER"), std::string::npos);
}

TEST_F(SimMgrSessionTest, ABusyDefaultPortMovesTheListenerToTheNextFreeOne) {
  // Hold port 10000 (retrying while someone else briefly has it); if it
  // stays taken by another process it is busy all the same.
  manager::Client holder;
  int fd = -1;
  for (int attempt = 0; attempt < 50 && fd < 0; ++attempt) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(10000);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0) {
      ::close(fd);
      fd = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (fd < 0) GTEST_SKIP() << "port 10000 stayed in use by another process, which could free it at any time";
  manager::Client holding(fd);

  SimulatorProcess sim({"-w", "-N", "1", "-n", "1"}, dir_);
  const unsigned short port = sim.RegisteredPort();
  EXPECT_GT(port, 10000) << sim.Output();
  EXPECT_LT(port, 10100);
  manager::Client client;
  ASSERT_TRUE(client.Connect(port));
  EXPECT_EQ(client.Read(10), GreetingBytes(sim.Pid())) << "the announced port is the one listening";
  ReadToTheEnd(client);
  EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
}

TEST_F(SimMgrSessionTest, ABinaryFileThatCannotBeCreatedStopsTheStart) {
  SimulatorProcess sim({"-b", dir_ + "/no-such-dir/run.bin", "-N", "1"}, dir_);
  EXPECT_EQ(sim.Wait(), 1);
  EXPECT_NE(sim.Errors().find("ERROR: Cannot open the binary results file '" + dir_ + "/no-such-dir/run.bin'"),
            std::string::npos)
      << sim.Errors();
  EXPECT_EQ(sim.Output().find("GOOD EXIT"), std::string::npos);
}

TEST_F(SimMgrSessionTest, ABatchLimitStreamsEveryReportAndEndsTheRun) {
  const std::string path = dir_ + "/run.bin";
  SimulatorProcess sim({"-w", "-p", "0", "-N", "2500", "-n", "1000", "-c", "300", "-e", "0", "-b", path}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));

  std::vector<std::string> wireBlocks;
  double lastSeconds = 0.0;
  for (const int expectedCount : {1000, 1000, 500}) {
    const Message cpu = ReadMessage(client);
    ASSERT_EQ(cpu.kind, Message::kCPUTime);
    EXPECT_EQ(cpu.cpu.marker, 254);
    EXPECT_EQ(cpu.cpu.client, 44) << "300 keeps its low 8 bits";
    EXPECT_EQ(cpu.cpu.experiment, 0);
    EXPECT_GE(cpu.cpu.seconds, lastSeconds);
    lastSeconds = cpu.cpu.seconds;

    const Message block = ReadMessage(client);
    ASSERT_EQ(block.kind, Message::kBlock);
    EXPECT_EQ(block.block.client, 44);
    ASSERT_EQ(block.block.entries.size(), 6u);
    for (std::size_t pv = 0; pv < 6; ++pv) {
      EXPECT_EQ(block.block.entries[pv].pv, static_cast<int>(pv));
      EXPECT_EQ(block.block.entries[pv].kind, 1);
      EXPECT_EQ(block.block.entries[pv].count, expectedCount);
    }
    wireBlocks.push_back(block.block.bytes);
  }
  EXPECT_TRUE(client.AtEnd()) << "nothing follows the last report";
  EXPECT_EQ(sim.Wait(), 0) << sim.Errors();

  std::string header;
  EXPECT_EQ(FileBlocks(path, &header), wireBlocks) << "the file holds the blocks that went on the wire";
  EXPECT_NE(header.find(",BATCHES=2500,,"), std::string::npos) << header;
}

TEST_F(SimMgrSessionTest, StatusAndInvalidCommandsLeaveTheRunGoing) {
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1"}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  ASSERT_TRUE(client.Send("\x09\x01"));
  int blocks = 0;
  const Message reply = ReadUntilReply(client, &blocks);
  ASSERT_EQ(reply.kind, Message::kReply);
  EXPECT_EQ(reply.reply.marker, 255);
  EXPECT_EQ(reply.reply.code, 1);
  EXPECT_EQ(reply.reply.processId, static_cast<std::uint32_t>(sim.Pid()));

  int blocksAfter = 0;
  for (int i = 0; i < 100 && blocksAfter < 3; ++i) {
    const Message m = ReadMessage(client);
    ASSERT_NE(m.kind, Message::kNone) << "the run goes on";
    EXPECT_NE(m.kind, Message::kReply);
    if (m.kind == Message::kBlock) ++blocksAfter;
  }
  ASSERT_TRUE(client.Send("\x02"));
  while (ReadMessage(client).kind != Message::kNone) {
  }
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_NE(sim.Errors().find("!! Invalid Response Received by Client \n!! Simulation\n"), std::string::npos);
}

TEST_F(SimMgrSessionTest, QuitStopsAnUnlimitedRunPromptly) {
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1"}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  for (int i = 0; i < 4; ++i) ASSERT_NE(ReadMessage(client).kind, Message::kNone);
  ASSERT_TRUE(client.Send("\x02"));

  bool quitAnswered = false;
  int blocksAfterQuit = 0;
  for (Message m = ReadMessage(client); m.kind != Message::kNone; m = ReadMessage(client)) {
    if (m.kind == Message::kReply) {
      EXPECT_EQ(m.reply.marker, 254);
      EXPECT_EQ(m.reply.code, 2);
      quitAnswered = true;
    } else if (quitAnswered && m.kind == Message::kBlock) {
      ++blocksAfterQuit;
    }
  }
  EXPECT_TRUE(quitAnswered);
  // At most the reports that the throttle was holding when the quit arrived.
  EXPECT_LE(blocksAfterQuit, 25);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_NE(sim.Output().find("SOCKET::Quit\n"), std::string::npos);
}

TEST_F(SimMgrSessionTest, FileCommandHandsTheRunOverToABinaryFile) {
  const std::string named = dir_ + "/named.bin";
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1"}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_TRUE(client.Send("\x03" + named + ";7;;"));
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  int blocksToManager = 0;
  const Message reply = ReadUntilReply(client, &blocksToManager);
  ASSERT_EQ(reply.kind, Message::kReply);
  EXPECT_EQ(reply.reply.marker, 255);
  EXPECT_EQ(reply.reply.code, 3);
  EXPECT_TRUE(client.AtEnd());
  EXPECT_EQ(sim.Wait(), 0) << "the limit of 7 ends the run" << sim.Errors();

  // Each report is one replication: the manager's and the file's together
  // make up the run, which the limit ends at 7 unless it was past that when
  // the command arrived.
  std::string header;
  const int blocksToFile = static_cast<int>(FileBlocks(named, &header).size());
  const int batches = blocksToManager + blocksToFile;
  EXPECT_GE(batches, 7);
  if (blocksToManager == 0) {
    EXPECT_EQ(batches, 7);
  }
  // The file's count is of the blocks it holds, not of the whole run.
  EXPECT_NE(header.find(",BATCHES=" + std::to_string(blocksToFile) + ",,"), std::string::npos) << header;
}

TEST_F(SimMgrSessionTest, FileCommandKeepsTheFileAndLimitGivenOnTheCommandLine) {
  const std::string given = dir_ + "/given.bin";
  const std::string named = dir_ + "/named.bin";
  // Long enough a run that command 3 is read before the run ends on its own.
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1", "-N", "2000", "-b", given}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_TRUE(client.Send("\x03" + named + ";7;;"));
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  int blocksToManager = 0;
  EXPECT_EQ(ReadUntilReply(client, &blocksToManager).reply.code, 3);
  EXPECT_TRUE(client.AtEnd());
  EXPECT_EQ(sim.Wait(), 0) << sim.Errors();

  std::string header;
  EXPECT_EQ(FileBlocks(given, &header).size(), 2000u);
  EXPECT_NE(header.find(",BATCHES=2000,,"), std::string::npos) << header;
  EXPECT_FALSE(std::ifstream(named).good());
}

TEST_F(SimMgrSessionTest, AManagerThatHangsUpStopsTheRunAsAFailureAndTheFileStaysWhole) {
  const std::string path = dir_ + "/hangup.bin";
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1", "-b", path}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  for (int i = 0; i < 6; ++i) ASSERT_NE(ReadMessage(client).kind, Message::kNone);
  client.Close();

  EXPECT_EQ(sim.Wait(), 1);
  const std::string said = sim.Output() + sim.Errors();
  // Depending on timing the simulator sees the end of the connection, a
  // reset (the manager left replies unread) or a failed send.
  EXPECT_TRUE(said.find("ERROR: The simulation manager closed the connection") != std::string::npos ||
              said.find("ERROR: The simulation manager reset the connection") != std::string::npos ||
              said.find("ERROR: Sending to the simulation manager failed") != std::string::npos)
      << said;
  EXPECT_EQ(said.find("GOOD EXIT"), std::string::npos);
  // Every block is whole, one replication each, and the header counts them.
  std::string header;
  const std::vector<std::string> blocks = FileBlocks(path, &header);
  ASSERT_GE(blocks.size(), 3u);
  for (const std::string& block : blocks) {
    manager::Block parsed;
    parsed.bytes = block;
    EXPECT_TRUE(manager::Client::ParseBlock(parsed)) << "a damaged block";
  }
  EXPECT_NE(header.find(",BATCHES=" + std::to_string(blocks.size()) + ",,"), std::string::npos) << header;
}

TEST_F(SimMgrSessionTest, AFileCommandNamingAnUnwritableFileEndsTheRunWithAFailure) {
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1"}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_TRUE(client.Send("\x03" + dir_ + "/no-such-dir/x.bin;7;;"));
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  int blocks = 0;
  EXPECT_EQ(ReadUntilReply(client, &blocks).reply.code, 3);
  EXPECT_EQ(sim.Wait(), 1) << "an unlimited run with nowhere to write must not go on";
  EXPECT_NE(sim.Errors().find("Cannot open the binary results file"), std::string::npos) << sim.Errors();
  EXPECT_EQ(sim.Output().find("GOOD EXIT"), std::string::npos);
}

// A NUL byte would cut the name short and lose the count after it: the
// command is malformed, a failed hand-over.
TEST_F(SimMgrSessionTest, AFileCommandWithANulByteIsRefusedAsMalformed) {
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1", "-N", "1000000"}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_TRUE(client.Send("\x03" + dir_ + "/n.bin" + std::string(1, '\0') + "evil;7;;"));
  EXPECT_EQ(sim.Wait(), 1) << "refused at once, not run to its own limit";
  EXPECT_NE(sim.Errors().find("command 3 with a NUL byte"), std::string::npos) << sim.Errors();
  EXPECT_FALSE(std::ifstream(dir_ + "/n.bin").good());
}
