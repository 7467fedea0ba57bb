// Seeded random byte streams from a misbehaving manager: whatever arrives,
// command polling must neither crash nor overrun a buffer (the sanitizer
// build checks the latter), must answer only with well-formed replies, and
// must leave the run in a consistent state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "output/ManagerClient.h"
#include "output/QuelixSocket.h"
#include "simulator/SimulatorClass.h"

namespace {

constexpr int kInputs = 2000;
constexpr unsigned kSeed = 20240607;

// Structured input: a mix of valid commands, unknown bytes and command 3 with
// names inside dir (some too long to open), counts of every shape, with and
// without the terminator, shorter and longer than the 512-byte limit.
std::string StructuredInput(std::mt19937& random, const std::string& dir) {
  std::string bytes;
  const int commands = std::uniform_int_distribution<int>(0, 8)(random);
  for (int c = 0; c < commands; ++c) {
    switch (std::uniform_int_distribution<int>(0, 4)(random)) {
      case 0: bytes += '\x01'; break;
      case 1: bytes += '\x02'; break;
      case 2: bytes += static_cast<char>(std::uniform_int_distribution<int>(4, 255)(random)); break;
      default: {
        bytes += '\x03';
        const char alphabet[] = "abcxyz0129-_.;;;";
        std::string name = dir + "/";
        const int length = std::uniform_int_distribution<int>(0, 700)(random);
        for (int i = 0; i < length; ++i) name += alphabet[random() % (sizeof alphabet - 1)];
        bytes += name;
        if (random() % 2) bytes += ";" + std::to_string(static_cast<long long>(random()) - (1LL << 31));
        if (random() % 3) bytes += ";;";
      }
    }
  }
  return bytes;
}

std::string RandomInput(std::mt19937& random) {
  std::string bytes(std::uniform_int_distribution<int>(0, 1100)(random), '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

// Every reply is 10 bytes: length 10, then (255, 1), (254, 2) or (255, 3).
bool RepliesAreWellFormed(const std::string& bytes) {
  if (bytes.size() % 10 != 0) return false;
  for (std::size_t at = 0; at < bytes.size(); at += 10) {
    const int marker = static_cast<unsigned char>(bytes[at + 4]);
    const int code = static_cast<unsigned char>(bytes[at + 5]);
    const bool known = (marker == 255 && code == 1) || (marker == 254 && code == 2) || (marker == 255 && code == 3);
    if (manager::U32(bytes, at) != 10 || !known) return false;
  }
  return true;
}

}  // namespace

TEST(ListenToSimMgrFuzzTest, SurvivesRandomByteStreams) {
  char dirTemplate[] = "/tmp/gpusim-fuzz-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  QuelixSocket listener;
  ASSERT_TRUE(listener.Bind(0));
  ASSERT_TRUE(listener.Listen(8));

  std::mt19937 random(kSeed);
  long totalBytes = 0;
  int filesOpened = 0, filesRefused = 0, runsStopped = 0;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (int input = 0; input < kInputs; ++input) {
    const bool structured = input % 2 == 0;
    const std::string bytes = structured ? StructuredInput(random, dir) : RandomInput(random);
    totalBytes += static_cast<long>(bytes.size());
    // Random bytes may name any file: those runs have a configured binary
    // file, so command 3 never opens one.
    const bool fileConfigured = !structured || random() % 2 == 0;

    std::ostringstream out, err;
    auto sim = std::make_unique<SimulatorClass>(out, err);
    if (fileConfigured) sim->BinaryFileName = dir + "/configured.bin";
    sim->MaxBatches = 99;
    manager::Client client;
    ASSERT_TRUE(client.Connect(listener.LocalPort()));
    auto server = std::make_unique<QuelixSocket>(false);
    ASSERT_TRUE(listener.Accept(server.get()));
    sim->SimMgrSocket = server.release();
    ASSERT_TRUE(bytes.empty() || client.Send(bytes));
    if (random() % 4 == 0) {
      client.Close();
    } else {
      client.ShutdownWrite();
    }

    for (std::size_t polls = 0; polls <= bytes.size() + 1 && sim->SimMgrSocket != nullptr && sim->RunState == 0;
         ++polls) {
      sim->ListenToSimMgr(sim->SimMgrSocket);
    }
    ASSERT_TRUE(sim->RunState == 0 || sim->RunState == 2) << "input " << input;
    ASSERT_TRUE(sim->SimMgrSocket == nullptr || sim->RunState == 2) << "input " << input << " left unfinished";
    if (fileConfigured) {
      ASSERT_EQ(sim->MaxBatches, 99) << "input " << input;
    }
    if (sim->BinaryFile) {
      ASSERT_TRUE(sim->BinaryFile->is_open()) << "input " << input;
      ++filesOpened;
    }
    if (sim->ExitStatus != 0) ++filesRefused;
    if (sim->RunState == 2) ++runsStopped;
    sim.reset();
    if (client.Descriptor() >= 0) {
      const std::string replies = client.Read(1 << 20, 1000);
      ASSERT_TRUE(RepliesAreWellFormed(replies)) << "input " << input;
    }
  }
  testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  std::system(("rm -rf '" + dir + "'").c_str());
  // The generator reaches every outcome, not just the invalid-byte path.
  EXPECT_GT(filesOpened, 50);
  EXPECT_GT(filesRefused, 50);
  EXPECT_GT(runsStopped, 200);
  RecordProperty("inputs", kInputs);
  RecordProperty("bytes", static_cast<int>(totalBytes));
  std::cout << "fuzzed ListenToSimMgr with " << kInputs << " inputs, " << totalBytes << " bytes: " << filesOpened
            << " opened a file, " << filesRefused << " named one that could not be opened, " << runsStopped
            << " stopped the run" << std::endl;
}
