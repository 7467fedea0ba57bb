// The seam between the manager and the ways a simulator process can be
// started: a Launcher starts one simulator from an argument list and hands
// back a LaunchedSimulator, the manager's handle on that process.
//
// What the manager does with a handle, in order:
//   1. reads OutputDescriptor() (non-blocking, closed at end of output) line
//      by line, passing every complete line to ObserveOutputLine, until the
//      line "REGISTER:  Port: [<port>]" has been seen;
//   2. connects to ConnectAddress() on that port and, when
//      ExpectedProcessId() is not 0, checks that the greeting carries it;
//   3. keeps reading the output (a simulator blocked on a full pipe would
//      stall the study) and calls Poll() now and then to learn whether the
//      process has ended;
//   4. at the end, after asking the simulator to stop over its connection,
//      calls Poll() until it reports an ending, and Terminate() / Kill() if
//      the process does not end in time. The destructor releases whatever
//      the handle still holds and must leave no process running: a launcher
//      whose process may outlive a plain kill (a remote step, a remote
//      command) cancels it there.
//
// Ownership: the handle owns its process (or remote step) and the read end
// of its output. The launcher owns nothing a handle needs: handles may
// outlive it.
//
// Not thread-safe: the manager uses launchers and handles from one thread.
// No operation blocks for long: Start returns once the process is started,
// Poll never waits.
#ifndef MANAGER_LAUNCHER_H
#define MANAGER_LAUNCHER_H

#include <memory>
#include <string>
#include <vector>

// How a simulator process ended, as far as its launcher can tell.
struct SimulatorEnding {
  enum class Kind {
    kRunning,     // not ended yet
    kExited,      // ended with an exit status (code)
    kSignalled,   // ended by a signal (code is the signal number)
    kUnknown,     // ended, but the launcher cannot tell how (code unused)
  };
  Kind kind = Kind::kRunning;
  int code = 0;

  bool Ended() const { return kind != Kind::kRunning; }
  bool Clean() const { return kind == Kind::kExited && code == 0; }
  // "exit status 0", "killed by signal 9 (Killed)", "running", ...
  std::string Describe() const;
};

class LaunchedSimulator {
 public:
  virtual ~LaunchedSimulator() = default;

  // The read end of the simulator's standard output (its error stream may be
  // merged into it), set non-blocking; -1 once there is none. The handle
  // keeps ownership.
  virtual int OutputDescriptor() const = 0;
  // Every complete line read from the output, without its newline, in order.
  // A launcher that learns where the simulator runs from its output (a
  // node name, an address) takes it from here.
  virtual void ObserveOutputLine(const std::string& line) = 0;
  // The host to connect to once the REGISTER line has been seen: a numeric
  // IPv4 address or a host name.
  virtual std::string ConnectAddress() const = 0;
  // The process id the greeting must carry, or 0 when the launcher cannot
  // know it (a process on another machine).
  virtual long ExpectedProcessId() const = 0;
  // A short description for messages: "process 1234", "step 17.3 on n2".
  virtual std::string Describe() const = 0;

  // Non-blocking: reports the ending once the process has ended (and reaps
  // it), kRunning before.
  virtual SimulatorEnding Poll() = 0;
  // True when Poll reports the end of a child of the manager's own process
  // and nothing else: its answer can change only once that child has ended,
  // which the manager can learn for all such handles with one system call.
  virtual bool EndsAsLocalChild() const { return false; }
  // Asks the process to end (SIGTERM or the launcher's equivalent).
  virtual void Terminate() = 0;
  // Ends the process at once (SIGKILL or the launcher's equivalent).
  virtual void Kill() = 0;
};

// What to start: the simulator executable and its arguments (without the
// program name). The launcher may add arguments of its own (a listening
// address) and may wrap the command (a remote shell, a job step).
struct LaunchRequest {
  std::string executable;
  std::vector<std::string> arguments;
  int index = 0;  // 0-based number of the simulator in the study
};

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts one simulator. On failure returns nullptr with error set to a
  // message naming the cause; nothing is left running.
  virtual std::unique_ptr<LaunchedSimulator> Start(const LaunchRequest& request, std::string& error) = 0;
  // The launcher's name as given to --launcher.
  virtual std::string Name() const = 0;
};

#endif
