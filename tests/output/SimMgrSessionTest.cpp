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
      ReadMore(10);
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
  client.Close();
  EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
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
  client.Close();
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
