// SweepReport summarises the results files of a parameter sweep: files whose
// metadata carry the same "sweep=<name>[,<name>...]" key, one file per point,
// each point's value of a swept name read from its "global=<name>,<type>,
// <value>" line ("experiment" is the experiment's number). The points are not
// pooled: each gets its own table, and the sweep one table with the point
// columns first (SummaryTable::PrintSweep*). The picture draws every variable
// against the first swept value, its interval as error bars, with the
// reference lines of PlotChoices.
//
// Points are kept in increasing value of the first swept name when all its
// values are numbers, otherwise in the order the files were given.
//
// Not thread-safe. Not copyable (it owns the points' results).
#ifndef REPORT_SWEEP_REPORT_H
#define REPORT_SWEEP_REPORT_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "report/PlotWriter.h"
#include "report/PooledResults.h"
#include "results/SummaryTable.h"

class SweepReport {
 public:
  // The swept names when every one of paths (two or more) has metadata with
  // one and the same non-empty sweep key; empty otherwise.
  static std::vector<std::string> SweptNames(const std::vector<std::string>& paths);

  // REQUIRES: 0 < confidence < 1; names not empty.
  SweepReport(std::vector<std::string> names, double confidence);
  SweepReport(const SweepReport&) = delete;
  SweepReport& operator=(const SweepReport&) = delete;

  // A new point, to be filled by the caller (PooledResults::AddFile); its
  // values are read from the file's metadata when printed.
  PooledResults& AddPoint();
  const std::vector<std::unique_ptr<PooledResults>>& Points() const { return points_; }

  void PrintText(std::ostream& out) const;
  void PrintCsv(std::ostream& out) const;
  void PrintJson(std::ostream& out) const;
  // The gnuplot script of the sweep's picture. REQUIRES: a terminal for picturePath.
  std::string Script(const std::string& picturePath, const PlotChoices& choices) const;

 private:
  // The swept values of a point, in the order of the names ("" when its
  // metadata lacks one).
  std::vector<std::string> Values(const PooledResults& point) const;
  // The points in the order shown.
  std::vector<const PooledResults*> Ordered() const;
  void PointTables(std::vector<SummaryTable>& tables, std::vector<SummaryTable::Point>& points) const;

  std::vector<std::string> names_;
  double confidence_;
  std::vector<std::unique_ptr<PooledResults>> points_;
};

#endif
