// ReportWriter prints pooled results in the three forms gpusim-report
// offers, through SummaryTable (the format gpusim-manager prints too): per
// file a heading with its format and records and its metadata (model,
// experiment, globals, generator, seeds, version; a file without a metadata
// file shows its header's experiment, seed and generator), then one row per
// variable with the number of observations, mean, standard deviation, the
// confidence interval of the mean at the chosen level, its half-width and
// relative half-width.
//   text: the files' metadata, "Pooled: N files, M observations per
//         variable" when there are several, then the table;
//   CSV:  SummaryTable's columns (the metadata is in the JSON form);
//   JSON: SummaryTable's shape; each source carries its file's format,
//         records, batches, truncated bytes and error beside its metadata.
#ifndef REPORT_WRITER_H
#define REPORT_WRITER_H

#include <ostream>
#include <string>

#include "report/PooledResults.h"
#include "results/SummaryTable.h"

class ReportWriter {
 public:
  // REQUIRES: 0 < confidence < 1.
  ReportWriter(const PooledResults& results, double confidence);

  // The figures and the files' metadata as a table.
  SummaryTable Table() const;

  void PrintText(std::ostream& out) const;
  void PrintCsv(std::ostream& out) const;
  void PrintJson(std::ostream& out) const;

  // The level as a percentage without trailing zeros: 0.95 -> "95",
  // 0.999 -> "99.9".
  static std::string PercentText(double confidence) { return SummaryTable::PercentText(confidence); }

 private:
  const PooledResults& results_;
  double confidence_;
};

#endif
