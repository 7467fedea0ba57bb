#include "report/ObservationTrack.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ObservationTrackTest, RunningMeanPointsStayFewAndEndAtTheFinalState) {
  ObservationTrack track;
  for (long i = 1; i <= 1000000; ++i) track.Add(static_cast<double>(i % 7));
  const auto points = track.Points();
  EXPECT_LT(points.size(), 1100u);
  EXPECT_EQ(points.front().observations, 1);
  EXPECT_TRUE(std::isnan(points.front().standardDeviation));
  EXPECT_EQ(points.back().observations, 1000000);
  // 1..1000000 mod 7: 142857 full cycles of 0..6 (mean 3) and a last 1.
  EXPECT_NEAR(points.back().mean, (142857.0 * 21 + 1) / 1000000, 1e-12);
  for (std::size_t i = 1; i < points.size(); ++i) EXPECT_GT(points[i].observations, points[i - 1].observations);
}

TEST(ObservationTrackTest, CountsFewValuesExactlyAndBinsManyInASecondPass) {
  ObservationTrack few;
  for (const double v : {2.0, 0.0, 2.0, 4.0, 2.0}) few.Add(v);
  ASSERT_FALSE(few.NeedsBins());
  const auto bars = few.Histogram();
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[1].value, 2.0);
  EXPECT_EQ(bars[1].count, 3);
  EXPECT_EQ(few.BarWidth(), 2.0);

  ObservationTrack many;
  const int n = 4 * ObservationTrack::kBins;
  for (int i = 0; i < n; ++i) many.Add(i);
  ASSERT_TRUE(many.NeedsBins());
  for (int i = 0; i < n; ++i) many.AddToBins(i);
  const auto bins = many.Histogram();
  ASSERT_EQ(bins.size(), static_cast<std::size_t>(ObservationTrack::kBins));
  long total = 0;
  for (const auto& bin : bins) total += bin.count;
  EXPECT_EQ(total, n) << "the maximum falls in the last bin, not past it";
  EXPECT_NEAR(bins.front().value, many.BarWidth() / 2, 1e-12);
}

}  // namespace
