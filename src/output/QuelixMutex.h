// QuelixMutex is a plain, non-recursive lock: Get waits without limit until
// the calling thread owns it, Release gives it up. Each mutex carries a name,
// "mutex1", "mutex2", ..., numbered by a process-wide counter in order of
// construction; the name is informational only.
//
// REQUIRES: Release is called by the thread that owns the mutex, and the
// mutex is not owned when it is destroyed.
#ifndef QUELIX_MUTEX_H
#define QUELIX_MUTEX_H

#include <mutex>

class QuelixMutex {
 public:
  QuelixMutex();
  QuelixMutex(const QuelixMutex&) = delete;
  QuelixMutex& operator=(const QuelixMutex&) = delete;

  void Get();
  void Release();
  const char* GetName() const { return Name; }

 private:
  static int _globalID;

  char Name[64];
  std::mutex Handle;
};

#endif
