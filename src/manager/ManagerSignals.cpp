#include "manager/ManagerSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

int pipeEnds[2] = {-1, -1};

// Only async-signal-safe work: one byte naming the signal.
void OnSignal(int signalNumber) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  ssize_t ignored = ::write(pipeEnds[1], &byte, 1);
  (void)ignored;
  errno = saved;
}

}  // namespace

ManagerSignals::ManagerSignals() {
  if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) pipeEnds[0] = pipeEnds[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &previousInt_);
  ::sigaction(SIGTERM, &action, &previousTerm_);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &previousPipe_);
  // A manager started with the stop signals blocked (inherited across exec)
  // would never see them; one that arrived before the handlers were in place
  // is pending and is delivered to them here.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  ::sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
}

ManagerSignals::~ManagerSignals() {
  ::sigaction(SIGINT, &previousInt_, nullptr);
  ::sigaction(SIGTERM, &previousTerm_, nullptr);
  ::sigaction(SIGPIPE, &previousPipe_, nullptr);
  for (int& end : pipeEnds) {
    if (end >= 0) ::close(end);
    end = -1;
  }
}

int ManagerSignals::Descriptor() const { return pipeEnds[0]; }

int ManagerSignals::Take() {
  int last = 0;
  unsigned char bytes[16];
  ssize_t got;
  while ((got = ::read(pipeEnds[0], bytes, sizeof bytes)) > 0) last = bytes[got - 1];
  return last;
}
