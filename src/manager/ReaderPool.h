// ReaderPool: the threads a Study reads its simulators' connections on when
// one core is not enough. Run hands a piece of work to every thread, the
// caller's included (thread 0), and returns once each has done its part, so
// that between two calls the caller alone touches what the work touched:
// the pool's lock orders every thread's writes before Run returns.
//
// The threads are started by the constructor and joined by the destructor;
// they take no signal (SIGINT and SIGTERM are left to the thread that made
// the pool). If the system refuses a thread, the pool runs with those it
// has (Threads() says how many, at least 1).
//
// Run is called from one thread at a time, the one that made the pool; the
// work must not throw.
#ifndef MANAGER_READER_POOL_H
#define MANAGER_READER_POOL_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ReaderPool {
 public:
  // REQUIRES: threads >= 1.
  explicit ReaderPool(int threads);
  ~ReaderPool();
  ReaderPool(const ReaderPool&) = delete;
  ReaderPool& operator=(const ReaderPool&) = delete;

  int Threads() const { return static_cast<int>(workers_.size()) + 1; }
  // Calls work(t) on thread t for every t in [0, Threads()).
  void Run(const std::function<void(int thread)>& work);

 private:
  void Serve(int thread);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable started_;
  std::condition_variable finished_;
  const std::function<void(int)>* work_ = nullptr;
  long round_ = 0;
  int busy_ = 0;
  bool closing_ = false;
};

#endif
