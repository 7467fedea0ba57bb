#include "manager/ClientProcess.h"

#include <signal.h>

#include "manager/ChildProcess.h"

std::unique_ptr<LaunchedSimulator> StartClientProcess(const std::string& path,
                                                      const std::vector<std::string>& arguments,
                                                      std::string& error) {
  // SIGTERM, not SIGKILL: srun must live long enough to cancel its step.
  return StartChildProcess(path, arguments, {ChildProcessSetup::Detach::kProcessGroup, SIGTERM}, error);
}
