#include "simulator/StopSignals.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
int depth = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }

}  // namespace

StopSignals::StopSignals() {
  if (depth++ > 0) return;
  outermost_ = true;
  stopRequested = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal also cuts short a blocking call, so no wait
  // outlives the request by more than its polling slice.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, &oldInterrupt_);
  sigaction(SIGTERM, &action, &oldTerminate_);
}

StopSignals::~StopSignals() {
  --depth;
  if (!outermost_) return;
  // The request belonged to what this guard covered; a later wait starts
  // afresh.
  stopRequested = 0;
  sigaction(SIGINT, &oldInterrupt_, nullptr);
  sigaction(SIGTERM, &oldTerminate_, nullptr);
}

bool StopSignals::Requested() { return stopRequested != 0; }

void StopSignals::Request() { stopRequested = 1; }
