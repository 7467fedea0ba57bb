#include "results/ResultsSummary.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "text/TextFormat.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
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

// A CSV cell: NaN is the missing text; infinities stay "inf" and "-inf".
void PrintNumber(std::ostream& out, double value, const char* missing) {
  out << (std::isnan(value) ? std::string(missing) : NumberText(value));
}

// JSON has no infinities: like NaN they are written as null.
void PrintJsonNumber(std::ostream& out, double value) { out << FiniteNumberText(value, "null"); }

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

std::vector<ResultsSummary::Row> ResultsSummary::Rows() const {
  std::vector<Row> rows;
  for (const auto& [pvIndex, m] : moments_) {
    Row row{pvIndex, NameOf(pvIndex), m.n, m.mean, kNaN, kNaN, kNaN};
    if (m.n >= 2) {
      row.standardDeviation = m.StandardDeviation();
      const double halfWidth = StudentTQuantile(0.975, m.n - 1) * row.standardDeviation /
                               std::sqrt(static_cast<double>(m.n));
      row.ciLow = m.mean - halfWidth;
      row.ciHigh = m.mean + halfWidth;
    }
    rows.push_back(row);
  }
  return rows;
}

void ResultsSummary::PrintText(std::ostream& out) const {
  char line[256];
  std::snprintf(line, sizeof line, "%-4s %-14s %12s %16s %16s   %s\n", "PV", "Name", "Observations", "Mean",
                "Std dev", "95% confidence interval of the mean");
  out << line;
  for (const Row& row : Rows()) {
    std::snprintf(line, sizeof line, "%-4d %-14s %12ld %16.8g ", row.pvIndex, row.name.c_str(),
                  row.observations, row.mean);
    out << line;
    if (std::isnan(row.standardDeviation)) {
      std::snprintf(line, sizeof line, "%16s   %s\n", "n/a", "n/a");
    } else {
      std::snprintf(line, sizeof line, "%16.8g   [%.8g, %.8g]\n", row.standardDeviation, row.ciLow, row.ciHigh);
    }
    out << line;
  }
}

void ResultsSummary::PrintCsv(std::ostream& out) const {
  out << "pv,name,observations,mean,stddev,ci95_low,ci95_high\n";
  for (const Row& row : Rows()) {
    out << row.pvIndex << ',' << row.name << ',' << row.observations << ',';
    PrintNumber(out, row.mean, "");
    out << ',';
    PrintNumber(out, row.standardDeviation, "");
    out << ',';
    PrintNumber(out, row.ciLow, "");
    out << ',';
    PrintNumber(out, row.ciHigh, "");
    out << '\n';
  }
}

void ResultsSummary::PrintJsonRows(std::ostream& out) const {
  out << '[';
  bool first = true;
  for (const Row& row : Rows()) {
    out << (first ? "" : ",") << "\n    {\"pv\": " << row.pvIndex << ", \"name\": " << JsonString(row.name)
        << ", \"observations\": " << row.observations << ", \"mean\": ";
    PrintJsonNumber(out, row.mean);
    out << ", \"stddev\": ";
    PrintJsonNumber(out, row.standardDeviation);
    out << ", \"ci95_low\": ";
    PrintJsonNumber(out, row.ciLow);
    out << ", \"ci95_high\": ";
    PrintJsonNumber(out, row.ciHigh);
    out << '}';
    first = false;
  }
  out << (first ? "]" : "\n  ]");
}
