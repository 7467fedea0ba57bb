// SweepReport gathers what every point of a sweep found and prints the
// sweep as one CSV table or one JSON document, the swept values leading:
//   CSV: point,<axis names...>,pv,name,observations,mean,stddev,ci_low,
//        ci_high,confidence,rel_half_width,met (one line per point and
//        variable; the columns after the axes are the study summary's);
//   JSON: {"sweep": [<axis names>], "confidence": C, "points": [{"point": k,
//        "values": {<swept name>: <value>, ...}, "experiment": e,
//        "globals": {<every global>: <value>, ...}, "stopped": "...",
//        "binary": <path or null>, "variables": [<the summary's variable
//        objects>]}]}.
// Each point's own table (text output) is StudyReport's.
//
// Plain data; not thread-safe.
#ifndef MANAGER_SWEEP_REPORT_H
#define MANAGER_SWEEP_REPORT_H

#include <ostream>
#include <string>
#include <vector>

#include "manager/Precision.h"
#include "manager/Study.h"
#include "manager/StudySettings.h"
#include "manager/Sweep.h"

struct SweepPointSummary {
  struct Variable {
    int pv = 0;
    std::string name;
    Moments moments;
    Verdict verdict;
  };

  SweepPoint point;
  std::string experiment;  // the point's experiment and every global's value,
  std::vector<std::pair<std::string, std::string>> globals;  // from its metadata
  std::string stopped;  // why the point's study stopped
  std::string binary;   // its merged file, empty without one
  std::vector<Variable> variables;
};

// What the finished study of point found, with its variables named as in
// settings and its experiment and globals as metadata (the point's) says.
SweepPointSummary SummarisePoint(const SweepPoint& point, const Study& study, const StudySettings& settings,
                                 const ResultsMetadata& metadata, const std::string& binary);

void PrintSweepCsv(const std::vector<SweepPointSummary>& points, const PrecisionTarget& precision, std::ostream& out);
void PrintSweepJson(const std::vector<SweepPointSummary>& points, const PrecisionTarget& precision, std::ostream& out);

#endif
