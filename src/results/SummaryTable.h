// SummaryTable is the one summary format of the tools: gpusim-manager's study
// summary and gpusim-report's summary of results files print through it, so
// both show the same columns under the same names, the same CSV header and
// the same JSON shape. A table holds, per reward variable, the number of
// observations, the mean, the standard deviation, the confidence interval of
// the mean at the table's level (Student's t with n - 1 degrees of freedom),
// its half-width and its half-width relative to |mean|; and the metadata of
// the runs it summarises (ResultsMetadata: model, digest, experiment,
// globals, generator, seeds, version), one source per file or study.
//
//   text: per source its heading line and metadata lines, then the table;
//         the Target column appears only when some row was judged against a
//         precision target.
//   CSV:  pv,name,observations,mean,stddev,ci_low,ci_high,half_width,
//         rel_half_width,confidence,target   (target: met, not met, or empty
//         when no target was set; the metadata is in the JSON form only)
//   JSON: {"confidence": C, <the caller's members>, "sources": [{"file": ...,
//         <the source's members>, "model": ..., ...}], "variables": [...]}
// Figures that do not exist (a spread from one observation, the relative
// half-width of an interval around 0) are "n/a" in text, empty in CSV, null
// in JSON; JSON has no infinities either.
//
// A parameter sweep is a list of points (numbered from 1, as the manager
// numbers them and their files), each a table with the values of the
// swept globals (PrintSweep*): the CSV leads with "point,<names...>," before
// the usual columns, the JSON is {"confidence", "sweep": [names], "points":
// [{"point": i, "globals": {name: value}, "sources": [...], "variables":
// [...]}]}, the text one table with the point columns first.
//
// Plain values: copyable, not thread-safe; printing never throws.
#ifndef RESULTS_SUMMARY_TABLE_H
#define RESULTS_SUMMARY_TABLE_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "results/ResultsMetadata.h"
#include "stats/Moments.h"

class SummaryTable {
 public:
  struct Row {
    int pv = 0;
    std::string name;
    long observations = 0;
    double mean = 0.0;
    double standardDeviation = 0.0;  // NaN below two observations
    double halfWidth = 0.0;          // NaN below two observations
    double relativeHalfWidth = 0.0;  // halfWidth / |mean|; 0 without spread; NaN around 0
    double ciLow = 0.0;
    double ciHigh = 0.0;
    std::string target;  // "met", "not met", or empty without a target
  };

  // What one file or study tells about its runs.
  struct Source {
    std::string file;     // the results file; empty for a study without one
    std::string heading;  // the text form's first line for it; empty for none
    std::string json;     // extra JSON members for it ("\"a\": 1, ..."), or empty
    ResultsMetadata metadata;
  };

  // One point of a sweep: the values of the swept globals, in the order of
  // the sweep's names, and its table.
  struct Point {
    std::vector<std::string> values;
    const SummaryTable* table = nullptr;  // not owned; outlives the printing
  };

  // REQUIRES: 0 < confidence < 1.
  explicit SummaryTable(double confidence) : confidence_(confidence) {}

  // The figures of moments at confidence.
  static Row MakeRow(int pv, const std::string& name, const Moments& moments, double confidence);
  // The level as a percentage without trailing zeros: 0.95 -> "95".
  static std::string PercentText(double confidence);

  void AddRow(Row row) { rows_.push_back(std::move(row)); }
  void AddSource(Source source) { sources_.push_back(std::move(source)); }
  double Confidence() const { return confidence_; }
  const std::vector<Row>& Rows() const { return rows_; }
  const std::vector<Source>& Sources() const { return sources_; }

  void PrintText(std::ostream& out) const;
  // The metadata lines of the sources alone (the text form's first part).
  void PrintSources(std::ostream& out) const;
  // The table alone (the text form's second part); "No observations." when empty.
  void PrintRows(std::ostream& out) const;
  void PrintCsv(std::ostream& out) const;
  // members: JSON members placed after "confidence" ("\"a\": 1,\n  " style,
  // each ending in a comma), or empty.
  void PrintJson(std::ostream& out, const std::string& members = "") const;

  static void PrintSweepText(std::ostream& out, const std::vector<std::string>& names, const std::vector<Point>& points);
  static void PrintSweepCsv(std::ostream& out, const std::vector<std::string>& names, const std::vector<Point>& points);
  static void PrintSweepJson(std::ostream& out, const std::vector<std::string>& names,
                             const std::vector<Point>& points);

 private:
  void PrintJsonBody(std::ostream& out, const std::string& indent) const;

  double confidence_;
  std::vector<Source> sources_;
  std::vector<Row> rows_;
};

#endif
