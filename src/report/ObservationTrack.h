// ObservationTrack follows one reward variable's observations in the order
// they are read, keeping what the convergence plots need in bounded memory:
//   - the running mean and its spread at geometrically spaced observation
//     counts (every count up to 100, then about one per 1% growth), so a
//     million observations leave about a thousand points, evenly spread on
//     a logarithmic axis;
//   - the distribution of the observations: exact counts per value while
//     there are at most kMaxDistinctValues distinct values (the usual case
//     for counting rewards), otherwise equal-width bins over [min, max],
//     filled by a second pass over the observations (AddToBins).
//
// Not thread-safe. Copyable.
#ifndef OBSERVATION_TRACK_H
#define OBSERVATION_TRACK_H

#include <map>
#include <vector>

#include "stats/Moments.h"

class ObservationTrack {
 public:
  static constexpr int kMaxDistinctValues = 50;
  static constexpr int kBins = 40;

  struct Point {
    long observations;
    double mean;
    double standardDeviation;  // NaN below two observations
  };
  struct Bar {
    double value;  // the value, or the middle of the bin
    long count;
  };

  void Add(double value);
  // Running-mean points; the last is always the final state.
  std::vector<Point> Points() const;

  long Observations() const { return moments_.n; }
  double Min() const { return moments_.min; }
  double Max() const { return moments_.max; }
  // True when the values were too many to count one by one: the histogram
  // then needs a second pass through AddToBins.
  bool NeedsBins() const { return tooManyValues_; }
  void AddToBins(double value);
  // Bars in increasing value; the width of one bar is BarWidth().
  std::vector<Bar> Histogram() const;
  double BarWidth() const;

 private:
  Moments moments_;
  long nextCheckpoint_ = 1;
  std::vector<Point> checkpoints_;
  std::map<double, long> valueCounts_;
  bool tooManyValues_ = false;
  std::vector<long> bins_;
};

#endif
