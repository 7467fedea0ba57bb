#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "manager/BatchSeries.h"

namespace {

// An AR(1) series x' = phi x + e has lag-1 autocorrelation phi; pooled over
// four series of 25000 values the estimate's standard error is about
// sqrt((1 - phi^2) / 100000) < 0.0032, so 5 of them bound it. A large
// shared offset changes nothing (the sums are kept about the first value).
TEST(BatchSeriesTest, PooledLag1MatchesAnAutoregressiveSeries) {
  for (double phi : {0.0, 0.3, 0.8}) {
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    BatchSeries series[4];
    for (BatchSeries& s : series) {
      double x = noise(random) / std::sqrt(1 - phi * phi);
      for (int i = 0; i < 25000; ++i) {
        s.Add(1e9 + x);
        x = phi * x + noise(random);
      }
    }
    const Lag1Autocorrelation r = PooledLag1({&series[0], &series[1], &series[2], &series[3]});
    EXPECT_EQ(r.pairs, 4 * 24999);
    EXPECT_NEAR(r.value, phi, 5 * 0.0032) << phi;
  }
}

TEST(BatchSeriesTest, TooFewOrConstantBatchesHaveNoValue) {
  BatchSeries one;
  one.Add(3.0);
  BatchSeries constant;
  for (int i = 0; i < 10; ++i) constant.Add(2.0);
  EXPECT_TRUE(std::isnan(PooledLag1({&one}).value));
  EXPECT_TRUE(std::isnan(PooledLag1({&constant}).value));
  EXPECT_TRUE(std::isnan(PooledLag1({}).value));
}

}  // namespace
