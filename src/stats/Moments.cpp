#include "stats/Moments.h"

#include <algorithm>
#include <cmath>
#include <limits>

double Moments::StandardDeviation() const {
  if (n < 2) return std::numeric_limits<double>::quiet_NaN();
  return std::sqrt(m2 / static_cast<double>(n - 1));
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
  mean += delta * weight;
  m2 += other.m2 + delta * delta * static_cast<double>(n) * weight;
  min = std::min(min, other.min);
  max = std::max(max, other.max);
  n += other.n;
}
