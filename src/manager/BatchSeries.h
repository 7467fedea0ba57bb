// BatchSeries follows one simulator's batch means of one variable, in the
// order they arrive, for their lag-1 autocorrelation: how much a batch mean
// still tells about the next one. Batches long enough to be nearly
// independent give a value near 0; a high value means the batches are too
// short for an interval that treats them as independent.
//
// Memory is constant: sums of the values shifted by the first one (so that
// a large mean with a small spread loses no precision), of their squares and
// of the products of neighbours, and the first and last values.
//
// The study's value pools the simulators without mixing their series: each
// series is centred on its own mean, and
//   r1 = sum over simulators of sum_i (x_i - m)(x_{i+1} - m)
//        / sum over simulators of sum_i (x_i - m)^2,
// so that neighbours are only ever two batches of one run.
//
// Plain data; not thread-safe.
#ifndef MANAGER_BATCH_SERIES_H
#define MANAGER_BATCH_SERIES_H

#include <vector>

class BatchSeries {
 public:
  void Add(double value);
  long Count() const { return n_; }

  // Sums about the series' own mean: of the products of neighbours
  // (lagged), of the squares, and the number of neighbour pairs.
  struct Centred {
    double lagged = 0.0;
    double squares = 0.0;
    long pairs = 0;
  };
  Centred CentredSums() const;

 private:
  long n_ = 0;
  double shift_ = 0.0;
  double sum_ = 0.0;
  double sumSquares_ = 0.0;
  double sumLagged_ = 0.0;
  double first_ = 0.0;  // shifted, as are last_ and the sums
  double last_ = 0.0;
};

// The pooled lag-1 autocorrelation of several simulators' series of one
// variable, with the number of neighbour pairs it rests on; NaN when no
// series has two batches or the batch means do not vary.
struct Lag1Autocorrelation {
  double value = 0.0;
  long pairs = 0;
};
Lag1Autocorrelation PooledLag1(const std::vector<const BatchSeries*>& series);

#endif
