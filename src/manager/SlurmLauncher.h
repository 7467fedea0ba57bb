// SlurmLauncher starts each simulator as a Slurm job step:
//
//   srun --ntasks=1 --nodes=1 --kill-on-bad-exit=1 --job-name=gpusim-<k>
//        [--exact] <--slurm-args words> /bin/sh -c <placement script> gpusim ...
//
// Outside an allocation every srun creates a one-step job of its own; inside
// one (the manager runs in a batch script or under salloc, so SLURM_JOB_ID is
// set) each simulator is a step of that job, limited to its own CPU with
// --exact so that the steps run side by side.
//
// Where the simulator runs: the placement script prints the step id
// ($SLURM_JOB_ID.$SLURM_STEP_ID) and the node name ($SLURMD_NODENAME) as
// slurmstepd set them on the node. The manager connects to that node's
// NodeAddr as slurmctld knows it (`scontrol show node`), which is the address
// Slurm itself uses to reach the node; when the controller gives none, to the
// node name. Each node is looked up once per launcher.
//
// Stopping: Terminate cancels the step with scancel (SIGTERM, then SIGKILL
// after the cluster's KillWait); Kill sends it SIGKILL through scancel. A
// step not placed yet (still waiting for resources) is stopped by SIGTERM to
// its srun, which withdraws the request. A handle destroyed while its srun
// runs kills the step, waits a few seconds for srun to end, cancels the job
// (or step) outright if it has not, and then kills srun. srun's exit status
// after a cancellation is not reliable; the ending reported is srun's.
//
// The first Start checks that the controller answers (`scontrol ping`) and,
// when it does not, fails this and every later Start with the reason.
//
// Ownership and threads: as for every Launcher (Launcher.h); a handle keeps
// the node-address cache it shares with its launcher alive.
#ifndef MANAGER_SLURM_LAUNCHER_H
#define MANAGER_SLURM_LAUNCHER_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "manager/RemoteSimulator.h"

class SlurmLauncher : public Launcher {
 public:
  // extraArguments: the words of --slurm-args, passed to every srun.
  explicit SlurmLauncher(std::vector<std::string> extraArguments);

  std::unique_ptr<LaunchedSimulator> Start(const LaunchRequest& request, std::string& error) override;
  std::string Name() const override { return "slurm"; }

  // Bound on every scontrol and scancel call.
  static constexpr double kCommandSeconds = 15.0;

 private:
  bool CheckController(std::string& error);

  std::vector<std::string> extraArguments_;
  bool insideAllocation_;
  bool checked_ = false;
  std::string controllerError_;
  std::shared_ptr<std::map<std::string, std::string>> nodeAddresses_;
};

class SlurmStep : public RemoteSimulator {
 public:
  SlurmStep(std::unique_ptr<LaunchedSimulator> srun, bool ownsJob,
            std::shared_ptr<std::map<std::string, std::string>> nodeAddresses);
  ~SlurmStep() override;

  std::string ConnectAddress() const override { return address_; }
  std::string Describe() const override;
  void Terminate() override;
  void Kill() override;

 protected:
  void Placed(const std::vector<std::string>& facts) override;

 private:
  // The job when srun created it for this simulator alone, else the step.
  std::string CancelTarget() const;
  bool Cancel(const std::vector<std::string>& options);

  bool ownsJob_;
  std::shared_ptr<std::map<std::string, std::string>> nodeAddresses_;
  std::string step_;  // "<job>.<step>", empty until placed
  std::string node_;
  std::string address_;
};

#endif
