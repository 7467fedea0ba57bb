// ResultsSummary condenses the observations of each reward variable into the
// figures a user reads off a run (SummaryTable::Row: the number of
// observations, the mean, the sample standard deviation and the confidence
// interval of the mean, Student's t with n - 1 degrees of freedom).
// Observations are folded in one at a time (Welford's update), so files of
// any length take constant memory. Printing is SummaryTable's.
//
// Figures that need two observations or more (standard deviation, interval)
// are NaN below that.
#ifndef RESULTS_SUMMARY_H
#define RESULTS_SUMMARY_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "results/SummaryTable.h"
#include "stats/Moments.h"

// The p-quantile of Student's t distribution with the given degrees of
// freedom. REQUIRES: 0.5 <= p < 1 and degreesOfFreedom >= 1.
double StudentTQuantile(double p, long degreesOfFreedom);

class ResultsSummary {
 public:
  using Row = SummaryTable::Row;

  // names[i] is the name shown for variable i; variables beyond the list, or
  // with an empty name, are shown as "pv<i>".
  explicit ResultsSummary(std::vector<std::string> names = {});

  // Names the variables that have no name yet from names (as for the
  // constructor). Returns the numbers whose name in names differs from the
  // one they already have: files that disagree on what a number means.
  std::vector<int> AddNames(const std::vector<std::string>& names);

  void Add(int pvIndex, double value);
  // One row per variable that has observations, in increasing index, with
  // intervals at confidence. REQUIRES: 0 < confidence < 1.
  std::vector<Row> Rows(double confidence = 0.95) const;
  // The variables' observation counts, lowest and highest; 0 and 0 without any.
  std::pair<long, long> ObservationRange() const;

 private:
  std::string NameOf(int pvIndex) const;

  std::vector<std::string> names_;
  std::map<int, Moments> moments_;
};

#endif
