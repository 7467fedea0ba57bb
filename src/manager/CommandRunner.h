// Helpers for the launchers that drive other programs (srun, scancel,
// scontrol, ssh): finding an executable on PATH, splitting a command given as
// one option value into words, quoting words for a POSIX shell, and running a
// short command to its end within a time limit.
//
// RunCommand starts the command in a process group of its own, with standard
// input from /dev/null and its output and error stream captured together (at
// most kMaxCapturedOutput bytes are kept). A command still running when the
// time limit passes is killed with its whole process group and reaped: no
// call leaves a process behind, and none waits longer than its limit plus
// the moment a SIGKILL takes.
//
// Thread rules: RunCommand waits for its own child only (waitpid on that
// pid); the other helpers are pure functions.
#ifndef MANAGER_COMMAND_RUNNER_H
#define MANAGER_COMMAND_RUNNER_H

#include <cstddef>
#include <string>
#include <vector>

struct CommandResult {
  bool started = false;   // false: could not be run at all (output says why)
  bool timedOut = false;  // killed after the time limit
  int exitStatus = -1;    // exit code when it exited; -1 otherwise
  std::string output;     // standard output and error stream, interleaved

  bool Succeeded() const { return started && !timedOut && exitStatus == 0; }
  // The output's first non-empty line, or a description of how it ended.
  std::string Reason() const;
};

constexpr std::size_t kMaxCapturedOutput = 64 * 1024;

// REQUIRES: command is not empty; command[0] is a path or a name on PATH.
CommandResult RunCommand(const std::vector<std::string>& command, double timeoutSeconds);

// The path of an executable: name itself when it contains a '/', otherwise
// the first match on PATH. Empty when there is none.
std::string FindExecutable(const std::string& name);

// Splits at blanks (spaces and tabs); no quoting is interpreted.
std::vector<std::string> SplitWords(const std::string& text);

// The word in single quotes, safe to pass through a POSIX shell unchanged.
std::string ShellQuote(const std::string& word);

#endif
