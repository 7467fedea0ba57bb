#include "manager/CommandRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const char* path, char* const* argv, int output) {
  ::setpgid(0, 0);
  const int devNull = ::open("/dev/null", O_RDONLY);
  if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
  ::dup2(output, STDOUT_FILENO);
  ::dup2(output, STDERR_FILENO);
  ::execv(path, argv);
  static const char kFailed[] = "cannot execute the command\n";
  ssize_t ignored = ::write(STDERR_FILENO, kFailed, sizeof kFailed - 1);
  (void)ignored;
  ::_exit(127);
}

void KeepOutput(CommandResult& result, const char* bytes, std::size_t count) {
  const std::size_t room = kMaxCapturedOutput - result.output.size();
  result.output.append(bytes, count < room ? count : room);
}

// Reads the pipe until it closes or the deadline passes; true when it closed.
bool DrainUntilClosed(int descriptor, double timeoutSeconds, CommandResult& result) {
  const auto start = std::chrono::steady_clock::now();
  char buffer[4096];
  for (;;) {
    const double left = timeoutSeconds - SecondsSince(start);
    if (left <= 0) return false;
    pollfd entry{descriptor, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left * 1000) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
    if (got > 0) {
      KeepOutput(result, buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return true;
    }
  }
}

int WaitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string CommandResult::Reason() const {
  // The first line is the one that names the problem: scontrol and ssh put
  // banners and advice after it.
  std::string first;
  const std::size_t begin = output.find_first_not_of(" \t\r\n");
  if (begin != std::string::npos) {
    const std::size_t end = output.find_first_of("\r\n", begin);
    first = output.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  }
  if (timedOut) return "no answer within the time limit" + (first.empty() ? std::string() : "; it said: " + first);
  if (!first.empty()) return first;
  if (!started) return "could not be started";
  return exitStatus < 0 ? "ended by a signal" : "exit status " + std::to_string(exitStatus);
}

CommandResult RunCommand(const std::vector<std::string>& command, double timeoutSeconds) {
  CommandResult result;
  const std::string path = FindExecutable(command.front());
  if (path.empty()) {
    result.output = "'" + command.front() + "' not found";
    return result;
  }
  std::vector<std::string> words(command);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) {
    result.output = std::string("cannot create a pipe: ") + std::strerror(errno);
    return result;
  }
  const pid_t pid = ::fork();
  if (pid == 0) ExecChild(path.c_str(), argv.data(), output[1]);
  ::close(output[1]);
  if (pid < 0) {
    result.output = std::string("cannot start a process: ") + std::strerror(errno);
    ::close(output[0]);
    return result;
  }
  result.started = true;
  // The pipe closes when the command and everything it started have gone,
  // so the wait below is short once it has closed.
  if (!DrainUntilClosed(output[0], timeoutSeconds, result)) {
    result.timedOut = true;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
  }
  ::close(output[0]);
  result.exitStatus = WaitForExit(pid);
  return result;
}

std::string FindExecutable(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
  const char* path = std::getenv("PATH");
  std::string directories = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = directories.find(':', begin);
    std::string directory = directories.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    if (directory.empty()) directory = ".";
    const std::string candidate = directory + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (end == std::string::npos) return "";
    begin = end + 1;
  }
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::size_t begin = text.find_first_not_of(" \t");
  while (begin != std::string::npos) {
    const std::size_t end = text.find_first_of(" \t", begin);
    words.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    begin = end == std::string::npos ? end : text.find_first_not_of(" \t", end);
  }
  return words;
}

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
