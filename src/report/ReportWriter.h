// ReportWriter prints pooled results in the three forms gpusim-report
// offers. Every form carries the runs' metadata (experiment, seed,
// generator, as the files record them) and, per variable, the number of
// observations, mean, standard deviation, the confidence interval of the mean
// at the chosen level, its half-width and its half-width relative to |mean|.
//   text: one header block per file, then a table;
//   CSV:  one row per variable; the metadata columns hold each file's value,
//         in file order, joined by ';';
//   JSON: {"confidence", "files": [...], "variables": [...]}.
// Figures that do not exist (a spread from one observation, a relative
// half-width of a zero mean) are "n/a" in text, empty in CSV, null in JSON.
#ifndef REPORT_WRITER_H
#define REPORT_WRITER_H

#include <ostream>
#include <string>

#include "report/PooledResults.h"

class ReportWriter {
 public:
  // REQUIRES: 0 < confidence < 1.
  ReportWriter(const PooledResults& results, double confidence);

  void PrintText(std::ostream& out) const;
  void PrintCsv(std::ostream& out) const;
  void PrintJson(std::ostream& out) const;

  // The level as a percentage without trailing zeros: 0.95 -> "95",
  // 0.999 -> "99.9".
  static std::string PercentText(double confidence);

 private:
  std::string JoinedField(std::string PooledResults::File::*field) const;

  const PooledResults& results_;
  double confidence_;
};

#endif
