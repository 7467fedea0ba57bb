// Whole sessions between a real gpusim process and a test manager on
// loopback: the manager reads the REGISTER line, connects, and checks every
// byte it is sent against the protocol.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output/ManagerClient.h"

extern char** environ;

namespace {

// One gpusim process with its standard output on a pipe and its error
// stream in a file.
class SimulatorProcess {
 public:
  SimulatorProcess(const std::vector<std::string>& arguments, const std::string& workDir)
      : errPath_(workDir + "/stderr.txt") {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {GPUSIM_BINARY};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, GPUSIM_BINARY, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    out_ = pipeEnds[0];
  }

  ~SimulatorProcess() {
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  pid_t Pid() const { return pid_; }

  // Reads standard output until a line starting with prefix; returns that
  // line, or "" if the process ends or 20 s pass first.
  std::string LineStartingWith(const std::string& prefix) {
    for (;;) {
      const std::size_t newline = pending_.find('\n');
      if (newline != std::string::npos) {
        const std::string line = pending_.substr(0, newline);
        all_ += pending_.substr(0, newline + 1);
        pending_.erase(0, newline + 1);
        if (line.rfind(prefix, 0) == 0) return line;
        continue;
      }
      if (!ReadMore(20000)) return "";
    }
  }

  unsigned short RegisteredPort() {
    const std::string line = LineStartingWith("REGISTER:  Port: [");
    if (line.empty() || line.back() != ']') return 0;
    return static_cast<unsigned short>(std::stoi(line.substr(18, line.size() - 19)));
  }

  // Waits up to 60 s for the process to end; returns its exit status, or -1.
  int Wait() {
    for (int i = 0; i < 6000 && status_ < 0; ++i) {
      int raw;
      if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        break;
      }
      if (!ReadMore(10)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    while (ReadMore(0)) {
    }
    all_ += pending_;
    pending_.clear();
    return status_;
  }

  const std::string& Output() const { return all_; }
  std::string Errors() const {
    std::ifstream in(errPath_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  bool ReadMore(int timeoutMs) {
    pollfd watched{out_, POLLIN, 0};
    if (::poll(&watched, 1, timeoutMs) <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got <= 0) return false;
    pending_.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = -1;
  std::string errPath_;
  std::string pending_;
  std::string all_;
};

std::string GreetingBytes(pid_t pid) {
  std::string bytes("\x00\x00\x00\x0a\xff\x01", 6);
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((pid >> shift) & 0xff);
  return bytes;
}

// One message from the simulator, told apart by its length field: replies
// are 10 bytes, CPU-time messages say 12, observation blocks are 9 bytes or
// at least 24.
struct Message {
  enum Kind { kNone, kReply, kCPUTime, kBlock } kind = kNone;
  manager::Reply reply;
  manager::CPUTime cpu;
  manager::Block block;
};

Message ReadMessage(manager::Client& client) {
  Message m;
  const std::string head = client.Read(4);
  if (head.size() != 4) return m;
  const std::uint32_t length = manager::U32(head, 0);
  if (length == 10) {
    const std::string b = head + client.Read(6);
    if (b.size() != 10) return m;
    m.kind = Message::kReply;
    m.reply = {length, std::uint8_t(b[4]), std::uint8_t(b[5]), manager::U32(b, 6)};
  } else if (length == 12) {
    const std::string b = head + client.Read(12);
    if (b.size() != 16) return m;
    m.kind = Message::kCPUTime;
    m.cpu = {length, std::uint8_t(b[4]), std::uint8_t(b[5]), manager::U16(b, 6), manager::Double(b, 8)};
  } else if (length >= 9) {
    m.block.bytes = head + client.Read(length - 4);
    if (m.block.bytes.size() == length && manager::Client::ParseBlock(m.block)) m.kind = Message::kBlock;
  }
  return m;
}

// Reads up to the next command reply, counting the blocks before it (the run
// may report before a command sent with the connection reaches it).
Message ReadUntilReply(manager::Client& client, int* blocksBefore) {
  for (;;) {
    Message m = ReadMessage(client);
    if (m.kind == Message::kNone || m.kind == Message::kReply) return m;
    if (m.kind == Message::kBlock) ++*blocksBefore;
  }
}

// Reads until the simulator closes the connection: a manager that leaves
// before the run ends is a lost manager.
void ReadToTheEnd(manager::Client& client) {
  while (ReadMessage(client).kind != Message::kNone) {
  }
}

// The observation blocks of a binary results file, each as its bytes.
std::vector<std::string> FileBlocks(const std::string& path, std::string* header) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string bytes = text.str();
  *header = bytes.substr(0, std::min<std::size_t>(256, bytes.size()));
  std::vector<std::string> blocks;
  for (std::size_t at = 256; at + 4 <= bytes.size();) {
    const std::uint32_t length = manager::U32(bytes, at);
    blocks.push_back(bytes.substr(at, length));
    at += length;
  }
  return blocks;
}

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
  EXPECT_NE(header.find(",BATCHES=" + std::to_string(batches) + ",,"), std::string::npos) << header;
}

TEST_F(SimMgrSessionTest, FileCommandKeepsTheFileAndLimitGivenOnTheCommandLine) {
  const std::string given = dir_ + "/given.bin";
  const std::string named = dir_ + "/named.bin";
  SimulatorProcess sim({"-w", "-p", "0", "-n", "1", "-N", "5", "-b", given}, dir_);
  manager::Client client;
  ASSERT_TRUE(client.Connect(sim.RegisteredPort())) << sim.Errors();
  ASSERT_TRUE(client.Send("\x03" + named + ";7;;"));
  ASSERT_EQ(client.Read(10), GreetingBytes(sim.Pid()));
  int blocksToManager = 0;
  EXPECT_EQ(ReadUntilReply(client, &blocksToManager).reply.code, 3);
  EXPECT_TRUE(client.AtEnd());
  EXPECT_EQ(sim.Wait(), 0) << sim.Errors();

  std::string header;
  EXPECT_EQ(FileBlocks(given, &header).size(), 5u);
  EXPECT_NE(header.find(",BATCHES=5,,"), std::string::npos) << header;
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
