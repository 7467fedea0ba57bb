#include "manager/ReaderPool.h"

#include <signal.h>

#include <system_error>

ReaderPool::ReaderPool(int threads) {
  // The threads inherit the mask: a signal is then always taken by the
  // study's own thread, whose wait it interrupts.
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  for (int t = 1; t < threads; ++t) {
    try {
      workers_.emplace_back(&ReaderPool::Serve, this, t);
    } catch (const std::system_error&) {
      break;  // the rest is read by the threads already running
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

ReaderPool::~ReaderPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  started_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ReaderPool::Run(const std::function<void(int)>& work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = &work;
    busy_ = static_cast<int>(workers_.size());
    ++round_;
  }
  started_.notify_all();
  work(0);
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this] { return busy_ == 0; });
  work_ = nullptr;
}

void ReaderPool::Serve(int thread) {
  long seen = 0;
  for (;;) {
    const std::function<void(int)>* work;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      started_.wait(lock, [&] { return closing_ || round_ != seen; });
      if (closing_) return;
      seen = round_;
      work = work_;
    }
    (*work)(thread);
    std::lock_guard<std::mutex> lock(mutex_);
    if (--busy_ == 0) finished_.notify_one();
  }
}
