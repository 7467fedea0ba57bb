#include "manager/Study.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "manager/StudySimulator.h"

using namespace study_internal;

// ---------------------------------------------------------------------------
// Closing connections and ending processes
// ---------------------------------------------------------------------------

void Study::CloseSocket(Simulator& s) {
  if (s.socket >= 0) ReleaseSpoolBuffer(s);
  if (s.socket >= 0) ::close(s.socket);
  s.socket = -1;
  if (s.phase == Simulator::Phase::kRunning || s.phase == Simulator::Phase::kGreeting ||
      s.phase == Simulator::Phase::kConnecting) {
    s.phase = Simulator::Phase::kClosed;
  }
  // With its connection gone a simulator has nothing left to deliver and no
  // reason to live on.
  const double deadline = Now() + kTerminateGraceSeconds;
  if (!s.ended && (s.terminateAt < 0 || s.terminateAt > deadline)) s.terminateAt = deadline;
}

// A closed connection brings no more blocks: what the spool's buffer holds
// is written now and the buffer freed, so that a large study's idle
// simulators hold no memory for their blocks.
void Study::ReleaseSpoolBuffer(Simulator& s) {
  for (SimulatorSpool* spool : {&s.spool, &s.spill}) {
    std::string error;
    if (!spool->IsOpen() || spool->Flush(error)) continue;
    keptBlocksLost_ = true;
    BeginStop(StopReason::kFailed, s.Name() + ": its observations could not be written: " + error);
    return;
  }
}

void Study::Drop(Simulator& s, const std::string& fault) {
  if (!s.lost) {
    s.lost = true;
    s.facts.fault = fault;
    std::cerr << "gpusim-manager: " << s.Name() << " dropped: " << fault << std::endl;
  }
  if (s.phase == Simulator::Phase::kStarting) s.phase = Simulator::Phase::kClosed;
  CloseSocket(s);
  if (s.process && !s.ended) {
    s.process->Terminate();
    s.terminateAt = -1.0;
    s.killAt = Now() + kTerminateGraceSeconds;
  }
}

// Closes a connection without blaming the simulator; its process, if still
// running, has nothing more to deliver and is asked to end at once.
void Study::Disconnect(Simulator& s, const std::string& why) {
  std::cerr << "gpusim-manager: " << s.Name() << ": " << why << std::endl;
  CloseSocket(s);
  if (s.process && !s.ended && s.killAt < 0) {
    s.process->Terminate();
    s.terminateAt = -1.0;
    s.killAt = Now() + kTerminateGraceSeconds;
  }
}

// A simulator not yet connected when the study stops is not at fault: it is
// asked to end, and shown with how it ended.
void Study::Withdraw(Simulator& s) {
  s.quitSent = true;
  s.phase = Simulator::Phase::kClosed;
  s.facts.note = "the study stopped before it was connected";
  CloseSocket(s);
  if (s.process && !s.ended) {
    s.process->Terminate();
    s.terminateAt = -1.0;
    s.killAt = Now() + kTerminateGraceSeconds;
  }
}

// ---------------------------------------------------------------------------
// Processes and time
// ---------------------------------------------------------------------------

namespace {

// Whether some child of the manager's process has ended and waits to be
// reaped (or the kernel could not say). Nothing is reaped here.
bool AChildMayHaveEnded() {
  siginfo_t info;
  info.si_pid = 0;
  if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
  return info.si_pid != 0;
}

}  // namespace

// Asking each simulator's process in turn costs a system call each, every
// few milliseconds: at hundreds of simulators, a tenth of the manager's
// time. When every running one ends as a child of the manager, one call
// says whether any child has ended; most often none has.
void Study::CheckProcesses() {
  const bool allLocalChildren = std::all_of(simulators_.begin(), simulators_.end(), [](const auto& s) {
    return !s->process || s->ended || s->process->EndsAsLocalChild();
  });
  if (allLocalChildren && !AChildMayHaveEnded()) return;
  for (auto& s : simulators_) {
    if (!s->process || s->ended) continue;
    const SimulatorEnding ending = s->process->Poll();
    if (!ending.Ended()) continue;
    s->ended = true;
    s->endedAt = Now();
    s->facts.ending = ending;
    if (s->outputOpen) ReadOutput(*s);
    if (s->lost) continue;
    if (s->phase == Simulator::Phase::kStarting) {
      DropEndedBeforeConnected(*s);
      continue;
    }
    if (s->phase == Simulator::Phase::kConnecting || s->phase == Simulator::Phase::kGreeting) {
      // A short run can accept, deliver everything and end before this loop
      // has read its greeting: what it sent waits in the connection, so the
      // connection decides. With the process gone that takes a moment only.
      s->startDeadline = std::min(s->startDeadline, Now() + kEndedConnectionSeconds);
      continue;
    }
    // What it sent is on its way; something else holding the connection
    // open (a child of the simulator) is not waited for.
    s->AwaitEndedConnection(Now());
    if (!ending.Clean() && !s->quitSent) {
      // Asked to stop, it had nothing more to send; otherwise it is lost.
      // Its connection stays open: what it sent before it died is still read.
      s->lost = true;
      s->facts.fault = "ended: " + ending.Describe();
      std::cerr << "gpusim-manager: " << s->Name() << " lost: " << ending.Describe() << std::endl;
    }
  }
}

void Study::DropEndedBeforeConnected(Simulator& s) {
  const std::string output = s.RecentOutput();
  Drop(s, "ended (" + s.facts.ending.Describe() + ") before it was connected" +
              (output.empty() ? std::string() : "; its last output: " + output));
}

void Study::CheckDeadlines() {
  const double now = Now();
  for (auto& s : simulators_) {
    if (s->socket >= 0 && s->disconnectAt >= 0 && now >= s->disconnectAt && !s->RenewWhileDelivering(now)) {
      Disconnect(*s, s->ended ? "its process has ended but its connection stayed open; disconnected"
                              : "its connection stayed open past the study's end; disconnected");
    }
    if (!s->process) continue;
    if (s->ended) {
      const bool connecting =
          s->phase == Simulator::Phase::kConnecting || s->phase == Simulator::Phase::kGreeting;
      if (connecting && !s->lost && lastPoll_ >= s->startDeadline) DropEndedBeforeConnected(*s);
      continue;
    }
    if (!s->lost && now >= s->startDeadline) {
      const std::string timeout = Seconds(settings_.startTimeoutSeconds);
      if (s->phase == Simulator::Phase::kStarting) {
        Drop(*s, "printed no REGISTER line within " + timeout);
      } else if (s->phase == Simulator::Phase::kConnecting) {
        Drop(*s, "did not accept the connection within " + timeout);
      } else if (s->phase == Simulator::Phase::kGreeting) {
        Drop(*s, "sent no greeting within " + timeout);
      }
    }
    if (s->terminateAt >= 0 && now >= s->terminateAt) {
      s->process->Terminate();
      s->terminateAt = -1.0;
      s->killAt = now + kTerminateGraceSeconds;
    } else if (s->killAt >= 0 && now >= s->killAt) {
      std::cerr << "gpusim-manager: " << s->Name() << " did not end; killing it" << std::endl;
      s->process->Kill();
      s->killAt = -1.0;
    }
  }
}

