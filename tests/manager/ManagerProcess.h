// Runs gpusim-manager as a child of the test, with its output streams in
// files, so that a test can signal it or its simulators while it runs, and
// finds the processes it started; counts what a study's results file holds.
#ifndef TESTS_MANAGER_MANAGER_PROCESS_H
#define TESTS_MANAGER_MANAGER_PROCESS_H

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "TestProcess.h"
#include "results/ResultsReader.h"

namespace managertest {

// The ids of the live processes whose parent is parent.
inline std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> children;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return children;
  while (dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent && state != 'Z') {
      children.push_back(pid);
    }
  }
  ::closedir(proc);
  return children;
}

// True while pid names a process that has not ended (a zombie has ended).
inline bool Alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// Observations per variable in a results file; clean is false when the file
// cannot be read to its end or was cut short.
inline std::map<int, long> CountFile(const std::string& path, bool& clean) {
  std::map<int, long> counts;
  ResultsReader reader;
  clean = reader.ReadFile(path, [&counts](int pv, double) { ++counts[pv]; }) && !reader.Truncated();
  return counts;
}

class ManagerProcess {
 public:
  // Starts the manager with words as its arguments; its streams go to
  // <dir>/manager.out and <dir>/manager.err. inChild, if given, runs in the
  // child just before the exec (async-signal-safe calls only: a limit, a
  // signal mask).
  ManagerProcess(const std::string& dir, const std::vector<std::string>& words, void (*inChild)() = nullptr)
      : dir_(dir) {
    std::vector<std::string> argvText = {GPUSIM_MANAGER_BINARY};
    argvText.insert(argvText.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& word : argvText) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    const std::string out = dir + "/manager.out";
    const std::string err = dir + "/manager.err";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      if (inChild != nullptr) inChild();
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~ManagerProcess() {
    if (status_ == kRunning && pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait(10);
    }
  }

  pid_t Pid() const { return pid_; }

  // The manager's live children, once there are at least count of them
  // (empty after timeoutSeconds).
  std::vector<pid_t> WaitForChildren(std::size_t count, double timeoutSeconds = 10) const {
    for (auto end = Clock::now() + Seconds(timeoutSeconds); Clock::now() < end; Sleep(0.02)) {
      const std::vector<pid_t> children = ChildrenOf(pid_);
      if (children.size() >= count) return children;
    }
    return {};
  }

  // The exit status, or -1 when it did not exit within timeoutSeconds or
  // ended by a signal.
  int Wait(double timeoutSeconds = 60) {
    for (auto end = Clock::now() + Seconds(timeoutSeconds); status_ == kRunning && Clock::now() < end; Sleep(0.01)) {
      int raw = 0;
      if (::waitpid(pid_, &raw, WNOHANG) == pid_) status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return status_ == kRunning ? -1 : status_;
  }

  std::string Out() const { return testprocess::ReadFile(dir_ + "/manager.out"); }
  std::string Err() const { return testprocess::ReadFile(dir_ + "/manager.err"); }

  static void Sleep(double seconds) { std::this_thread::sleep_for(Seconds(seconds)); }

 private:
  using Clock = std::chrono::steady_clock;
  static std::chrono::nanoseconds Seconds(double s) { return std::chrono::nanoseconds(static_cast<long long>(s * 1e9)); }
  static constexpr int kRunning = -1000;

  std::string dir_;
  pid_t pid_ = -1;
  int status_ = kRunning;
};

}  // namespace managertest

#endif
