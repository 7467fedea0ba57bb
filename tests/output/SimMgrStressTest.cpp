// Two hundred short runs, each meeting one peer action chosen at random (quit,
// reset, silence, an unfinished command 3, command 3 to a new file, SIGINT,
// SIGTERM) after a random number of messages: every run must end within a
// bounded time, with the documented status and files whose counts match
// their contents. Runs go a few at a time to keep the test well under a
// minute.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "output/ManagerClient.h"
#include "output/SimulatorProcess.h"

namespace {

using namespace simprocess;

constexpr int kRuns = 200;
constexpr int kParallel = 4;
constexpr unsigned kSeed = 20261207;

enum Action { kQuit, kReset, kSilence, kUnfinishedFileCommand, kFileCommand, kSigint, kSigterm, kActions };
const char* const kActionNames[] = {"quit", "reset", "silence", "unfinished command 3", "command 3", "SIGINT",
                                    "SIGTERM"};

struct Plan {
  Action action;
  int messagesFirst;  // read before the action
  int reportSize;
  int fileLimit;      // command 3's count
  unsigned seed;
};

// Status 0 for what the user or the manager asked for, 1 for a manager at fault.
int ExpectedStatus(Action action) {
  return action == kReset || action == kSilence || action == kUnfinishedFileCommand ? 1 : 0;
}

// Runs one plan in dir; returns what went wrong, or "".
std::string RunOnce(const Plan& plan, const std::string& dir) {
  const std::string ascii = dir + "/r.txt", binary = dir + "/r.bin", handed = dir + "/h.bin";
  const bool withBinary = plan.action != kFileCommand;
  std::vector<std::string> arguments = {"-w", "-p", "0", "-n", std::to_string(plan.reportSize), "-s",
                                        std::to_string(plan.seed), "-a", ascii};
  if (withBinary) arguments.insert(arguments.end(), {"-b", binary});
  SimulatorProcess sim(arguments, dir, {"GPUSIM_PEER_WAIT_MS=200", "GPUSIM_SEND_BUFFER_BYTES=16384"});
  const unsigned short port = sim.RegisteredPort();
  if (port == 0) return "no REGISTER line";
  manager::Client client;
  if (!client.Connect(port, "127.0.0.1", plan.action == kSilence ? 4096 : 0)) return "cannot connect";
  if (client.Read(10) != GreetingBytes(sim.Pid())) return "no greeting";

  long toManager = 0;  // observations per variable the manager received
  auto count = [&](const Message& m) {
    if (m.kind == Message::kBlock && !m.block.entries.empty()) toManager += m.block.entries[0].count;
    return m.kind != Message::kNone;
  };
  for (int i = 0; i < plan.messagesFirst; ++i) {
    if (!count(ReadMessage(client))) return "the run ended early";
  }
  switch (plan.action) {
    case kQuit:
      client.Send("\x02");
      while (count(ReadMessage(client))) {
      }
      break;
    case kReset: {
      const linger abort{1, 0};
      ::setsockopt(client.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      client.Close();
      break;
    }
    case kSilence:
      break;
    case kUnfinishedFileCommand:
      client.Send(std::string("\x03" "abc;5;").substr(0, 1 + plan.seed % 6));
      break;
    case kFileCommand: {
      client.Send("\x03" + handed + ";" + std::to_string(plan.fileLimit) + ";;");
      Message m;
      while (count(m = ReadMessage(client)) && m.kind != Message::kReply) {
      }
      break;
    }
    case kSigint:
    case kSigterm:
      sim.Signal(plan.action == kSigint ? SIGINT : SIGTERM);
      while (count(ReadMessage(client))) {
      }
      break;
    default:
      break;
  }

  const int status = sim.Wait(20000);
  if (status < 0) return "did not end within 20 s";
  if (status != ExpectedStatus(plan.action)) return "status " + std::to_string(status) + ": " + sim.Errors();
  if ((sim.Output().find("GOOD EXIT") != std::string::npos) != (status == 0)) return "GOOD EXIT does not match";
  const long batches = ConsistentAsciiBatches(ascii);
  if (batches < 0) return "inconsistent ASCII file";
  long claimed = -1;
  if (withBinary) {
    if (BinaryObservations(binary, &claimed) != batches || claimed != batches) return "inconsistent binary file";
  } else if (BinaryObservations(handed, &claimed) + toManager != batches || claimed != batches) {
    return "the handed-over file and the manager do not add up to the run";
  }
  return "";
}

}  // namespace

TEST(SimMgrStressTest, EveryRunEndsInTimeWithConsistentFilesAndTheDocumentedStatus) {
  char dirTemplate[] = "/tmp/gpusim-stress-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string root = dirTemplate;

  std::mt19937 random(kSeed);
  std::vector<Plan> plans;
  for (int i = 0; i < kRuns; ++i) {
    // Small reports keep the output throttle busy.
    const int reportSizes[] = {1, 7, 50, 200};
    plans.push_back({static_cast<Action>(i % kActions), static_cast<int>(random() % 40), reportSizes[random() % 4],
                     static_cast<int>(1 + random() % 3000), static_cast<unsigned>(1 + random() % 100000)});
  }
  std::vector<std::string> failures(kRuns);
  std::atomic<int> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kParallel; ++w) {
    workers.emplace_back([&] {
      for (int i = next++; i < kRuns; i = next++) {
        const std::string dir = root + "/" + std::to_string(i);
        ::mkdir(dir.c_str(), 0700);
        failures[i] = RunOnce(plans[i], dir);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  std::system(("rm -rf '" + root + "'").c_str());

  for (int i = 0; i < kRuns; ++i) {
    EXPECT_EQ(failures[i], "") << "run " << i << " (" << kActionNames[plans[i].action] << " after "
                               << plans[i].messagesFirst << " messages, -n " << plans[i].reportSize << ")";
  }
}
