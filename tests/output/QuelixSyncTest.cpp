#include "output/QuelixCond.h"
#include "output/QuelixMutex.h"
#include "output/QuelixThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

TEST(QuelixMutexTest, NamesCountUpByOne) {
  QuelixMutex a;
  QuelixMutex b;
  int na = std::atoi(a.GetName() + std::strlen("mutex"));
  EXPECT_EQ(std::string(a.GetName()).rfind("mutex", 0), 0u);
  EXPECT_EQ(std::string(b.GetName()), "mutex" + std::to_string(na + 1));
}

namespace {
struct Shared {
  QuelixMutex mutex;
  QuelixCond cond;
  int ready = 0;
  int total = 0;
};

unsigned AddUnderLock(void* p) {
  Shared* s = static_cast<Shared*>(p);
  for (int i = 0; i < 10000; ++i) {
    s->mutex.Get();
    ++s->total;
    s->mutex.Release();
  }
  return 7;
}

unsigned WaitForReady(void* p) {
  Shared* s = static_cast<Shared*>(p);
  s->mutex.Get();
  while (s->ready == 0) s->cond.Wait(&s->mutex);
  --s->ready;
  s->mutex.Release();
  return 1;
}
}  // namespace

TEST(QuelixThreadTest, ThreadsRunTheirEntryAndAreWaitedFor) {
  Shared shared;
  QuelixThread one(AddUnderLock, &shared);
  QuelixThread two(AddUnderLock, &shared);
  one.Start();
  two.Start();
  one.WaitUntilDone();
  two.WaitUntilDone();
  EXPECT_EQ(shared.total, 20000);
  EXPECT_EQ(one.GetExitCode(), 7u);
}

TEST(QuelixCondTest, EachSignalWakesOneWaiter) {
  Shared shared;
  QuelixThread first(WaitForReady, &shared);
  QuelixThread second(WaitForReady, &shared);
  first.Start();
  second.Start();
  while (shared.cond.GetNumWaiters() < 2) QuelixThread::Sleep(1);

  shared.mutex.Get();
  shared.ready = 1;
  shared.cond.Signal();
  shared.mutex.Release();
  // Exactly one waiter can take the token; the other goes back to waiting.
  while (true) {
    shared.mutex.Get();
    bool taken = shared.ready == 0;
    shared.mutex.Release();
    if (taken && shared.cond.GetNumWaiters() == 1) break;
    QuelixThread::Sleep(1);
  }

  shared.mutex.Get();
  shared.ready = 1;
  shared.cond.Signal();
  shared.mutex.Release();
  first.WaitUntilDone();
  second.WaitUntilDone();
  EXPECT_EQ(shared.cond.GetNumWaiters(), 0);
}

TEST(QuelixCondTest, ASignalWithoutWaitersIsLost) {
  Shared shared;
  shared.cond.Signal();
  shared.cond.Signal();
  // A later waiter is not released by the earlier signals: it needs its own.
  QuelixThread waiter(WaitForReady, &shared);
  shared.ready = 0;
  waiter.Start();
  while (shared.cond.GetNumWaiters() < 1) QuelixThread::Sleep(1);
  QuelixThread::Sleep(20);
  EXPECT_EQ(shared.cond.GetNumWaiters(), 1);
  shared.mutex.Get();
  shared.ready = 1;
  shared.cond.Signal();
  shared.mutex.Release();
  waiter.WaitUntilDone();
  EXPECT_EQ(shared.ready, 0);
}
