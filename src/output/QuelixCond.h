// QuelixCond is a condition on which threads wait while releasing a
// QuelixMutex they own. Signal wakes exactly one waiting thread, if any; a
// signal given while no thread waits is lost, and a thread woken by a signal
// has consumed it (there is no broadcast). Wait returns with the mutex owned
// again.
//
// A thread counts as waiting from the moment Wait has registered it, which
// happens before its mutex is released: a Signal given by another thread that
// took the same mutex after that point always reaches it.
#ifndef QUELIX_COND_H
#define QUELIX_COND_H

#include "output/QuelixMutex.h"

#include <condition_variable>
#include <mutex>

class QuelixCond {
 public:
  QuelixCond();
  QuelixCond(const QuelixCond&) = delete;
  QuelixCond& operator=(const QuelixCond&) = delete;

  // REQUIRES: the calling thread owns mutex.
  void Wait(QuelixMutex* mutex);
  void Signal();
  int GetNumWaiters();

 private:
  std::mutex Lock;  // guards the two counts
  std::condition_variable Wakeup;
  int Waiters;
  int PendingWakeups;  // signals given to waiters that have not woken yet
};

#endif
