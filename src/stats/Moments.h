// Moments: the running count, mean, sum of squared deviations, minimum and
// maximum of a stream of observations, in constant memory. Observations are
// folded in one at a time with Welford's update, which stays accurate where
// a running sum of squares would cancel; the summaries of the simulator, of
// gpusim-report and of gpusim-manager all take their figures from it, so the
// same observations give the same digits in each. Means stay finite for any
// finite observations, values near the largest double included.
//
// A plain value: copyable, not thread-safe.
#ifndef STATS_MOMENTS_H
#define STATS_MOMENTS_H

struct Moments {
  long n = 0;
  double mean = 0.0;
  double m2 = 0.0;  // sum of squared deviations from the mean
  double min = 0.0;
  double max = 0.0;

  // Welford's update. A value so far from the mean that their difference
  // leaves the range of a double (near +-1.8e308, opposite signs) takes the
  // mean's update in a form that stays in range; the spread is then beyond
  // a double and m2 is infinite.
  void Add(double value) {
    if (n == 0 || value < min) min = value;
    if (n == 0 || value > max) max = value;
    ++n;
    const double delta = value - mean;
    if (__builtin_expect(delta - delta != 0.0 && value - value == 0.0, 0)) {
      AddFar(value);
      return;
    }
    mean += delta / static_cast<double>(n);
    m2 += delta * (value - mean);
  }
  // Folds in the moments of other observations (the pairwise update of Chan,
  // Golub and LeVeque): the result does not depend on how the observations
  // were grouped, up to rounding.
  void Merge(const Moments& other);
  // REQUIRES: n already counts value.
  void AddFar(double value);
  bool AllEqual() const { return n > 0 && min == max; }
  // The sample standard deviation (n - 1 in the denominator); NaN below two
  // observations.
  double StandardDeviation() const;
};

#endif
