#include "manager/LocalLauncher.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

// Everything the process writes, until its output closes (at most 10 s).
std::string ReadAll(int descriptor) {
  std::string text;
  for (;;) {
    pollfd watched{descriptor, POLLIN, 0};
    if (::poll(&watched, 1, 10000) <= 0) break;
    char chunk[256];
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got <= 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  return text;
}

SimulatorEnding WaitForEnd(LaunchedSimulator& simulator) {
  for (int i = 0; i < 1000 && !simulator.Poll().Ended(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return simulator.Poll();
}

TEST(LocalLauncherTest, MergesBothStreamsAndReportsTheExitStatus) {
  LocalLauncher launcher;
  std::string error;
  auto child = launcher.Start({"/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}, 0}, error);
  ASSERT_NE(child, nullptr) << error;
  EXPECT_EQ(ReadAll(child->OutputDescriptor()), "out\nerr\n");
  const SimulatorEnding ending = WaitForEnd(*child);
  EXPECT_EQ(ending.kind, SimulatorEnding::Kind::kExited);
  EXPECT_EQ(ending.code, 3);
  EXPECT_EQ(child->ConnectAddress(), "127.0.0.1");
}

TEST(LocalLauncherTest, AMissingExecutableIsAnErrorAndStartsNothing) {
  LocalLauncher launcher;
  std::string error;
  EXPECT_EQ(launcher.Start({"/nonexistent/gpusim", {}, 0}, error), nullptr);
  // The exec's own error reaches the message.
  EXPECT_NE(error.find("cannot run '/nonexistent/gpusim': No such file or directory"), std::string::npos) << error;
}

TEST(LocalLauncherTest, KillEndsTheProcessAndTheDestructorReapsARunningOne) {
  LocalLauncher launcher;
  std::string error;
  auto killed = launcher.Start({"/bin/sh", {"-c", "exec sleep 30"}, 0}, error);
  ASSERT_NE(killed, nullptr) << error;
  EXPECT_FALSE(killed->Poll().Ended());
  killed->Kill();
  const SimulatorEnding ending = WaitForEnd(*killed);
  EXPECT_EQ(ending.kind, SimulatorEnding::Kind::kSignalled);
  EXPECT_EQ(ending.code, SIGKILL);

  auto abandoned = launcher.Start({"/bin/sh", {"-c", "exec sleep 30"}, 0}, error);
  ASSERT_NE(abandoned, nullptr) << error;
  const long pid = abandoned->ExpectedProcessId();
  abandoned.reset();
  EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "process " << pid << " outlived its handle";
}

}  // namespace
