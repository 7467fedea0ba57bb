// The pieces of the remote launchers that do not need a daemon: the host
// list, the remote command line as a shell reads it, and the time limit on
// helper commands.
#include <gtest/gtest.h>

#include <chrono>

#include "manager/CommandRunner.h"
#include "manager/SshLauncher.h"

namespace {

TEST(RemoteLauncherTest, HostListsGiveEachHostItsSlots) {
  std::vector<SshHost> hosts;
  std::string error;
  ASSERT_TRUE(ParseSshHosts("n1,n2:4,10.0.0.7:2", hosts, error)) << error;
  ASSERT_EQ(hosts.size(), 3u);
  EXPECT_EQ(hosts[1].name, "n2");
  EXPECT_EQ(hosts[1].slots, 4);
  EXPECT_EQ(TotalSlots(hosts), 7);

  SshLauncher launcher({"ssh"}, hosts, "");
  const char* expected[] = {"n1", "n2", "n2", "n2", "n2", "10.0.0.7", "10.0.0.7", "n1"};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(launcher.HostFor(k), expected[k]) << k;

  for (const char* bad : {"", "n1,", ",n1", "n1:0", "n1:x", "n1:", ":3", "n1:99999"}) {
    EXPECT_FALSE(ParseSshHosts(bad, hosts, error)) << bad;
    EXPECT_NE(error.find("--hosts"), std::string::npos) << error;
  }
}

// The remote shell must hand every argument to the simulator unchanged, and
// the placement line must carry the pid the simulator runs as.
TEST(RemoteLauncherTest, TheRemoteCommandReachesTheProgramWordForWord) {
  const std::string command = SshLauncher::RemoteCommand(
      "/bin/sh", {"-c", "echo \"pid $$\"; printf '[%s]\\n' \"$@\"", "x", "a b", "it's", "$HOME", "*", ""});
  const CommandResult result = RunCommand({"/bin/sh", "-c", command}, 10);
  ASSERT_TRUE(result.Succeeded()) << result.output;
  const std::size_t pid = result.output.find("GPUSIM_PLACED: ") + 15;
  const std::string placedPid = result.output.substr(pid, result.output.find(' ', pid) - pid);
  EXPECT_NE(result.output.find("pid " + placedPid + "\n"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("\n[a b]\n[it's]\n[$HOME]\n[*]\n[]\n"), std::string::npos) << result.output;
}

TEST(RemoteLauncherTest, AHelperCommandPastItsTimeLimitIsKilledWithWhatItStarted) {
  const auto start = std::chrono::steady_clock::now();
  const CommandResult result = RunCommand({"/bin/sh", "-c", "echo waiting; sleep 30 & wait"}, 0.3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(result.timedOut);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_EQ(result.Reason(), "no answer within the time limit; it said: waiting");
  EXPECT_EQ(RunCommand({"no-such-command-here"}, 1).Reason(), "'no-such-command-here' not found");
}

}  // namespace
