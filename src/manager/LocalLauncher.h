// LocalLauncher starts simulators as child processes of the manager on this
// machine. Each child runs in a session of its own: the terminal's signals
// (a Ctrl-C) reach the manager only, which then stops the study over the
// protocol, and where the kernel shares the processor out by session each
// simulator is scheduled as one, like a simulator started from a terminal of
// its own, instead of all of them sharing the manager's portion. Each child
// dies with the manager (a manager killed outright leaves no simulator
// behind), reads standard input from /dev/null and writes its standard
// output and error stream into one pipe whose read end the handle owns.
//
// The simulator is told to listen on the loopback address only (-i
// 127.0.0.1, added after the request's arguments), and the manager connects
// there: a local study is never reachable from another machine.
//
// Ownership and threads: as for every Launcher (see Launcher.h). A handle
// destroyed while its process runs kills and reaps it.
#ifndef MANAGER_LOCAL_LAUNCHER_H
#define MANAGER_LOCAL_LAUNCHER_H

#include <sys/types.h>

#include "manager/Launcher.h"

class LocalLauncher : public Launcher {
 public:
  std::unique_ptr<LaunchedSimulator> Start(const LaunchRequest& request, std::string& error) override;
  std::string Name() const override { return "local"; }
};

class LocalSimulator : public LaunchedSimulator {
 public:
  // Takes ownership of the child process and the pipe's read end.
  LocalSimulator(pid_t pid, int outputDescriptor);
  ~LocalSimulator() override;
  LocalSimulator(const LocalSimulator&) = delete;
  LocalSimulator& operator=(const LocalSimulator&) = delete;

  int OutputDescriptor() const override { return output_; }
  void ObserveOutputLine(const std::string&) override {}
  std::string ConnectAddress() const override { return "127.0.0.1"; }
  long ExpectedProcessId() const override { return pid_; }
  std::string Describe() const override;
  SimulatorEnding Poll() override;
  bool EndsAsLocalChild() const override { return true; }
  void Terminate() override;
  void Kill() override;

 private:
  void Signal(int signalNumber);

  pid_t pid_;
  int output_;
  SimulatorEnding ending_;
};

#endif
