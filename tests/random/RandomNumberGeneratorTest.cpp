#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"

namespace {

// A reference for the lagged Fibonacci stream, written from the published
// seeding routine (the original form: 32-bit signed seed, no warm-up) and
// from the plain recurrence X[j] = frac(X[j-100] + X[j-37]), without the
// array-at-a-time machinery of the generator.
std::vector<double> ReferenceLaggedFibonacciStream(std::int32_t seed, int length) {
  const int kk = 100, ll = 37;
  const double ulp = std::ldexp(1.0, -52);
  auto frac = [](double x) { return x - static_cast<int>(x); };
  std::vector<double> u(2 * kk - 1, 0.0), ul(2 * kk - 1, 0.0);
  double ss = 2 * ulp * (seed + 2.0);
  for (int j = 0; j < kk; ++j) {
    u[j] = ss;
    ss = ss + ss;
    if (ss >= 1) ss = ss - (1 - 2 * ulp);
  }
  u[1] += ulp;
  ul[1] = ulp;
  std::int32_t s = seed;
  for (int t = 69; t != 0;) {
    for (int j = 99; j >= 1; --j) {
      ul[2 * j] = ul[j];
      u[2 * j] = u[j];
    }
    for (int j = 198; j >= 64; j -= 2) {
      ul[199 - j] = 0;
      u[199 - j] = u[j] - ul[j];
    }
    for (int j = 198; j >= 100; --j) {
      if (ul[j] == 0) continue;
      ul[j - 63] = ulp - ul[j - 63];
      u[j - 63] = frac(u[j - 63] + u[j]);
      ul[j - 100] = ulp - ul[j - 100];
      u[j - 100] = frac(u[j - 100] + u[j]);
    }
    if (s % 2 != 0) {
      for (int j = 100; j >= 1; --j) {
        ul[j] = ul[j - 1];
        u[j] = u[j - 1];
      }
      ul[0] = ul[100];
      u[0] = u[100];
      if (ul[100] != 0) {
        ul[37] = ulp - ul[37];
        u[37] = frac(u[37] + u[100]);
      }
    }
    if (s != 0) s >>= 1;
    else --t;
  }
  std::vector<double> x(length);
  for (int j = 0; j < ll; ++j) x[j + 63] = u[j];
  for (int j = ll; j < kk; ++j) x[j - 37] = u[j];
  for (int j = kk; j < length; ++j) x[j] = frac(x[j - 100] + x[j - 37]);
  return x;
}

// Seeds a generator and returns what it yields next; the read position is
// process-wide, so the outputs start wherever it stands (X[100 + k]).
std::vector<double> SeedAndDraw(LaggedFibonacci& g, unsigned long seed, int count, int* start) {
  g.srnd(seed);
  *start = 100 + LaggedFibonacci::SharedPosition();
  std::vector<double> out(count);
  for (double& v : out) v = g.rnd();
  return out;
}

TEST(LaggedFibonacciTest, MatchesTheReferenceStreamAcrossRefills) {
  for (std::int32_t seed : {31415, 0, 1, 271828, 2147483645}) {
    LaggedFibonacci g;
    int start = 0;
    std::vector<double> got = SeedAndDraw(g, static_cast<unsigned long>(seed), 450, &start);
    std::vector<double> want = ReferenceLaggedFibonacciStream(seed, start + 450);
    for (int i = 0; i < 450; ++i) {
      ASSERT_EQ(got[i], want[start + i]) << "seed " << seed << " output " << i;
    }
  }
}

TEST(LaggedFibonacciTest, OutputsAreMultiplesOfTwoToTheMinus52InUnitInterval) {
  LaggedFibonacci g;
  g.srnd(31415);
  for (int i = 0; i < 1000; ++i) {
    const double v = g.rnd();
    ASSERT_GE(v, 0.0);
    ASSERT_LT(v, 1.0);
    const double scaled = std::ldexp(v, 52);
    ASSERT_EQ(scaled, std::floor(scaled));
  }
}

TEST(LaggedFibonacciTest, NegativeThirtyTwoBitSeedIsSeededWithSignBitCleared) {
  LaggedFibonacci g;
  int start_a = 0, start_b = 0;
  std::vector<double> a = SeedAndDraw(g, 3000000000UL, 50, &start_a);
  std::vector<double> b = SeedAndDraw(g, 3000000000UL & 0x7fffffffUL, 50, &start_b);
  std::vector<double> want = ReferenceLaggedFibonacciStream(852516352, 400);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(a[i], want[start_a + i]);
    EXPECT_EQ(b[i], want[start_b + i]);
  }
}

TEST(LaggedFibonacciTest, InstancesShareStateAndReadPosition) {
  LaggedFibonacci a, b;
  a.srnd(31415);
  b.srnd(31415);  // both buffers now hold X[100..199]
  const int k = LaggedFibonacci::SharedPosition();
  std::vector<double> want = ReferenceLaggedFibonacciStream(31415, 400);
  for (int i = k; i < 100; ++i) {
    LaggedFibonacci& g = (i % 2 == 0) ? a : b;
    ASSERT_EQ(g.rnd(), want[100 + i]) << "interleaved draw at position " << i;
  }
  ASSERT_EQ(LaggedFibonacci::SharedPosition(), 100);
  // Whichever object draws next refills from the shared recurrence state.
  EXPECT_EQ(b.rnd(), want[200]);
  EXPECT_EQ(LaggedFibonacci::SharedPosition(), 1);
  // Seeding does not reset the shared position.
  a.srnd(7);
  EXPECT_EQ(LaggedFibonacci::SharedPosition(), 1);
}

TEST(TauswortheTest, FollowsTheShiftRegisterRecurrence) {
  Tausworthe g;
  g.srnd(1);
  // By hand: 1 -> ((1<<13)^1) = 8193, 8193>>18 = 0 -> 8193.
  EXPECT_EQ(g.rnd(), 8193 * 4.656612875245797e-10);
  // 8193<<13 = 0x4002000, ^0x2001 = 0x4000001; >>18 = 0x100 -> 0x4000101.
  EXPECT_EQ(g.rnd(), 0x4000101 * 4.656612875245797e-10);
  // The seed keeps only its low 32 bits.
  Tausworthe h;
  h.srnd(0x100000001UL);
  EXPECT_EQ(h.rnd(), 8193 * 4.656612875245797e-10);
}

TEST(TauswortheTest, ZeroStateIsAFixedPoint) {
  for (unsigned long seed : {0UL, 0x80000000UL}) {
    Tausworthe g;
    g.srnd(seed);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(g.rnd(), 0.0) << "seed " << seed;
  }
}

TEST(MersenneTwisterTest, KnownOutputsForSeed5489) {
  MersenneTwister g;
  g.srnd(5489);
  std::mt19937 reference(5489);
  std::uint32_t value = 0;
  for (int i = 1; i <= 10000; ++i) {
    value = g.rnd_int32();
    if (i == 1) {
      EXPECT_EQ(value, 3499211612u);
    }
    ASSERT_EQ(value, reference()) << "output " << i;
  }
  EXPECT_EQ(value, 4123659995u);
}

TEST(MersenneTwisterTest, UnseededBehavesAsSeededWith18671867) {
  MersenneTwister unseeded, seeded;
  seeded.srnd(18671867);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(unseeded.rnd(), seeded.rnd());
}

TEST(MersenneTwisterTest, UniformIsTheCentreOfTheOutputsCell) {
  MersenneTwister g;
  g.srnd(1);
  std::mt19937 reference(1);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(g.rnd(), (reference() + 0.5) * std::ldexp(1.0, -32));
  }
}

TEST(GeneratorTest, SameSeedGivesSameSequence) {
  Tausworthe t1, t2;
  MersenneTwister m1, m2;
  t1.srnd(99);
  t2.srnd(99);
  m1.srnd(99);
  m2.srnd(99);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(t1.rnd(), t2.rnd());
    ASSERT_EQ(m1.rnd(), m2.rnd());
  }
}

}  // namespace
