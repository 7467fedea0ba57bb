#include "manager/SteadyStateReport.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string NameOf(const StudySettings& settings, std::size_t pv) {
  const std::vector<std::string>& names = settings.variableNames;
  return pv < names.size() && !names[pv].empty() ? names[pv] : "pv" + std::to_string(pv);
}

std::string Value(double value) {
  if (std::isnan(value)) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

void PrintSteadyStateReport(const Study& study, const StudySettings& settings, std::ostream& out,
                            std::ostream& warnings) {
  if (!settings.steadyState) return;
  const std::vector<Lag1Autocorrelation> lag1 = study.Lag1Autocorrelations();
  if (lag1.empty()) return;  // no batch means
  char line[256];
  std::snprintf(
      line, sizeof line,
      "\nSteady state: batch means, the first %ld of every simulator dropped as warm-up\n%-4s %-14s %22s %10s\n",
      settings.warmupBatches, "PV", "Name", "Lag-1 autocorrelation", "Pairs");
  out << line;
  for (std::size_t pv = 0; pv < lag1.size(); ++pv) {
    if (lag1[pv].pairs == 0 && std::isnan(lag1[pv].value)) continue;
    std::snprintf(line, sizeof line, "%-4zu %-14s %22s %10ld\n", pv, NameOf(settings, pv).c_str(),
                  Value(lag1[pv].value).c_str(), lag1[pv].pairs);
    out << line;
  }
  for (std::size_t pv = 0; pv < lag1.size(); ++pv) {
    if (!(lag1[pv].value > kHighLag1)) continue;
    warnings << "gpusim-manager: warning: variable " << pv << " (" << NameOf(settings, pv)
             << ") has a lag-1 autocorrelation of " << Value(lag1[pv].value) << " between its batch means (above "
             << kHighLag1 << "): the batches are too short for its interval to be trusted; lengthen them by "
             << "widening the model's steady window (steady [start, stop]: a batch lasts stop - start), "
             << "for example to four times its length\n";
  }
}
