#include "manager/BatchSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

void BatchSeries::Add(double value) {
  if (n_ == 0) shift_ = value;
  const double y = value - shift_;
  if (n_ == 0) {
    first_ = y;
  } else {
    sumLagged_ += last_ * y;
  }
  sum_ += y;
  sumSquares_ += y * y;
  last_ = y;
  ++n_;
}

// sum_i (y_i - m)(y_{i+1} - m) over the n - 1 pairs expands to
// sumLagged - m (sum - last) - m (sum - first) + (n - 1) m^2.
BatchSeries::Centred BatchSeries::CentredSums() const {
  Centred c;
  if (n_ < 2) return c;
  const double mean = sum_ / n_;
  c.pairs = n_ - 1;
  c.lagged = sumLagged_ - mean * (sum_ - last_) - mean * (sum_ - first_) + (n_ - 1) * mean * mean;
  c.squares = std::max(0.0, sumSquares_ - n_ * mean * mean);
  return c;
}

Lag1Autocorrelation PooledLag1(const std::vector<const BatchSeries*>& series) {
  double lagged = 0.0;
  double squares = 0.0;
  Lag1Autocorrelation r;
  for (const BatchSeries* s : series) {
    const BatchSeries::Centred c = s->CentredSums();
    lagged += c.lagged;
    squares += c.squares;
    r.pairs += c.pairs;
  }
  r.value = r.pairs > 0 && squares > 0.0 ? lagged / squares : std::numeric_limits<double>::quiet_NaN();
  return r;
}
