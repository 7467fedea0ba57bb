// StartChildProcess is the one way the manager starts a process of its own,
// a simulator or the local client of a remote one: the child reads standard
// input from /dev/null and writes its output and error stream into one pipe,
// set non-blocking, whose read end the returned handle owns. The child gets
// deathSignal when the manager dies, and is started away from the manager's
// terminal (a session or a process group of its own), so that a Ctrl-C
// reaches the manager only, which then stops the study over the protocol.
//
// An exec failure is told apart from a process that starts and fails: it is
// reported here, as the error of the exec itself.
//
// The handle is a LocalSimulator: it reaps the child, and kills it if it is
// destroyed while the child runs. Its process id is the child's.
#ifndef MANAGER_CHILD_PROCESS_H
#define MANAGER_CHILD_PROCESS_H

#include <memory>
#include <string>
#include <vector>

#include "manager/Launcher.h"

struct ChildProcessSetup {
  enum class Detach { kSession, kProcessGroup };
  Detach detach;
  int deathSignal;  // sent to the child when the manager dies
};

// REQUIRES: path names an executable file. On failure returns nullptr with
// error naming the cause; nothing is left running.
std::unique_ptr<LaunchedSimulator> StartChildProcess(const std::string& path,
                                                     const std::vector<std::string>& arguments,
                                                     const ChildProcessSetup& setup, std::string& error);

#endif
