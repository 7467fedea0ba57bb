// StartClientProcess starts the local client of a remote simulator (srun,
// ssh) as a child of the manager: in a process group of its own (a Ctrl-C
// at the terminal reaches the manager only, which then stops the study over
// the protocol), with standard input from /dev/null and its output and error
// stream in one non-blocking pipe. The child gets SIGTERM when the manager
// dies: srun then cancels its step and ssh closes its connection, so that a
// manager killed outright leaves no simulator behind (a SIGKILL would leave a
// step running, since srun could not cancel it).
//
// The client is started by StartChildProcess (ChildProcess.h). The handle is
// a LocalSimulator: it reaps the client, and kills it if it is
// destroyed while the client runs. Its process id is the client's.
#ifndef MANAGER_CLIENT_PROCESS_H
#define MANAGER_CLIENT_PROCESS_H

#include <memory>
#include <string>
#include <vector>

#include "manager/Launcher.h"

// REQUIRES: path names an executable file. On failure returns nullptr with
// error naming the cause; nothing is left running.
std::unique_ptr<LaunchedSimulator> StartClientProcess(const std::string& path,
                                                      const std::vector<std::string>& arguments,
                                                      std::string& error);

#endif
