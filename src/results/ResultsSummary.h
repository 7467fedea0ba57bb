// ResultsSummary condenses the observations of each reward variable into the
// figures a user reads off a run: the number of observations, the mean, the
// sample standard deviation and a 95% confidence interval of the mean
// (Student's t with n - 1 degrees of freedom). Observations are folded in one
// at a time (Welford's update), so files of any length take constant memory.
//
// Figures that need two observations or more (standard deviation, interval)
// are NaN below that and are printed as "n/a" (text), empty (CSV) or null
// (JSON).
#ifndef RESULTS_SUMMARY_H
#define RESULTS_SUMMARY_H

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "stats/Moments.h"

// The p-quantile of Student's t distribution with the given degrees of
// freedom. REQUIRES: 0.5 <= p < 1 and degreesOfFreedom >= 1.
double StudentTQuantile(double p, long degreesOfFreedom);

class ResultsSummary {
 public:
  struct Row {
    int pvIndex;
    std::string name;
    long observations;
    double mean;
    double standardDeviation;
    double ciLow;
    double ciHigh;
  };

  // names[i] is the name shown for variable i; variables beyond the list, or
  // with an empty name, are shown as "pv<i>".
  explicit ResultsSummary(std::vector<std::string> names = {});

  // Names the variables that have no name yet from names (as for the
  // constructor). Returns the numbers whose name in names differs from the
  // one they already have: files that disagree on what a number means.
  std::vector<int> AddNames(const std::vector<std::string>& names);

  void Add(int pvIndex, double value);
  // One row per variable that has observations, in increasing index.
  std::vector<Row> Rows() const;

  void PrintText(std::ostream& out) const;
  void PrintCsv(std::ostream& out) const;
  // Emits the rows as a JSON array (the caller frames the document).
  void PrintJsonRows(std::ostream& out) const;

 private:
  std::string NameOf(int pvIndex) const;

  std::vector<std::string> names_;
  std::map<int, Moments> moments_;
};

#endif
