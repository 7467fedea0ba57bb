#include "results/ResultsSummary.h"

#include <cmath>
#include <algorithm>
#include <limits>

namespace {

// Beyond this many degrees of freedom the t quantile equals the normal one to
// within 1e-5, and the normal tail is cheaper and better conditioned.
constexpr long kNormalLimit = 100000;

// Continued fraction of the regularised incomplete beta function (modified
// Lentz); converges for x < (a + 1) / (a + b + 2).
double BetaContinuedFraction(double a, double b, double x) {
  const double tiny = 1e-300;
  double c = 1.0;
  double d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1.0 / d;
  double result = d;
  for (int m = 1; m <= 100000; ++m) {
    const double m2 = 2.0 * m;
    double step = m * (b - m) * x / ((a + m2 - 1.0) * (a + m2));
    d = 1.0 + step * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + step / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    result *= d * c;
    step = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1.0));
    d = 1.0 + step * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + step / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double delta = d * c;
    result *= delta;
    if (std::fabs(delta - 1.0) < 1e-15) break;
  }
  return result;
}

double RegularisedIncompleteBeta(double a, double b, double x) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double logFront = std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) +
                          b * std::log1p(-x);
  const double front = std::exp(logFront);
  if (x < (a + 1.0) / (a + b + 2.0)) return front * BetaContinuedFraction(a, b, x) / a;
  return 1.0 - front * BetaContinuedFraction(b, a, 1.0 - x) / b;
}

// P(T > t) for t >= 0.
double StudentUpperTail(double t, long degreesOfFreedom) {
  if (degreesOfFreedom > kNormalLimit) return 0.5 * std::erfc(t / std::sqrt(2.0));
  const double df = static_cast<double>(degreesOfFreedom);
  return 0.5 * RegularisedIncompleteBeta(df / 2.0, 0.5, df / (df + t * t));
}

}  // namespace

double StudentTQuantile(double p, long degreesOfFreedom) {
  const double tail = 1.0 - p;
  double low = 0.0;
  double high = 1.0;
  while (StudentUpperTail(high, degreesOfFreedom) > tail && high < 1e300) high *= 2.0;
  for (int i = 0; i < 200 && high - low > 1e-12 * high; ++i) {
    const double middle = 0.5 * (low + high);
    if (StudentUpperTail(middle, degreesOfFreedom) > tail) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return 0.5 * (low + high);
}

ResultsSummary::ResultsSummary(std::vector<std::string> names) : names_(std::move(names)) {}

std::vector<int> ResultsSummary::AddNames(const std::vector<std::string>& names) {
  std::vector<int> conflicts;
  if (names_.size() < names.size()) names_.resize(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    if (names_[i].empty()) {
      names_[i] = names[i];
    } else if (names_[i] != names[i]) {
      conflicts.push_back(static_cast<int>(i));
    }
  }
  return conflicts;
}

void ResultsSummary::Add(int pvIndex, double value) { moments_[pvIndex].Add(value); }

std::string ResultsSummary::NameOf(int pvIndex) const {
  if (pvIndex >= 0 && static_cast<std::size_t>(pvIndex) < names_.size() && !names_[pvIndex].empty()) {
    return names_[pvIndex];
  }
  return "pv" + std::to_string(pvIndex);
}

std::vector<ResultsSummary::Row> ResultsSummary::Rows(double confidence) const {
  std::vector<Row> rows;
  for (const auto& [pvIndex, m] : moments_) rows.push_back(SummaryTable::MakeRow(pvIndex, NameOf(pvIndex), m, confidence));
  return rows;
}

std::pair<long, long> ResultsSummary::ObservationRange() const {
  if (moments_.empty()) return {0, 0};
  long low = moments_.begin()->second.n;
  long high = low;
  for (const auto& entry : moments_) {
    low = std::min(low, entry.second.n);
    high = std::max(high, entry.second.n);
  }
  return {low, high};
}
