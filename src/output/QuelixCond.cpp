#include "output/QuelixCond.h"

QuelixCond::QuelixCond() : Waiters(0), PendingWakeups(0) {}

void QuelixCond::Wait(QuelixMutex* mutex) {
  {
    // Registering under Lock before the caller's mutex is released makes the
    // release and the wait one step for any signaller.
    std::unique_lock<std::mutex> guard(Lock);
    ++Waiters;
    mutex->Release();
    Wakeup.wait(guard, [this] { return PendingWakeups > 0; });
    --PendingWakeups;
    --Waiters;
  }
  mutex->Get();
}

void QuelixCond::Signal() {
  std::lock_guard<std::mutex> guard(Lock);
  if (Waiters > PendingWakeups) {
    ++PendingWakeups;
    Wakeup.notify_one();
  }
}

int QuelixCond::GetNumWaiters() {
  std::lock_guard<std::mutex> guard(Lock);
  return Waiters;
}
