// A real gpusim process for the tests that play the simulation manager, and
// the reading of what it sends and writes: its messages off the wire and the
// blocks of a binary results file.
#ifndef TESTS_OUTPUT_SIMULATOR_PROCESS_H
#define TESTS_OUTPUT_SIMULATOR_PROCESS_H

#include <fcntl.h>
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

namespace simprocess {

// One gpusim process with its standard output on a pipe and its error
// stream in a file.
class SimulatorProcess {
 public:
  // environment: extra NAME=value entries on top of this process's own.
  SimulatorProcess(const std::vector<std::string>& arguments, const std::string& workDir,
                   const std::vector<std::string>& environment = {})
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
    std::vector<std::string> extra = environment;
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    for (std::string& e : extra) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, GPUSIM_BINARY, &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
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
  void Signal(int signal) const { ::kill(pid_, signal); }

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

  // Waits up to timeoutMs for the process to end; returns its exit status
  // (128 + the signal when a signal ended it), or -1.
  int Wait(int timeoutMs = 60000) {
    for (int i = 0; i < timeoutMs / 10 && status_ < 0; ++i) {
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

inline std::string GreetingBytes(pid_t pid) {
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

inline Message ReadMessage(manager::Client& client) {
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
inline Message ReadUntilReply(manager::Client& client, int* blocksBefore) {
  for (;;) {
    Message m = ReadMessage(client);
    if (m.kind == Message::kNone || m.kind == Message::kReply) return m;
    if (m.kind == Message::kBlock) ++*blocksBefore;
  }
}

// The observation blocks of a binary results file, each as its bytes.
inline std::vector<std::string> FileBlocks(const std::string& path, std::string* header) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string bytes = text.str();
  *header = bytes.substr(0, std::min<std::size_t>(256, bytes.size()));
  std::vector<std::string> blocks;
  for (std::size_t at = 256; at + 4 <= bytes.size();) {
    const std::uint32_t length = manager::U32(bytes, at);
    blocks.push_back(bytes.substr(at, length));
    if (length < 9) break;  // damaged: the block fails to parse
    at += length;
  }
  return blocks;
}

// Reads until the simulator closes the connection: a manager that leaves
// before the run ends is a lost manager.
inline void ReadToTheEnd(manager::Client& client) {
  while (ReadMessage(client).kind != Message::kNone) {
  }
}

// The batch count of an ASCII results file that is whole and consistent:
// both header lines, data lines for pvs variables per batch, and a trailer
// that counts them. -1 otherwise.
inline long ConsistentAsciiBatches(const std::string& path, int pvs = 6) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::string trailer = "#META_DATA,BATCHES=";
  if (lines.size() < 3 || lines[0].rfind("#QUELIX_SIM_ASCII_FILE,", 0) != 0 ||
      lines[1] != "#FORMAT: (PV ID Number),(PV Value)" || lines.back().rfind(trailer, 0) != 0) {
    return -1;
  }
  const long batches = std::atol(lines.back().c_str() + trailer.size());
  return static_cast<long>(lines.size()) - 3 == batches * pvs ? batches : -1;
}

// The observations per variable held by a binary results file's blocks, with
// the count its header claims in *claimed; -1 when a block is damaged.
inline long BinaryObservations(const std::string& path, long* claimed) {
  std::string header;
  const std::vector<std::string> blocks = FileBlocks(path, &header);
  const std::size_t at = header.find(",BATCHES=");
  *claimed = at == std::string::npos ? -1 : std::atol(header.c_str() + at + 9);
  long observations = 0;
  for (const std::string& bytes : blocks) {
    manager::Block block;
    block.bytes = bytes;
    if (!manager::Client::ParseBlock(block) || block.entries.empty()) return -1;
    observations += block.entries[0].count;
  }
  return observations;
}

}  // namespace simprocess

#endif
