#include "output/QuelixThread.h"

#include "Cpp/BaseClasses/QuelixAssert.h"

#include <chrono>

QuelixThread::QuelixThread(EntryFunction entry, void* argument)
    : Entry(entry), Argument(argument), ExitCode(0) {}

QuelixThread::~QuelixThread() { WaitUntilDone(); }

void QuelixThread::Start() {
  QUELIX_ASSERT(!Handle.joinable(), "QuelixThread");
  Handle = std::thread([this] { ExitCode = Entry(Argument); });
}

void QuelixThread::WaitUntilDone() {
  if (Handle.joinable()) Handle.join();
}

void QuelixThread::Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
