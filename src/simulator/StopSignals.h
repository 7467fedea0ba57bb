// StopSignals turns SIGINT and SIGTERM into a request to stop: the running
// loop finishes its replication or step and hands over what it observed, and
// every wait on the simulation manager gives up. The handler is one-shot: a
// second signal ends the process the ordinary way, for a user who does not
// want to wait.
//
// The outermost StopSignals installs the handler and clears the request; a
// nested one (a loop run inside main's) leaves both alone, so a signal that
// arrived while the process waited for the manager is not forgotten. The
// destructor of the outermost clears the request and restores the handlers
// it replaced.
//
// Not thread-safe: construct and destroy on the main thread. Requested may be
// called anywhere; the handler only stores a flag.
#ifndef STOP_SIGNALS_H
#define STOP_SIGNALS_H

#include <csignal>

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Whether a stop was requested while the outermost StopSignals lives.
  static bool Requested();
  // Asks for a stop as a signal would.
  static void Request();

 private:
  bool outermost_ = false;
  struct sigaction oldInterrupt_ {};
  struct sigaction oldTerminate_ {};
};

#endif
