#include "manager/Precision.h"

#include "results/BigEndian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

Moments Of(const std::vector<double>& values, int repeat = 1) {
  Moments m;
  for (int r = 0; r < repeat; ++r) {
    for (double v : values) m.Add(v);
  }
  return m;
}

// Blocks folded in as the manager folds them agree with one pass over all
// the values.
TEST(PrecisionTest, MergedBlockMomentsAgreeWithOnePass) {
  const std::vector<double> values = {3, -1.5, 7, 7, 0.25, 1e3, -2, 4, 4, 9.5, 0};
  std::vector<unsigned char> encoded(values.size() * 8);
  for (std::size_t i = 0; i < values.size(); ++i) BigEndian::PutDouble(&encoded[i * 8], values[i]);
  Moments merged;
  for (std::size_t start : {0, 1, 5}) {
    const std::size_t end = start == 0 ? 1 : start == 1 ? 5 : values.size();
    merged.Merge(MomentsOfEncoded(&encoded[start * 8], static_cast<long>(end - start)));
  }
  const Moments sequential = Of(values);
  EXPECT_EQ(merged.n, sequential.n);
  EXPECT_NEAR(merged.mean, sequential.mean, 1e-12);
  EXPECT_NEAR(merged.m2, sequential.m2, 1e-9);
  EXPECT_EQ(merged.min, -2);
  EXPECT_EQ(merged.max, 1e3);
}

TEST(PrecisionTest, HalfWidthIsStudentsTOverTheRootOfN) {
  // 1, 2, 3: mean 2, s = 1, t(0.975, 2) = 4.302653.
  const Verdict v = Judge(Of({1, 2, 3}), {0.5, 0.0, 0.95, 2});
  EXPECT_NEAR(v.halfWidth, 4.302653 / std::sqrt(3.0), 1e-5);
  EXPECT_NEAR(v.relHalfWidth, v.halfWidth / 2.0, 1e-12);
  EXPECT_FALSE(v.met);
}

TEST(PrecisionTest, Verdicts) {
  struct Case {
    const char* name;
    Moments moments;
    PrecisionTarget target;
    bool met;
    bool unreachable;
  };
  const Case cases[] = {
      {"all equal meets any width", Of({467}, 50), {1e-9, 0.0, 0.95, 10}, true, false},
      {"all zero meets any width", Of({0}, 50), {1e-9, 0.0, 0.95, 10}, true, false},
      {"one observation is never enough", Of({3}), {0.9, 0.0, 0.95, 1}, false, false},
      {"wide relative interval", Of({1, 3}, 50), {0.01, 0.0, 0.95, 10}, false, false},
      {"narrow relative interval", Of({1, 3}, 50000), {0.01, 0.0, 0.95, 10}, true, false},
      {"mean 0 with spread cannot reach a relative width", Of({-1, 1}, 500), {0.01, 0.0, 0.95, 100}, false, true},
      {"... but not before the minimum", Of({-1, 1}, 500), {0.01, 0.0, 0.95, 5000}, false, false},
      {"an absolute width settles it", Of({-1, 1}, 500), {0.01, 0.1, 0.95, 100}, true, false},
      {"absolute width alone", Of({-1, 1}, 50), {0.0, 0.01, 0.95, 10}, false, false},
  };
  for (const Case& c : cases) {
    const Verdict v = Judge(c.moments, c.target);
    EXPECT_EQ(v.met, c.met) << c.name;
    EXPECT_EQ(v.unreachable, c.unreachable) << c.name;
  }
}

// Values near the ends of a double's range: block moments, one pass and
// merged blocks keep a finite mean that agrees to rounding (the spread is
// beyond a double: infinite).
TEST(PrecisionTest, MeansOfValuesNearTheLargestDoubleStayFinite) {
  const std::vector<std::vector<double>> cases = {{1e308, 0, 0}, {1.7e308, -1.7e308, 1.7e308}, {-1e308, -1e308, 5}};
  for (const std::vector<double>& values : cases) {
    std::vector<unsigned char> encoded(values.size() * 8);
    for (std::size_t i = 0; i < values.size(); ++i) BigEndian::PutDouble(&encoded[i * 8], values[i]);
    const Moments onePass = Of(values, 4);
    Moments merged;
    for (int r = 0; r < 4; ++r) merged.Merge(MomentsOfEncoded(encoded.data(), static_cast<long>(values.size())));
    EXPECT_TRUE(std::isfinite(onePass.mean)) << values[0];
    EXPECT_NEAR(merged.mean, onePass.mean, 1e-12 * std::fabs(onePass.mean)) << values[0];
  }
  Moments opposite = Of({1.7e308});
  opposite.Merge(Of({-1.7e308}, 3));
  EXPECT_NEAR(opposite.mean, -0.85e308, 1e-12 * 1e308);
}

// Blocks of awkward values folded as the manager folds them, against the
// same moments taken in long double (64-bit mantissa, 15-bit exponent: no
// overflow of the squares): a block per row, each folded in chunks and
// merged. The mean must agree to 1e-14 of the largest value (the values may
// cancel), the sum of squared
// deviations to 1e-10 of itself, or be infinite where it is beyond a double
// (near the largest double, any spread is).
TEST(PrecisionTest, BlockMomentsAgreeWithALongDoubleReference) {
  struct Case {
    const char* name;
    double (*value)(long j);
    long count;
    bool spreadBeyondADouble;
  };
  const Case cases[] = {
      {"a large offset and small noise", [](long j) { return 1e9 + 1e-3 * ((j * 7919) % 1000); }, 3001, false},
      {"mixed signs", [](long j) { return (j % 2 ? -1.0 : 1.0) * (1.0 + (j % 13)); }, 1000, false},
      {"tiny spread far from 0", [](long j) { return -5e15 + 0.5 * (j % 4); }, 1024, false},
      {"values near the largest double", [](long j) { return 1.7e308 - 1e300 * (j % 5); }, 2000, true},
      {"opposite signs near the largest double", [](long j) { return j % 2 ? 1.7e308 : -1.7e308; }, 600, true},
      {"a short block", [](long j) { return 3.0 * j; }, 3, false},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> encoded(static_cast<std::size_t>(c.count) * 8);
    long double sum = 0.0L;
    double largest = 0.0;
    for (long j = 0; j < c.count; ++j) {
      BigEndian::PutDouble(&encoded[j * 8], c.value(j));
      sum += c.value(j);
      largest = std::max(largest, std::fabs(c.value(j)));
    }
    const long double mean = sum / c.count;
    long double m2 = 0.0L;
    for (long j = 0; j < c.count; ++j) m2 += (c.value(j) - mean) * (c.value(j) - mean);

    const Moments m = MomentsOfEncoded(encoded.data(), c.count);
    EXPECT_EQ(m.n, c.count) << c.name;
    EXPECT_NEAR(m.mean, static_cast<double>(mean), 1e-14 * largest) << c.name;
    if (c.spreadBeyondADouble) {
      EXPECT_TRUE(std::isinf(m.m2)) << c.name;
    } else {
      EXPECT_NEAR(m.m2, static_cast<double>(m2), 1e-10 * static_cast<double>(m2)) << c.name;
    }
  }
}

// The first value that is not a finite number is found, wherever it is.
TEST(PrecisionTest, ANonFiniteValueInABlockIsFound) {
  const std::vector<double> values = {1, 2, NAN, INFINITY};
  std::vector<unsigned char> encoded(values.size() * 8);
  for (std::size_t i = 0; i < values.size(); ++i) BigEndian::PutDouble(&encoded[i * 8], values[i]);
  for (long count : {2L, 3L, 4L}) {
    long found = 0;
    MomentsOfEncoded(encoded.data(), count, &found);
    EXPECT_EQ(found, count == 2 ? -1 : 2) << count;
  }
  long found = 0;
  MomentsOfEncoded(encoded.data() + 24, 1, &found);
  EXPECT_EQ(found, 0);
}

}  // namespace
