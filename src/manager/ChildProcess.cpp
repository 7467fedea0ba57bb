#include "manager/ChildProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include "manager/LocalLauncher.h"

namespace {

// What the child needs, in the parent's memory: the child shares it until it
// execs (see StartChildProcess), so nothing here may change meanwhile.
struct ChildStart {
  const char* path;
  char* const* argv;
  ChildProcessSetup setup;
  int outputPipe;
  pid_t parent;
  sigset_t mask;  // the parent's signal mask, restored before the exec
  // The one field the child writes: errno of a failed exec. The parent reads
  // it once the child has exec'd or exited, so no pipe is needed to learn it.
  int execError;
};

// Runs in the child, on a stack of its own in the parent's memory, until
// exec: only async-signal-safe calls, and no writes to the parent's data
// but execError.
// A handler of the manager's would run in the manager's memory, so every
// handled signal goes back to its default before signals are let in again;
// ignored ones stay ignored across the exec, as they would after a fork.
__attribute__((no_sanitize("address"))) int ExecChild(void* argument) {
  ChildStart& start = *static_cast<ChildStart*>(argument);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigemptyset(&byDefault.sa_mask);
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction current;
    if (::sigaction(number, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) continue;
    ::sigaction(number, &byDefault, nullptr);
  }
  ::sigprocmask(SIG_SETMASK, &start.mask, nullptr);
  if (start.setup.detach == ChildProcessSetup::Detach::kSession) {
    ::setsid();
  } else {
    ::setpgid(0, 0);
  }
  ::prctl(PR_SET_PDEATHSIG, start.setup.deathSignal);
  if (::getppid() != start.parent) ::_exit(127);  // the manager is already gone
  const int devNull = ::open("/dev/null", O_RDONLY);
  if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
  ::dup2(start.outputPipe, STDOUT_FILENO);
  ::dup2(start.outputPipe, STDERR_FILENO);
  ::execv(start.path, start.argv);
  start.execError = errno;
  ::_exit(127);
}

// Starts ExecChild in a child that shares the manager's memory until it
// execs or exits, while the calling thread waits: nothing of the manager's
// memory is copied, which a fork of a manager of hundreds of connections
// pays for with a page-table copy per simulator. Signals are held back
// meanwhile, so that none is taken by the child in the manager's name.
// Returns the child's process id, or -1 with errno set; start.execError is
// then 0, or errno of the child's failed exec.
pid_t CloneAndExec(ChildStart& start) {
  constexpr std::size_t kChildStackBytes = 64 * 1024;
  std::unique_ptr<char[]> stack(new char[kChildStackBytes]);
  sigset_t all;
  ::sigfillset(&all);
  start.execError = 0;
  ::pthread_sigmask(SIG_SETMASK, &all, &start.mask);
  const pid_t pid = ::clone(ExecChild, stack.get() + kChildStackBytes, CLONE_VM | CLONE_VFORK | SIGCHLD, &start);
  const int error = errno;
  ::pthread_sigmask(SIG_SETMASK, &start.mask, nullptr);
  errno = error;
  return pid;
}

}  // namespace

std::unique_ptr<LaunchedSimulator> StartChildProcess(const std::string& path,
                                                     const std::vector<std::string>& arguments,
                                                     const ChildProcessSetup& setup, std::string& error) {
  std::vector<std::string> words{path};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) {
    error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return nullptr;
  }
  ChildStart start{path.c_str(), argv.data(), setup, output[1], ::getpid(), sigset_t(), 0};
  const pid_t pid = CloneAndExec(start);
  ::close(output[1]);
  if (pid < 0) {
    error = std::string("cannot start a process: ") + std::strerror(errno);
    ::close(output[0]);
    return nullptr;
  }
  if (start.execError != 0) {
    error = "cannot run '" + path + "': " + std::strerror(start.execError);
    ::close(output[0]);
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
  }
  ::fcntl(output[0], F_SETFL, ::fcntl(output[0], F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<LaunchedSimulator>(new LocalSimulator(pid, output[0]));
}
