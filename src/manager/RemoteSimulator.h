// RemoteSimulator is the common part of the handles whose simulator runs
// behind a local client process (srun, ssh): the client is a local child
// (see ClientProcess.h), and the
// simulator is started through a small POSIX shell script that first prints
// one placement line, then replaces itself with the simulator:
//
//   GPUSIM_PLACED: <pid> <facts...>
//
// <pid> is the simulator's own process id (exec keeps it), which the
// manager checks against the greeting; the facts are the launcher's (a step
// id and node name, a host name). Lines reach the handle through
// ObserveOutputLine before the REGISTER line, since the script prints first.
//
// Ownership: owns the client handle. Not thread-safe.
#ifndef MANAGER_REMOTE_SIMULATOR_H
#define MANAGER_REMOTE_SIMULATOR_H

#include <memory>
#include <string>
#include <vector>

#include "manager/Launcher.h"

class RemoteSimulator : public LaunchedSimulator {
 public:
  // The shell script that prints the placement line with the given facts
  // (shell words, expanded by the remote shell) and runs "$0" "$@".
  static std::string PlacementScript(const std::string& facts);

  explicit RemoteSimulator(std::unique_ptr<LaunchedSimulator> client);
  RemoteSimulator(const RemoteSimulator&) = delete;
  RemoteSimulator& operator=(const RemoteSimulator&) = delete;

  int OutputDescriptor() const override { return client_->OutputDescriptor(); }
  void ObserveOutputLine(const std::string& line) override;
  long ExpectedProcessId() const override { return remotePid_; }
  SimulatorEnding Poll() override { return client_->Poll(); }
  bool EndsAsLocalChild() const override { return client_->EndsAsLocalChild(); }

 protected:
  // Called once, with the facts after the pid, when the placement line
  // arrives.
  virtual void Placed(const std::vector<std::string>& facts) = 0;

  bool IsPlaced() const { return remotePid_ != 0; }
  LaunchedSimulator& Client() { return *client_; }
  const LaunchedSimulator& Client() const { return *client_; }
  long ClientProcessId() const { return client_->ExpectedProcessId(); }

 private:
  std::unique_ptr<LaunchedSimulator> client_;
  long remotePid_ = 0;
};

#endif
