#include "manager/SweepReport.h"

#include <cmath>
#include <cstdlib>

#include "text/TextFormat.h"

namespace {

std::string Number(double value) {
  if (!std::isfinite(value)) return std::isinf(value) ? "inf" : "";
  return NumberText(value);
}

std::string JsonNumber(double value) { return FiniteNumberText(value, "null"); }

std::string JsonText(const std::string& text) { return QuotedWithoutControls(text); }

// A swept value is a number, or an experiment's number: written as given.
std::string JsonValue(const std::string& value) {
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  return !value.empty() && *end == '\0' && std::isfinite(number) ? value : JsonText(value);
}

std::string Met(const PrecisionTarget& precision, const Verdict& verdict, const char* none, const char* yes,
                const char* no) {
  return !precision.Given() ? none : verdict.met ? yes : no;
}

}  // namespace

SweepPointSummary SummarisePoint(const SweepPoint& point, const Study& study, const StudySettings& settings,
                                 const ResultsMetadata& metadata, const std::string& binary) {
  SweepPointSummary summary;
  summary.point = point;
  summary.experiment = metadata.Get("experiment");
  for (const auto& [key, value] : metadata.fields) {
    if (key != "global") continue;
    const std::size_t name = value.find(',');
    const std::size_t type = value.find(',', name + 1);
    if (name != std::string::npos && type != std::string::npos) {
      summary.globals.emplace_back(value.substr(0, name), value.substr(type + 1));
    }
  }
  summary.stopped = study.StopMessage();
  summary.binary = binary;
  const std::vector<Moments> combined = study.Combined();
  for (std::size_t pv = 0; pv < combined.size(); ++pv) {
    if (combined[pv].n == 0) continue;
    const std::vector<std::string>& names = settings.variableNames;
    SweepPointSummary::Variable v;
    v.pv = static_cast<int>(pv);
    v.name = pv < names.size() && !names[pv].empty() ? names[pv] : "pv" + std::to_string(pv);
    v.moments = combined[pv];
    v.verdict = Judge(combined[pv], settings.precision);
    summary.variables.push_back(v);
  }
  return summary;
}

void PrintSweepCsv(const std::vector<SweepPointSummary>& points, const PrecisionTarget& precision, std::ostream& out) {
  out << "point";
  if (!points.empty()) {
    for (const auto& [name, value] : points.front().point.values) out << ',' << name;
  }
  out << ",pv,name,observations,mean,stddev,ci_low,ci_high,confidence,rel_half_width,met\n";
  for (const SweepPointSummary& p : points) {
    for (const SweepPointSummary::Variable& v : p.variables) {
      const double hw = v.verdict.halfWidth;
      out << p.point.number;
      for (const auto& [name, value] : p.point.values) out << ',' << value;
      out << ',' << v.pv << ',' << v.name << ',' << v.moments.n << ',' << Number(v.moments.mean) << ','
          << Number(v.moments.StandardDeviation()) << ',' << Number(v.moments.mean - hw) << ','
          << Number(v.moments.mean + hw) << ',' << Number(precision.confidence) << ',' << Number(v.verdict.relHalfWidth)
          << ',' << Met(precision, v.verdict, "", "yes", "no") << '\n';
    }
  }
}

void PrintSweepJson(const std::vector<SweepPointSummary>& points, const PrecisionTarget& precision, std::ostream& out) {
  out << "{\n  \"sweep\": [";
  if (!points.empty()) {
    bool first = true;
    for (const auto& [name, value] : points.front().point.values) {
      out << (first ? "" : ", ") << JsonText(name);
      first = false;
    }
  }
  out << "],\n  \"confidence\": " << JsonNumber(precision.confidence) << ",\n  \"points\": [";
  for (std::size_t i = 0; i < points.size(); ++i) {
    const SweepPointSummary& p = points[i];
    out << (i ? "," : "") << "\n    {\"point\": " << p.point.number << ", \"values\": {";
    bool first = true;
    for (const auto& [name, value] : p.point.values) {
      out << (first ? "" : ", ") << JsonText(name) << ": " << JsonValue(value);
      first = false;
    }
    out << "}, \"experiment\": " << (p.experiment.empty() ? "null" : JsonValue(p.experiment)) << ", \"globals\": {";
    first = true;
    for (const auto& [name, value] : p.globals) {
      out << (first ? "" : ", ") << JsonText(name) << ": " << JsonValue(value);
      first = false;
    }
    out << "}, \"stopped\": " << JsonText(p.stopped)
        << ", \"binary\": " << (p.binary.empty() ? "null" : JsonText(p.binary)) << ", \"variables\": [";
    for (std::size_t k = 0; k < p.variables.size(); ++k) {
      const SweepPointSummary::Variable& v = p.variables[k];
      const double hw = v.verdict.halfWidth;
      out << (k ? "," : "") << "\n      {\"pv\": " << v.pv << ", \"name\": " << JsonText(v.name)
          << ", \"observations\": " << v.moments.n << ", \"mean\": " << JsonNumber(v.moments.mean)
          << ", \"stddev\": " << JsonNumber(v.moments.StandardDeviation())
          << ", \"ci_low\": " << JsonNumber(v.moments.mean - hw) << ", \"ci_high\": " << JsonNumber(v.moments.mean + hw)
          << ", \"rel_half_width\": " << JsonNumber(v.verdict.relHalfWidth)
          << ", \"met\": " << Met(precision, v.verdict, "null", "true", "false") << "}";
    }
    out << (p.variables.empty() ? "]}" : "\n    ]}");
  }
  out << (points.empty() ? "]" : "\n  ]") << "\n}\n";
}
