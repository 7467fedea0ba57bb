#include "manager/Study.h"

#include <sys/socket.h>

#include <algorithm>
#include <iostream>

#include "manager/StudySimulator.h"

using namespace study_internal;

// ---------------------------------------------------------------------------
// Stopping
// ---------------------------------------------------------------------------

void Study::CheckStoppingRules() {
  if (stopping_) return;
  if (std::all_of(simulators_.begin(), simulators_.end(), [](const auto& s) { return s->lost; })) {
    BeginStop(StopReason::kAllLost, "every simulator was lost");
    return;
  }
  if (settings_.maxSeconds > 0.0 && Elapsed() >= settings_.maxSeconds) {
    BeginStop(StopReason::kTime, "the time limit of " + Seconds(settings_.maxSeconds) + " was reached");
  }
}

// Judged after every block, so that the study stops at the block that met
// its target rather than at a later wake-up: each simulator overshoots by at
// most what it has sent meanwhile.
void Study::OnObservations() {
  if (!stopping_ && settings_.precision.Given()) JudgePrecision();
}

// The quantile is rounded to a conservative one (quantiles_), which can only
// delay the verdict "met"; "unreachable" is confirmed with the exact one.
void Study::JudgePrecision() {
  bool allMet = !running_.empty();
  for (std::size_t pv = 0; pv < running_.size(); ++pv) {
    const Moments& m = running_[pv];
    if (m.n == 0) continue;
    const Verdict verdict = Judge(m, settings_.precision, &quantiles_);
    if (verdict.unreachable && Judge(m, settings_.precision).unreachable) {
      BeginStop(StopReason::kUnreachable,
                "variable " + std::to_string(pv) + VariableName(settings_.variableNames, pv) + " has a mean of " + std::to_string(m.mean) +
                    " whose confidence interval contains 0 after " + std::to_string(m.n) +
                    " observations: a relative width cannot be reached; give --abs-width");
      return;
    }
    allMet = allMet && verdict.met && m.n >= settings_.precision.minReplications;
  }
  if (allMet) BeginStop(StopReason::kPrecision, "every variable reached the requested precision");
}

void Study::BeginStop(StopReason reason, const std::string& message) {
  if (stopping_) return;
  stopping_ = true;
  reason_ = reason;
  stopMessage_ = message;
  stopStarted_ = Elapsed();
  if (reason == StopReason::kUnreachable || reason == StopReason::kFailed) {
    std::cerr << "gpusim-manager: " << message << std::endl;
  }
  // Every connection now has a deadline, whatever holds it open.
  const double deadline = Now() + kQuitGraceSeconds + kTerminateGraceSeconds;
  for (auto& s : simulators_) {
    if (s->phase == Simulator::Phase::kRunning && s->socket >= 0) {
      SendQuit(*s);
    } else if (s->phase != Simulator::Phase::kRunning && s->phase != Simulator::Phase::kClosed && !s->lost) {
      Withdraw(*s);
    }
    s->DisconnectBy(deadline);
  }
}


// Who fell short of its share, and by how much; each such simulator's row
// says so too.
std::string Study::ShortfallMessage() {
  std::string shortfalls;
  for (auto& s : simulators_) {
    long delivered = 0;
    for (const Moments& m : s->moments) delivered = std::max(delivered, m.n);
    if (!s->lost && (s->facts.share == 0 || delivered >= s->facts.share)) continue;
    std::string text = "simulator " + std::to_string(s->facts.index) + (s->lost ? " was lost after delivering " : " delivered ") +
                       std::to_string(delivered);
    if (s->facts.share > 0) {
      text += " of its " + std::to_string(s->facts.share) + " replications";
      s->facts.note = "delivered " + std::to_string(delivered) + " of " + std::to_string(s->facts.share) +
                      " replications, " + std::to_string(s->facts.share - delivered) + " short";
    } else {
      text += " replications";
    }
    shortfalls += (shortfalls.empty() ? "" : "; ") + text;
  }
  return shortfalls.empty() ? "every simulator delivered its replications" : shortfalls;
}

void Study::SendQuit(Simulator& s) {
  const unsigned char command = protocol::kQuitCommand;
  s.quitSent = true;
  if (::send(s.socket, &command, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1) return;  // its end is near anyway
  if (s.terminateAt < 0) s.terminateAt = Now() + kQuitGraceSeconds;
}
