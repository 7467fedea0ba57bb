#include "manager/Precision.h"

#include <cmath>
#include <limits>

#include "output/ResultsSummary.h"

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

double Moments::StandardDeviation() const {
  if (n < 2) return kNaN;
  return std::sqrt(m2 / static_cast<double>(n - 1));
}

Verdict Judge(const Moments& moments, const PrecisionTarget& target) {
  Verdict verdict{kNaN, kNaN, false, false};
  if (moments.n < 2) return verdict;
  if (moments.AllEqual()) {
    verdict.halfWidth = 0.0;
    verdict.relHalfWidth = 0.0;
    verdict.met = true;
    return verdict;
  }
  const double quantile = StudentTQuantile(0.5 + target.confidence / 2.0, moments.n - 1);
  verdict.halfWidth = quantile * moments.StandardDeviation() / std::sqrt(static_cast<double>(moments.n));
  const double scale = std::fabs(moments.mean);
  verdict.relHalfWidth = scale > 0.0 ? verdict.halfWidth / scale : std::numeric_limits<double>::infinity();
  verdict.met = (target.relWidth > 0.0 && verdict.halfWidth <= target.relWidth * scale) ||
                (target.absWidth > 0.0 && verdict.halfWidth <= target.absWidth);
  verdict.unreachable = target.relWidth > 0.0 && target.absWidth <= 0.0 && !verdict.met &&
                        moments.n >= target.minReplications && verdict.halfWidth >= scale;
  return verdict;
}
