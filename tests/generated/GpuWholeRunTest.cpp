// Whole runs of the gpusim executable on the GPU model: the observed reward
// variables against their exact distribution, reproducibility, recorded
// digests of the results files, and the size override.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "generated/GpuExactDistribution.h"

namespace {

using gpu_reference::GpuExactDistribution;
using gpu_reference::kNumRewardVariables;
using gpu_reference::RewardValues;

struct RunResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
  std::string results;  // the ASCII results file
};

using testprocess::ReadFile;

// Unique per process: several builds' test suites may run at once.
std::string ScratchPath(const std::string& name) {
  return testing::TempDir() + "gpu_whole_run_" + std::to_string(getpid()) + "_" + name;
}

// Runs gpusim with the given arguments and an ASCII results file. SIMTEST
// is cleared: it selects how the affects relation is built, and with it the
// order in which simultaneous activities are scheduled.
RunResult RunGpusim(const std::string& args, const std::string& tag) {
  const std::string results = ScratchPath(tag + ".txt");
  const std::string out = ScratchPath(tag + ".out");
  const std::string err = ScratchPath(tag + ".err");
  std::remove(results.c_str());
  const testprocess::Outcome run =
      testprocess::RunRedirected("env -u SIMTEST " + std::string(GPUSIM_BINARY) + " -a " + results + " " + args, out, err);
  RunResult r;
  r.exitStatus = run.status;
  r.out = run.out;
  r.err = run.err;
  r.results = ReadFile(results);
  std::remove(results.c_str());
  return r;
}

// The observations of each variable, in order. Within a report the file
// lists each variable's observations in turn, and every report holds the
// same count for all variables, so observation j of every variable belongs
// to replication j.
std::vector<RewardValues> Replications(const std::string& results) {
  std::vector<std::vector<double>> perVariable(kNumRewardVariables);
  std::istringstream lines(results);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t comma = line.find(',');
    const int pv = std::stoi(line.substr(0, comma));
    perVariable.at(pv).push_back(std::stod(line.substr(comma + 1)));
  }
  std::vector<RewardValues> replications(perVariable[0].size());
  for (int v = 0; v < kNumRewardVariables; v++) {
    EXPECT_EQ(perVariable[v].size(), replications.size());
    for (size_t j = 0; j < replications.size() && j < perVariable[v].size(); j++)
      replications[j][v] = perVariable[v][j];
  }
  return replications;
}

uint64_t Fnv1a(const std::string& bytes) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

const int kStatisticalReplications = 100000;

class GpuStatisticsTest : public ::testing::TestWithParam<int> {};

// Every outcome's frequency and every variable's sample mean must lie within
// five standard errors of the exact values (the standard errors follow from
// the exact distribution and the number of replications).
TEST_P(GpuStatisticsTest, LongRunMatchesTheExactDistribution) {
  const int generator = GetParam();
  const int n = kStatisticalReplications;
  RunResult run = RunGpusim("-N " + std::to_string(n) + " -n 10000 -r " + std::to_string(generator) + " -s 4242",
                            "stats" + std::to_string(generator));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  GpuExactDistribution exact;
  EXPECT_NE(run.out.find("Actions fired: " + std::to_string(exact.MaxFirings() * n) + "\n"), std::string::npos)
      << run.out;

  std::vector<RewardValues> replications = Replications(run.results);
  ASSERT_EQ(static_cast<int>(replications.size()), n);

  std::map<RewardValues, int> counts;
  for (const RewardValues& r : replications) counts[r]++;
  for (const auto& [outcome, count] : counts)
    EXPECT_TRUE(exact.Joint().count(outcome)) << "impossible outcome observed " << count << " times";
  for (const auto& [outcome, p] : exact.Joint()) {
    const double frequency = counts[outcome] / static_cast<double>(n);
    EXPECT_NEAR(frequency, p, 5 * std::sqrt(p * (1 - p) / n));
  }
  for (int v = 0; v < kNumRewardVariables; v++) {
    double sum = 0;
    for (const RewardValues& r : replications) sum += r[v];
    EXPECT_NEAR(sum / n, exact.Mean(v), 5 * std::sqrt(exact.Variance(v) / n) + 1e-12) << "variable " << v;
  }
}

INSTANTIATE_TEST_SUITE_P(EachGenerator, GpuStatisticsTest, ::testing::Values(0, 1, 2));

TEST(GpuWholeRunTest, TheSameCommandLineGivesByteIdenticalResults) {
  RunResult a = RunGpusim("-N 500 -r 1 -s 77", "same_a");
  RunResult b = RunGpusim("-N 500 -r 1 -s 77", "same_b");
  ASSERT_EQ(a.exitStatus, 0) << a.err;
  EXPECT_FALSE(a.results.empty());
  EXPECT_EQ(a.results, b.results);
  RunResult other = RunGpusim("-N 500 -r 1 -s 78", "same_c");
  EXPECT_NE(a.results, other.results);
}

TEST(GpuWholeRunTest, SeedZeroIsTheDefaultSeed) {
  RunResult zero = RunGpusim("-N 300 -s 0", "seed0");
  RunResult deflt = RunGpusim("-N 300 -s 31415", "seed31415");
  ASSERT_EQ(zero.exitStatus, 0) << zero.err;
  EXPECT_NE(zero.results.find("SEED=31415,"), std::string::npos);
  EXPECT_EQ(zero.results, deflt.results);
}

TEST(GpuWholeRunTest, ALongerProgramArrayChangesNothingObservable) {
  // SCHEDULER gets 20 elements, the program fills the first 13 and the rest
  // stay 0; instruction 12 (an output write) never completes, so the tail is
  // never dispatched and the run is the default one, firing for firing.
  RunResult longer = RunGpusim("-N 400 -r 2 -s 9 -O s:size:20", "size20");
  RunResult deflt = RunGpusim("-N 400 -r 2 -s 9", "size13");
  ASSERT_EQ(longer.exitStatus, 0) << longer.err;
  EXPECT_NE(longer.out.find("Overriding global variables in simulator"), std::string::npos);
  EXPECT_NE(longer.out.find("Actions fired: " + std::to_string(43 * 400) + "\n"), std::string::npos);
  EXPECT_EQ(longer.results, deflt.results);
}

TEST(GpuWholeRunTest, TheOverrideReachesTheModelThoughTheResultsCannotShowIt) {
  // The extra elements appear in the listed state, and only there.
  RunResult longer = RunGpusim("-N 1 -m -l 0 -O s:size:20", "size20trace");
  RunResult deflt = RunGpusim("-N 1 -m -l 0", "size13trace");
  ASSERT_EQ(longer.exitStatus, 0) << longer.err;
  EXPECT_NE(longer.out.find("SCHEDULER.19"), std::string::npos);
  EXPECT_EQ(deflt.out.find("SCHEDULER.13"), std::string::npos);
  EXPECT_EQ(longer.results, deflt.results);
}

// An override that cannot be applied, or a size that leaves no room for the
// program, ends the run at start-up with its message and status 1, before
// the results file is created.
TEST(GpuWholeRunTest, BadOverridesAndImpossibleSizesEndTheRunAtStartUp) {
  const struct {
    const char* override;
    const char* message;
  } cases[] = {
      {"c:size:x", "ERROR: Cannot apply -O c:size:x: override 'c:size:x': 'size' is declared short, not char\n"},
      {"d:size:20", "'size' is declared short, not double\n"},
      {"f:size:20", "'size' is declared short, not float\n"},
      {"i:size:65549", "'size' is declared short, not int\n"},
      {"s:sise:20", "override 's:sise:20': the study has no global variable 'sise'\n"},
      {"s:size:abc", "value 'abc' is not a valid short (a whole number from -32768 to 32767)\n"},
      {"s:size:70000", "value '70000' is not a valid short"},
      {"size=20", "override 'size=20': a triple needs a type letter, a name and a value\n"},
      {"s:size:12", "Runtime error: index out of bounds. SCHEDULER[0..11] indexed with 12\n"},
      {"s:size:0", "Runtime error: index out of bounds. SCHEDULER[0..-1] indexed with 0\n"},
      {"s:size:-1", "SCHEDULER[0..-1] indexed with 0\n"},
  };
  for (const auto& c : cases) {
    RunResult r = RunGpusim(std::string("-N 10 -O ") + c.override, "badoverride");
    EXPECT_EQ(r.exitStatus, 1) << c.override << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.override << ": " << r.err;
    EXPECT_EQ(r.results, "") << c.override;
    EXPECT_EQ(r.out.find("Actions fired"), std::string::npos) << c.override;
  }
}

// Recorded digests of the ASCII results file (FNV-1a, 64 bits) for a few
// seeds and each generator. A change of the random stream, of the order of
// firings or of the file format shows up here and must be explained.
TEST(GpuWholeRunTest, RecordedDigestsOfTheResults) {
  struct Case {
    int generator;
    unsigned seed;
    uint64_t digest;
  };
  const Case cases[] = {
      {0, 31415, 0xb8e2a9c2c14d6da0ull}, {0, 1, 0x806fb4fba27377e5ull},
      {1, 31415, 0xfd464a952a0ee744ull}, {1, 1, 0x20854ef7ad169e67ull},
      {2, 31415, 0x157412dc1089fdf5ull}, {2, 1, 0x00d8c5be8db5a51aull},
  };
  for (const Case& c : cases) {
    RunResult r = RunGpusim("-N 1000 -r " + std::to_string(c.generator) + " -s " + std::to_string(c.seed),
                            "digest");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(Fnv1a(r.results), c.digest) << "generator " << c.generator << " seed " << c.seed << ": 0x"
                                          << std::hex << Fnv1a(r.results);
  }
}

}  // namespace
