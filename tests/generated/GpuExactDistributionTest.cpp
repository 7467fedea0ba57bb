// Checks of the reference enumerator itself, against facts worked out by hand
// from the model, before it is trusted to judge the simulator.
#include "generated/GpuExactDistribution.h"

#include <gtest/gtest.h>

namespace gpu_reference {
namespace {

double TotalProbability(const GpuExactDistribution& d) {
  double total = 0;
  for (const auto& entry : d.Joint()) total += entry.second;
  return total;
}

TEST(GpuExactDistributionTest, DefaultProgramHasFixedCountsAndFiringsAndRandomOutcomes) {
  GpuExactDistribution d;
  EXPECT_NEAR(TotalProbability(d), 1.0, 1e-12);
  // 13 dispatches (the last, a write to the output memory, never completes),
  // 7 reads of 3 firings, 3 computations, 2 result writes of 3 firings.
  EXPECT_EQ(d.MinFirings(), 43);
  EXPECT_EQ(d.MaxFirings(), 43);
  for (const auto& [values, probability] : d.Joint()) {
    EXPECT_EQ(values[kScheduling], 13);
    EXPECT_EQ(values[kComputeKo], 0);
    EXPECT_EQ(values[kWriteOk] + values[kWriteKo], 2);
    // 3 computations x 2 + 2 result reads x 32 + 5 total reads x 64
    // + 2 result writes x 32 + 13 dispatches x 1.
    EXPECT_EQ(values[kClockSteps], 467);
  }
}

TEST(GpuExactDistributionTest, ResultWritesFollowTheHandComputedLaw) {
  // The first result is OK with probability 1/2; given that, the second is
  // OK with probability 1/2 as well (worked out over the leftover token and
  // the two fresh reads), so write_ok is 0, 1, 2 with 1/4, 1/2, 1/4.
  GpuExactDistribution d;
  auto writes = d.Marginal(kWriteOk);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_NEAR(writes[0], 0.25, 1e-12);
  EXPECT_NEAR(writes[1], 0.5, 1e-12);
  EXPECT_NEAR(writes[2], 0.25, 1e-12);
  EXPECT_NEAR(d.Mean(kWriteKo), 1.0, 1e-12);
  EXPECT_NEAR(d.Variance(kWriteOk), 0.5, 1e-12);
}

TEST(GpuExactDistributionTest, OkAndKoAreSymmetric) {
  GpuExactDistribution d;
  auto computes = d.Marginal(kComputeOk);
  EXPECT_EQ(computes.size(), 4u);  // 0, 2, 4, 6
  EXPECT_NEAR(d.Mean(kComputeOk), 3.0, 1e-12);
  EXPECT_NEAR(computes[0.0], computes[6.0], 1e-12);
  EXPECT_NEAR(computes[2.0], computes[4.0], 1e-12);
}

TEST(GpuExactDistributionTest, ALongerSchedulerWithTheSameProgramChangesNothing) {
  // The output write of instruction 12 never completes, so the zeros that
  // follow it in a longer SCHEDULER are never dispatched.
  GpuExactDistribution thirteen(13);
  GpuExactDistribution twenty(20);
  EXPECT_EQ(thirteen.Joint(), twenty.Joint());
  EXPECT_EQ(twenty.MaxFirings(), 43);
}

TEST(GpuExactDistributionTest, SmallProgramsBehaveAsTraced) {
  // An arithmetic instruction with no read token blocks the compute unit.
  GpuExactDistribution blocked(1, {4});
  ASSERT_EQ(blocked.Joint().size(), 1u);
  EXPECT_EQ(blocked.Joint().begin()->first, (RewardValues{1, 0, 0, 0, 0, 1}));
  EXPECT_EQ(blocked.MaxFirings(), 1);

  // One read, one computation, one result write, then nothing is enabled:
  // the outcome is OK or KO with probability 1/2 each.
  GpuExactDistribution chain(3, {0, 4, 2});
  ASSERT_EQ(chain.Joint().size(), 2u);
  const double ok = chain.Joint().at(RewardValues{3, 1, 0, 2, 0, 3 + 64 + 2 + 32});
  const double ko = chain.Joint().at(RewardValues{3, 0, 1, 0, 0, 3 + 64 + 2 + 32});
  EXPECT_NEAR(ok, 0.5, 1e-12);
  EXPECT_NEAR(ko, 0.5, 1e-12);
  EXPECT_EQ(chain.MaxFirings(), 3 + 3 + 1 + 3);

  // A code outside 0..4, negative ones included, dispatches nothing.
  GpuExactDistribution unknown(2, {7, -1});
  ASSERT_EQ(unknown.Joint().size(), 1u);
  EXPECT_EQ(unknown.Joint().begin()->first[kScheduling], 1);  // waits for a completion forever
}

}  // namespace
}  // namespace gpu_reference
