#include "manager/MergedRegions.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "manager/ManagerProcess.h"
#include "output/BinFileHeader.h"
#include "results/FileWrites.h"

using managertest::ManagerProcess;

namespace {

class MergedRegionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/gpusim-regions-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string dir_;
};

// The foretold bytes are exactly what a one-simulator study writes after
// the header, for the real simulator, terminating and steady state, with
// and without a warm-up that ends inside a report.
TEST_F(MergedRegionsTest, ForetoldBytesAreWhatAStudyWrites) {
  struct Case {
    long share;
    int reportSize;
    long warmup;  // steady state when positive
    int variables;
  };
  const std::string model = std::string(GPUSIM_SOURCE_DIR) + "/models/mm1k.san";
  for (const Case& c : {Case{1, 1000, 0, 6}, Case{2000, 1000, 0, 6}, Case{2500, 1000, 0, 6}, Case{25, 7, 3, 4},
                        Case{21, 7, 7, 4}, Case{5, 4, 10, 4}}) {
    const std::string file = dir_ + "/merged.bin";
    std::vector<std::string> words = {"--quiet", "--gpusim", GPUSIM_BINARY, "--simulators", "1", "--binary", file,
                                      "--force", "--replications", std::to_string(c.share), "--report-size",
                                      std::to_string(c.reportSize)};
    if (c.warmup > 0) {
      words.insert(words.end(), {"--warmup-batches", std::to_string(c.warmup), "--", "--model", model, "-t", "0"});
    }
    ManagerProcess run(dir_, words);
    ASSERT_EQ(run.Wait(60), 0) << run.Err();
    const long long written = static_cast<long long>(testprocess::ReadFile(file).size()) - BinFileHeader::kSize;
    EXPECT_EQ(ForetoldBlockBytes(c.share, {c.reportSize, c.variables, c.warmup}), written)
        << "share " << c.share << ", reports of " << c.reportSize << ", warm-up " << c.warmup;
  }
  // The largest -N on one simulator foretells more bytes than a long long holds.
  EXPECT_EQ(ForetoldBlockBytes(std::numeric_limits<long>::max(), {1000, 6, 0}), std::numeric_limits<long long>::max());
}

// Regions that each hold more, less or exactly what they were given, and
// spilled bytes, end up back to back in simulator order once the planned
// moves are made (in small pieces, so that moves overlap themselves).
TEST_F(MergedRegionsTest, PlannedMovesLeaveEveryRegionBackToBack) {
  std::mt19937 random(20261208);
  const int file = ::open((dir_ + "/file").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  for (int round = 0; round < 200; ++round) {
    const int regions = 1 + static_cast<int>(random() % 6);
    const long long first = 5;
    std::vector<RegionFill> fills;
    std::string expected;
    std::string content(first, '.');
    for (int k = 0; k < regions; ++k) {
      const long long room = random() % 40;
      RegionFill fill{static_cast<long long>(content.size()), room == 0 ? 0 : static_cast<long long>(random() % (room + 1)),
                      random() % 3 == 0 ? static_cast<long long>(1 + random() % 30) : 0};
      const std::string held(static_cast<std::size_t>(fill.held), static_cast<char>('a' + k));
      content += held + std::string(static_cast<std::size_t>(room - fill.held), '-');
      expected += held + std::string(static_cast<std::size_t>(fill.spilled), static_cast<char>('A' + k));
      fills.push_back(fill);
    }
    ASSERT_EQ(::ftruncate(file, 0), 0);
    ASSERT_TRUE(file_writes::WriteWholeAt(file, content.data(), content.size(), 0));
    for (const RegionMove& move : PlanRegionMoves(fills, first)) {
      ASSERT_TRUE(file_writes::MoveWithin(file, move.from, move.to, move.length, 3));
    }
    const std::vector<long long> finals = FinalStarts(fills, first);
    for (int k = 0; k < regions; ++k) {
      const std::string spilled(static_cast<std::size_t>(fills[k].spilled), static_cast<char>('A' + k));
      ASSERT_TRUE(file_writes::WriteWholeAt(file, spilled.data(), spilled.size(), finals[k] + fills[k].held));
    }
    std::string got(expected.size(), '\0');
    ASSERT_EQ(::pread(file, &got[0], got.size(), first), static_cast<ssize_t>(got.size()));
    EXPECT_EQ(got, expected) << "round " << round;
  }
  ::close(file);
}

}  // namespace
