#include "results/ResultsSummary.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ResultsSummaryTest, StudentQuantilesMatchTheTables) {
  EXPECT_NEAR(StudentTQuantile(0.975, 1), 12.7062047, 1e-6);
  EXPECT_NEAR(StudentTQuantile(0.975, 2), 4.30265273, 1e-7);
  EXPECT_NEAR(StudentTQuantile(0.975, 10), 2.22813885, 1e-7);
  EXPECT_NEAR(StudentTQuantile(0.975, 30), 2.04227246, 1e-7);
  EXPECT_NEAR(StudentTQuantile(0.975, 999), 1.96234146, 1e-7);
  EXPECT_NEAR(StudentTQuantile(0.975, 10000000), 1.95996398, 1e-6);
  EXPECT_NEAR(StudentTQuantile(0.95, 5), 2.01504837, 1e-7);
}

TEST(ResultsSummaryTest, MeanDeviationAndIntervalPerVariable) {
  ResultsSummary summary({"scheduling", "", "write_ko"});
  for (double v : {1.0, 2.0, 3.0, 4.0}) summary.Add(0, v);
  summary.Add(1, 5.0);
  summary.Add(1, 5.0);
  summary.Add(7, 9.0);
  const auto rows = summary.Rows();
  ASSERT_EQ(rows.size(), 3u);

  EXPECT_EQ(rows[0].name, "scheduling");
  EXPECT_EQ(rows[0].observations, 4);
  EXPECT_DOUBLE_EQ(rows[0].mean, 2.5);
  const double sd = std::sqrt(5.0 / 3.0);
  EXPECT_NEAR(rows[0].standardDeviation, sd, 1e-12);
  const double halfWidth = 3.18244631 * sd / 2.0;
  EXPECT_NEAR(rows[0].ciLow, 2.5 - halfWidth, 1e-7);
  EXPECT_NEAR(rows[0].ciHigh, 2.5 + halfWidth, 1e-7);

  EXPECT_EQ(rows[1].name, "pv1") << "an empty name falls back to the index";
  EXPECT_EQ(rows[1].standardDeviation, 0.0);
  EXPECT_EQ(rows[1].ciLow, 5.0);

  EXPECT_EQ(rows[2].name, "pv7");
  EXPECT_TRUE(std::isnan(rows[2].standardDeviation)) << "one observation has no spread";
  EXPECT_TRUE(std::isnan(rows[2].ciHigh));
}

TEST(ResultsSummaryTest, WelfordStaysAccurateFarFromZero) {
  ResultsSummary summary;
  for (int i = 0; i < 1000; ++i) summary.Add(0, 1e9 + (i % 2 == 0 ? 1.0 : -1.0));
  EXPECT_NEAR(summary.Rows()[0].standardDeviation, std::sqrt(1000.0 / 999.0), 1e-6);
}
