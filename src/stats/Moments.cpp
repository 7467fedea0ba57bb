#include "stats/Moments.h"

#include <algorithm>
#include <cmath>
#include <limits>

double Moments::StandardDeviation() const {
  if (n < 2) return std::numeric_limits<double>::quiet_NaN();
  return std::sqrt(m2 / static_cast<double>(n - 1));
}

void Moments::AddFar(double value) {
  const double count = static_cast<double>(n);
  mean += value / count - mean / count;
  m2 = std::numeric_limits<double>::infinity();
}

void Moments::Merge(const Moments& other) {
  if (other.n == 0) return;
  if (n == 0) {
    *this = other;
    return;
  }
  const double total = static_cast<double>(n + other.n);
  const double delta = other.mean - mean;
  const double weight = static_cast<double>(other.n) / total;
  if (!std::isfinite(delta) && std::isfinite(mean) && std::isfinite(other.mean)) {
    // Means near the ends of the range: weighted separately, they stay in it.
    mean = mean * (static_cast<double>(n) / total) + other.mean * weight;
    m2 = std::numeric_limits<double>::infinity();
    min = std::min(min, other.min);
    max = std::max(max, other.max);
    n += other.n;
    return;
  }
  mean += delta * weight;
  m2 += other.m2 + delta * delta * static_cast<double>(n) * weight;
  min = std::min(min, other.min);
  max = std::max(max, other.max);
  n += other.n;
}
