#include "manager/Precision.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "results/BigEndian.h"
#include "results/ResultsSummary.h"

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

Moments MomentsOfEncoded(const unsigned char* values, long count, long* nonFinite) {
  Moments m;
  if (nonFinite != nullptr) *nonFinite = -1;
  if (count <= 0) return m;
  double sum = 0.0;
  double check = 0.0;  // stays 0 unless a value is NaN or infinite
  m.min = m.max = BigEndian::GetDouble(values);
  for (long j = 0; j < count; ++j) {
    const double value = BigEndian::GetDouble(values + 8 * j);
    sum += value;
    check += value * 0.0;
    m.min = std::min(m.min, value);
    m.max = std::max(m.max, value);
  }
  if (std::isnan(check)) {
    for (long j = 0; nonFinite != nullptr && j < count; ++j) {
      if (!std::isfinite(BigEndian::GetDouble(values + 8 * j))) {
        *nonFinite = j;
        break;
      }
    }
    return m;
  }
  if (!std::isfinite(sum)) {
    Moments wide;
    for (long j = 0; j < count; ++j) wide.Add(BigEndian::GetDouble(values + 8 * j));
    return wide;
  }
  m.n = count;
  m.mean = sum / static_cast<double>(count);
  for (long j = 0; j < count; ++j) {
    const double deviation = BigEndian::GetDouble(values + 8 * j) - m.mean;
    m.m2 += deviation * deviation;
  }
  return m;
}

double QuantileCache::Get(double p, long degreesOfFreedom) {
  if (rounding_ == Rounding::kConservative) {
    long rounded = 1;
    while (rounded <= degreesOfFreedom / 2) rounded *= 2;
    degreesOfFreedom = rounded;
  }
  if (p != p_ || degreesOfFreedom != degreesOfFreedom_) {
    p_ = p;
    degreesOfFreedom_ = degreesOfFreedom;
    value_ = StudentTQuantile(p, degreesOfFreedom);
  }
  return value_;
}

Verdict Judge(const Moments& moments, const PrecisionTarget& target, QuantileCache* cache) {
  Verdict verdict{kNaN, kNaN, false, false};
  if (moments.n < 2) return verdict;
  if (moments.AllEqual()) {
    verdict.halfWidth = 0.0;
    verdict.relHalfWidth = 0.0;
    verdict.met = true;
    return verdict;
  }
  const double p = 0.5 + target.confidence / 2.0;
  const double quantile = cache != nullptr ? cache->Get(p, moments.n - 1) : StudentTQuantile(p, moments.n - 1);
  verdict.halfWidth = quantile * moments.StandardDeviation() / std::sqrt(static_cast<double>(moments.n));
  const double scale = std::fabs(moments.mean);
  verdict.relHalfWidth = scale > 0.0 ? verdict.halfWidth / scale : std::numeric_limits<double>::infinity();
  verdict.met = (target.relWidth > 0.0 && verdict.halfWidth <= target.relWidth * scale) ||
                (target.absWidth > 0.0 && verdict.halfWidth <= target.absWidth);
  verdict.unreachable = target.relWidth > 0.0 && target.absWidth <= 0.0 && !verdict.met &&
                        moments.n >= target.minReplications && verdict.halfWidth >= scale;
  return verdict;
}
