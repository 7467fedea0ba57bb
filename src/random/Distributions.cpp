#include "random/Distributions.h"

#include <cmath>

#include "random/LaggedFibonacci.h"

namespace {
constexpr double kLn4 = 1.3862943611198906;
constexpr double kOnePlusLn4_5 = 2.504077396776274;
constexpr double kTheta = 4.5;
constexpr double kE = 2.718281828459045;
}  // namespace

Distributions::Distributions() : generator(new LaggedFibonacci()) {}

Distributions::~Distributions() { delete generator; }

void Distributions::setGenerator(RandomNumberGenerator* replacement) {
  if (replacement == generator) return;
  delete generator;
  generator = replacement;
}

double Distributions::Exponential(double rate) { return -std::log(Uniform01()) / rate; }

double Distributions::Deterministic(double value) { return value; }

double Distributions::Geometric(double p) {
  return std::floor(std::log(Uniform01()) / std::log(1.0 - p));
}

double Distributions::Weibull(double shape, double scale) {
  return scale * std::pow(-std::log(Uniform01()), 1.0 / shape);
}

double Distributions::ConditionalWeibull(double shape, double scale, double age) {
  const double survived = std::exp(-std::pow(age / scale, shape));
  return scale * std::pow(-std::log(Uniform01() * survived), 1.0 / shape) - age;
}

double Distributions::PolarDeviate() {
  double c1, s;
  // s == 0 is rejected as well as s > 1: it would give 0 * infinity = NaN.
  do {
    c1 = 2.0 * Uniform01() - 1.0;
    const double c2 = 2.0 * Uniform01() - 1.0;
    s = c1 * c1 + c2 * c2;
  } while (s > 1.0 || s == 0.0);
  return c1 * std::sqrt(-2.0 * std::log(s) / s);
}

double Distributions::Normal(double mean, double variance) {
  const double sigma = std::sqrt(variance);
  double x;
  do {
    x = mean + sigma * PolarDeviate();
  } while (x < 0.0);
  return x;
}

double Distributions::Lognormal(double mu, double variance) {
  return std::exp(mu + std::sqrt(variance) * PolarDeviate());
}

double Distributions::Erlang(double stages, double mean) {
  double product = 1.0;
  for (int i = 1; i <= stages; i++) product *= Uniform01();
  return -(mean / stages) * std::log(product);
}

double Distributions::Triangular(double lower, double upper, double mode) {
  if (lower == upper) return lower;
  const double u = Uniform01();
  const double f = (mode - lower) / (upper - lower);
  const double e = u <= f ? std::sqrt(f * u) : 1.0 - std::sqrt((1.0 - f) * (1.0 - u));
  return lower + e * (upper - lower);
}

double Distributions::GammaUnitScale(double alpha) {
  if (alpha > 1.0) {
    const double a = 1.0 / std::sqrt(2.0 * alpha - 1.0);
    const double b = alpha - kLn4;
    const double q = alpha + 1.0 / a;
    for (;;) {
      const double u1 = Uniform01();
      const double u2 = Uniform01();
      const double v = a * std::log(u1 / (1.0 - u1));
      const double y = alpha * std::exp(v);
      const double z = u1 * u1 * u2;
      const double w = b + q * v - y;
      if (kOnePlusLn4_5 + w - kTheta * z >= 0.0 || w >= std::log(z)) return y;
    }
  }
  if (alpha == 1.0) return -std::log(Uniform01());
  if (alpha < 1.0) {
    const double b = (kE + alpha) / kE;
    for (;;) {
      const double p = b * Uniform01();
      if (p <= 1.0) {
        const double y = std::pow(p, 1.0 / alpha);
        if (Uniform01() <= std::exp(-y)) return y;
      } else {
        const double y = -std::log((b - p) / alpha);
        if (Uniform01() <= std::pow(y, alpha - 1.0)) return y;
      }
    }
  }
  return alpha;  // NaN shape: no meaningful sample, and no endless loop
}

double Distributions::Gamma(double shape, double scale) {
  return scale * GammaUnitScale(shape);
}

double Distributions::Beta(double a, double b) {
  const double x = GammaUnitScale(a);
  const double y = GammaUnitScale(b);
  return x / (x + y);
}

double Distributions::Uniform(double lower, double upper) {
  return lower + (upper - lower) * Uniform01();
}

double Distributions::Binomial(double trials, double p) {
  int successes = 0;
  for (int i = 0; i < trials; i++) {
    if (Uniform01() <= p) successes++;
  }
  return successes;
}

double Distributions::NegativeBinomial(double count, double p) {
  const double lnq = std::log(1.0 - p);
  double total = 0.0;
  for (int i = 0; i < count; i++) total += std::floor(std::log(Uniform01()) / lnq);
  return total;
}

double Distributions::HyperExponential(int n, double* pairs) {
  if (n <= 0) return 0.0;
  const double u1 = Uniform01();
  double total = 0.0;
  for (int k = 0; k < n; k++) total += pairs[2 * k + 1];
  // Falls back on the last branch should rounding leave u1 above every bound.
  int chosen = n - 1;
  double accumulated = 0.0;
  for (int k = 0; k < n; k++) {
    accumulated += pairs[2 * k + 1];
    if (u1 < accumulated / total) {
      chosen = k;
      break;
    }
  }
  return -std::log(Uniform01()) / pairs[2 * chosen];
}

double Distributions::HypoExponential(int n, double* rates) {
  double total = 0.0;
  for (int k = 0; k < n; k++) total += -std::log(Uniform01()) / rates[k];
  return total;
}

double Distributions::Pareto(double scale, double shape) {
  return std::exp(std::log(scale) - std::log(Uniform01()) / shape);
}
