#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "random/UserDistributions.h"

namespace {

// Delegates to a seeded twister and counts the variates handed out.
class CountingGenerator : public RandomNumberGenerator {
 public:
  explicit CountingGenerator(int* count) : count_(count) { inner_.srnd(12345); }
  double rnd() override {
    ++*count_;
    return inner_.rnd();
  }

 private:
  MersenneTwister inner_;
  int* count_;
};

// Returns a fixed sequence of variates, cycling.
class ScriptedGenerator : public RandomNumberGenerator {
 public:
  explicit ScriptedGenerator(std::vector<double> values) : values_(std::move(values)) {}
  double rnd() override { return values_[next_++ % values_.size()]; }

 private:
  std::vector<double> values_;
  size_t next_ = 0;
};

int VariatesDrawn(const std::function<void(Distributions&)>& sample) {
  int count = 0;
  Distributions d;
  d.setGenerator(new CountingGenerator(&count));
  sample(d);
  return count;
}

TEST(DistributionsTest, VariateConsumptionCounts) {
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { EXPECT_EQ(d.Deterministic(2.5), 2.5); }), 0);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { EXPECT_EQ(d.Triangular(1, 1, 1), 1.0); }), 0);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { EXPECT_EQ(d.Triangular(4, 4, 9), 4.0); }), 0);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { d.Triangular(0, 2, 1); }), 1);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { d.Gamma(1, 3.0); }), 1);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { d.Exponential(2.0); }), 1);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { d.Uniform(0, 1); }), 1);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { d.Erlang(3.7, 1.0); }), 3);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) {
              EXPECT_TRUE(std::signbit(d.Erlang(0.5, 2.0)));
            }),
            0);
  double pairs[] = {1.0, 0.5, 2.0, 0.5};
  EXPECT_EQ(VariatesDrawn([&](Distributions& d) { d.HyperExponential(2, pairs); }), 2);
  double rates[] = {1.0, 2.0, 3.0};
  EXPECT_EQ(VariatesDrawn([&](Distributions& d) { d.HypoExponential(3, rates); }), 3);
  EXPECT_EQ(VariatesDrawn([](Distributions& d) { d.NegativeBinomial(4, 0.3); }), 4);
  for (double p : {0.0, 0.5, 1.0}) {
    EXPECT_EQ(VariatesDrawn([p](Distributions& d) { d.Binomial(3, p); }), 3) << "p=" << p;
  }
}

TEST(DistributionsTest, BetaDrawsTwoGammaSamplesInOrder) {
  // With shape 1 each gamma sample is one exponential: x = -ln u1, y = -ln u2.
  Distributions d;
  d.setGenerator(new ScriptedGenerator({0.25, 0.5}));
  const double x = -std::log(0.25), y = -std::log(0.5);
  EXPECT_DOUBLE_EQ(d.Beta(1, 1), x / (x + y));
}

TEST(DistributionsTest, ClosedFormsOnScriptedVariates) {
  Distributions d;
  d.setGenerator(new ScriptedGenerator({0.25}));
  EXPECT_DOUBLE_EQ(d.Exponential(2), -std::log(0.25) / 2);
  EXPECT_DOUBLE_EQ(d.Uniform(1, 5), 2.0);
  EXPECT_DOUBLE_EQ(d.Geometric(0.5), 2.0);
  EXPECT_DOUBLE_EQ(d.Weibull(2, 3), 3 * std::sqrt(-std::log(0.25)));
  EXPECT_DOUBLE_EQ(d.Pareto(2, 2), 4.0);
  EXPECT_DOUBLE_EQ(d.Erlang(2, 4), -2 * std::log(0.0625));
  EXPECT_DOUBLE_EQ(d.Triangular(0, 4, 2), 4 * std::sqrt(0.125));
  EXPECT_DOUBLE_EQ(d.Binomial(4, 0.25), 4.0);
  EXPECT_DOUBLE_EQ(d.Binomial(4, 0.2), 0.0);
  // Age 0: the conditional Weibull is the plain Weibull.
  EXPECT_DOUBLE_EQ(d.ConditionalWeibull(2, 3, 0), 3 * std::sqrt(-std::log(0.25)));
}

TEST(DistributionsTest, HyperExponentialPicksTheBranchByUnnormalisedWeight) {
  double pairs[] = {1.0, 1.0, 10.0, 3.0};  // branch 0 has weight 1/4
  Distributions d;
  d.setGenerator(new ScriptedGenerator({0.2, 0.5, 0.3, 0.5}));
  EXPECT_DOUBLE_EQ(d.HyperExponential(2, pairs), -std::log(0.5) / 1.0);
  EXPECT_DOUBLE_EQ(d.HyperExponential(2, pairs), -std::log(0.5) / 10.0);
}

TEST(DistributionsTest, NormalIsNeverNegative) {
  Distributions d;
  d.getGenerator()->srnd(31415);
  for (int i = 0; i < 100000; ++i) ASSERT_GE(d.Normal(0, 1), 0.0);
  for (int i = 0; i < 1000; ++i) ASSERT_GE(d.Normal(-2, 1), 0.0);
}

struct MomentCase {
  std::string name;
  std::function<double(Distributions&)> sample;
  double mean;
  double variance;
};

// The sample mean of n draws has standard error sqrt(variance / n); with a
// fixed seed, five standard errors leave room only for a real fault.
TEST(DistributionsTest, SampleMeansMatchTheAnalyticMeans) {
  const double pi = std::acos(-1.0);
  const MomentCase cases[] = {
      {"Exponential(2)", [](Distributions& d) { return d.Exponential(2); }, 0.5, 0.25},
      {"Erlang(3, 2)", [](Distributions& d) { return d.Erlang(3, 2); }, 2.0, 4.0 / 3},
      {"Gamma(0.5, 2)", [](Distributions& d) { return d.Gamma(0.5, 2); }, 1.0, 2.0},
      {"Gamma(1, 2)", [](Distributions& d) { return d.Gamma(1, 2); }, 2.0, 4.0},
      {"Gamma(3.5, 2)", [](Distributions& d) { return d.Gamma(3.5, 2); }, 7.0, 14.0},
      {"Beta(2, 3)", [](Distributions& d) { return d.Beta(2, 3); }, 0.4, 0.04},
      {"Beta(0.5, 0.5)", [](Distributions& d) { return d.Beta(0.5, 0.5); }, 0.5, 0.125},
      {"Uniform(1, 3)", [](Distributions& d) { return d.Uniform(1, 3); }, 2.0, 4.0 / 12},
      {"Normal(0, 1)", [](Distributions& d) { return d.Normal(0, 1); }, std::sqrt(2 / pi),
       1 - 2 / pi},
      {"Triangular(0, 3, 1)", [](Distributions& d) { return d.Triangular(0, 3, 1); }, 4.0 / 3,
       (0 + 9 + 1 - 0 - 0 - 3) / 18.0},
      {"Geometric(0.25)", [](Distributions& d) { return d.Geometric(0.25); }, 3.0, 12.0},
      {"Weibull(2, 1)", [](Distributions& d) { return d.Weibull(2, 1); }, std::sqrt(pi) / 2,
       1 - pi / 4},
      {"Lognormal(0, 0.25)", [](Distributions& d) { return d.Lognormal(0, 0.25); },
       std::exp(0.125), (std::exp(0.25) - 1) * std::exp(0.25)},
      {"Binomial(10, 0.3)", [](Distributions& d) { return d.Binomial(10, 0.3); }, 3.0, 2.1},
      {"Pareto(1, 5)", [](Distributions& d) { return d.Pareto(1, 5); }, 1.25, 5.0 / 48},
  };
  const int n = 200000;
  for (const MomentCase& c : cases) {
    Distributions d;
    d.getGenerator()->srnd(31415);
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += c.sample(d);
    const double bound = 5 * std::sqrt(c.variance / n);
    EXPECT_NEAR(sum / n, c.mean, bound) << c.name;
  }
}

TEST(DistributionsTest, SetGeneratorReplacesAndOwnsTheGenerator) {
  Distributions d;
  auto* t = new Tausworthe();
  d.setGenerator(t);
  EXPECT_EQ(d.getGenerator(), t);
  d.setGenerator(t);  // installing the current generator again keeps it alive
  t->srnd(1);
  EXPECT_GT(d.Uniform(0, 1), 0.0);
}

TEST(UserDistributionsTest, ConstructorSelectsAndSeedsTheGenerator) {
  UserDistributions taus(1, 5);
  EXPECT_NE(dynamic_cast<Tausworthe*>(taus.getGenerator()), nullptr);
  Tausworthe reference;
  reference.srnd(5);
  EXPECT_EQ(taus.getGenerator()->rnd(), reference.rnd());
  for (int type : {0, 2, 7}) {
    UserDistributions other(type, 5);
    EXPECT_NE(dynamic_cast<LaggedFibonacci*>(other.getGenerator()), nullptr) << type;
  }
}

TEST(UserDistributionsTest, ProcessWideObjectIsInPlace) {
  EXPECT_EQ(TheDistribution, &TheGenerator);
  EXPECT_NE(dynamic_cast<LaggedFibonacci*>(TheGenerator.getGenerator()), nullptr);
}

}  // namespace
