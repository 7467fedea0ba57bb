// QuelixThread runs one entry function with one untyped argument on a thread
// of its own. Start launches it; WaitUntilDone waits without limit for it to
// end. Sleep suspends the calling thread.
//
// A started thread that nobody waited for is waited for by the destructor, so
// the thread never outlives the object that describes it.
#ifndef QUELIX_THREAD_H
#define QUELIX_THREAD_H

#include <thread>

class QuelixThread {
 public:
  typedef unsigned (*EntryFunction)(void*);

  QuelixThread(EntryFunction entry, void* argument);
  QuelixThread(const QuelixThread&) = delete;
  QuelixThread& operator=(const QuelixThread&) = delete;
  ~QuelixThread();

  // REQUIRES: the thread has not been started yet.
  void Start();
  void WaitUntilDone();
  // The entry function's result, valid once WaitUntilDone has returned.
  unsigned GetExitCode() const { return ExitCode; }

  static void Sleep(int milliseconds);

 private:
  EntryFunction Entry;
  void* Argument;
  unsigned ExitCode;
  std::thread Handle;
};

#endif
