// ManagerSignals turns SIGINT and SIGTERM into a readable descriptor for the
// study's poll loop (a self-pipe), and ignores SIGPIPE, so that a simulator
// that goes away while the manager writes to it is an error result, not the
// end of the manager. It unblocks SIGINT and SIGTERM, so that a signal that
// arrived while they were blocked is taken now. The previous dispositions
// come back on destruction.
//
// One instance at a time per process; not thread-safe.
#ifndef MANAGER_MANAGER_SIGNALS_H
#define MANAGER_MANAGER_SIGNALS_H

#include <signal.h>

class ManagerSignals {
 public:
  ManagerSignals();
  ~ManagerSignals();
  ManagerSignals(const ManagerSignals&) = delete;
  ManagerSignals& operator=(const ManagerSignals&) = delete;

  // Readable once a signal has arrived.
  int Descriptor() const;
  // The signals that arrived since the last call (0 when none), the last one
  // first; drains the descriptor.
  int Take();

 private:
  struct sigaction previousInt_;
  struct sigaction previousTerm_;
  struct sigaction previousPipe_;
};

#endif
