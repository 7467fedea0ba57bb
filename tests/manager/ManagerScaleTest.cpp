// Hundreds of simulators on one manager: fast-simulator stand-ins, each
// sending valid blocks as fast as the manager reads them.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "manager/ManagerProcess.h"
#include "manager/Study.h"

namespace {

using managertest::ManagerProcess;

// Every number that follows key in text, in order.
std::vector<long> NumbersAfter(const std::string& text, const std::string& key) {
  std::vector<long> numbers;
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    numbers.push_back(std::atol(text.c_str() + at + key.size()));
  }
  return numbers;
}

// What `fast-simulator --emit` writes for these arguments: the blocks a
// stand-in given them sends.
std::string Emitted(const std::string& arguments) {
  std::string bytes;
  std::FILE* pipe = ::popen((std::string(FAST_SIMULATOR_BINARY) + " --emit " + arguments).c_str(), "r");
  if (pipe == nullptr) return bytes;
  char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) bytes.append(chunk, got);
  ::pclose(pipe);
  return bytes;
}

// Under the common soft limit of 1024 open files (the hard one is higher),
// 512 simulators all start, all deliver their share, and the merged file
// holds after its header exactly the blocks each sent, simulator after
// simulator.
TEST(ManagerScaleTest, FiveHundredTwelveSimulatorsUnderASoftLimitOf1024LoseNone) {
  char pattern[] = "/tmp/gpusim-manager-scale-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  constexpr int kSimulators = 512;
  constexpr long kShare = 20;
  constexpr int kReportSize = 8;
  ManagerProcess run(dir,
                     {"--quiet", "--json", "--simulators", std::to_string(kSimulators), "--replications",
                      std::to_string(kSimulators * kShare), "--report-size", std::to_string(kReportSize), "--binary",
                      dir + "/r.bin", "--gpusim", FAST_SIMULATOR_BINARY},
                     [] {
                       rlimit limit{};
                       ::getrlimit(RLIMIT_NOFILE, &limit);
                       limit.rlim_cur = std::min<rlim_t>(1024, limit.rlim_max);
                       ::setrlimit(RLIMIT_NOFILE, &limit);
                     });
  ASSERT_EQ(run.Wait(120), 0) << run.Err();
  const std::string summary = run.Out();
  EXPECT_EQ(NumbersAfter(summary, "\"lost\": false").size(), static_cast<std::size_t>(kSimulators)) << run.Err();
  // A variable's row: "name": "v0", "observations": N.
  const std::vector<long> perVariable = NumbersAfter(summary, "\", \"observations\": ");
  EXPECT_EQ(perVariable, std::vector<long>(6, kSimulators * kShare)) << summary;
  // The simulators' facts come before the sources, which list the seeds again.
  const std::vector<long> seeds = NumbersAfter(summary.substr(0, summary.find("\"sources\"")), "\"seed\": ");
  ASSERT_EQ(seeds.size(), static_cast<std::size_t>(kSimulators));

  std::string expected;
  for (long seed : seeds) {
    expected += Emitted("-s " + std::to_string(seed) + " -n " + std::to_string(kReportSize) + " -N " +
                        std::to_string(kShare));
  }
  const std::string merged = testprocess::ReadFile(dir + "/r.bin");
  ASSERT_GT(merged.size(), expected.size());
  EXPECT_TRUE(merged.compare(merged.size() - expected.size(), expected.size(), expected) == 0)
      << "the merged file's blocks differ from what the simulators sent";
  std::system(("rm -rf '" + dir + "'").c_str());
}

// One ingest thread until a study outgrows what one reads, and never more
// than a quarter of the cores.
TEST(ManagerScaleTest, DefaultIngestThreadsFollowTheSimulatorsAndTheCores) {
  struct Case {
    int simulators;
    unsigned cores;
    int threads;
  };
  for (const Case& c : {Case{1, 64, 1}, Case{64, 64, 1}, Case{65, 64, 2}, Case{512, 64, 8}, Case{512, 16, 4},
                        Case{512, 2, 1}, Case{512, 0, 1}}) {
    EXPECT_EQ(IngestThreadsFor(c.simulators, c.cores), c.threads) << c.simulators << " simulators, " << c.cores
                                                                  << " cores";
  }
}

// The figures and the merged file do not depend on how many threads read
// the simulators: each simulator's blocks are folded and kept on one thread,
// and everything is combined in simulator order. Ten simulators on 1, 2, 3
// and 4 threads (the simulators divided unevenly), each run to a fixed share
// so that the contents are the same from run to run.
TEST(ManagerScaleTest, FiguresAndMergedFileAreTheSameOnAnyNumberOfIngestThreads) {
  char pattern[] = "/tmp/gpusim-manager-threads-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  std::string firstFigures, firstMerged;
  for (int threads : {1, 2, 3, 4}) {
    SCOPED_TRACE("ingest threads: " + std::to_string(threads));
    const std::string merged = dir + "/t" + std::to_string(threads) + ".bin";
    ManagerProcess run(dir, {"--quiet", "--csv", "--simulators", "10", "--replications", "20000", "--report-size",
                             "64", "--binary", merged, "--ingest-threads", std::to_string(threads), "--gpusim",
                             FAST_SIMULATOR_BINARY});
    ASSERT_EQ(run.Wait(120), 0) << run.Err();
    const std::string figures = run.Out();
    const std::string bytes = testprocess::ReadFile(merged);
    ASSERT_GT(bytes.size(), 20000u * 6 * 8);
    if (threads == 1) {
      firstFigures = figures;
      firstMerged = bytes;
      continue;
    }
    EXPECT_EQ(figures, firstFigures);
    EXPECT_TRUE(bytes == firstMerged) << "the merged file differs from the one written on one thread";
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
