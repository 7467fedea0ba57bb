#include "report/ReportWriter.h"

#include <cmath>
#include <cstdio>

#include "text/TextFormat.h"

namespace {

const char* FormatName(ResultsReader::Format format) {
  switch (format) {
    case ResultsReader::Format::kBinary:
      return "binary";
    case ResultsReader::Format::kAscii:
      return "ascii";
    default:
      return "unknown";
  }
}

bool IsInteger(const std::string& text) {
  const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == start || text.size() > 18) return false;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// A header field as JSON: a number when it is one, null when absent.
std::string JsonField(const std::string& text) {
  if (text.empty()) return "null";
  return IsInteger(text) ? text : JsonString(text);
}

std::string OrUnknown(const std::string& text) { return text.empty() ? "?" : text; }

}  // namespace

ReportWriter::ReportWriter(const PooledResults& results, double confidence)
    : results_(results), confidence_(confidence) {}

std::string ReportWriter::PercentText(double confidence) { return NumberText(confidence * 100.0); }

std::string ReportWriter::JoinedField(std::string PooledResults::File::*field) const {
  std::string joined;
  for (const PooledResults::File& file : results_.Files()) {
    if (&file != &results_.Files().front()) joined += ';';
    joined += file.*field;
  }
  return joined;
}

void ReportWriter::PrintText(std::ostream& out) const {
  for (const PooledResults::File& file : results_.Files()) {
    const bool binary = file.format == ResultsReader::Format::kBinary;
    out << "Results file: " << file.path << " (" << FormatName(file.format) << ", " << file.records
        << (binary ? " observation blocks" : " observation lines") << ")\n";
    out << "Experiment: " << file.experiment << "  Seed: " << file.seed << "  Generator: " << file.generator
        << "  Batches: " << OrUnknown(file.batches) << "\n";
  }
  if (results_.Files().size() > 1) {
    out << "Pooled: " << results_.Files().size() << " files, " << results_.Observations() << " observations\n";
  }
  const std::vector<PooledResults::Row> rows = results_.Rows(confidence_);
  if (rows.empty()) {
    out << "No observations.\n";
    return;
  }
  const std::string percent = PercentText(confidence_);
  char line[512];
  std::snprintf(line, sizeof line, "%-4s %-14s %12s %16s %16s %14s %10s   %s\n", "PV", "Name", "Observations",
                "Mean", "Std dev", "Half-width", "Rel. hw", (percent + "% confidence interval of the mean").c_str());
  out << line;
  for (const PooledResults::Row& row : rows) {
    std::snprintf(line, sizeof line, "%-4d %-14s %12ld %16.8g ", row.pvIndex, row.name.c_str(), row.observations,
                  row.mean);
    out << line;
    if (std::isnan(row.standardDeviation)) {
      std::snprintf(line, sizeof line, "%16s %14s %10s   %s\n", "n/a", "n/a", "n/a", "n/a");
    } else {
      char relative[32] = "n/a";
      if (std::isfinite(row.relativeHalfWidth)) {
        std::snprintf(relative, sizeof relative, "%.4g%%", 100.0 * row.relativeHalfWidth);
      }
      std::snprintf(line, sizeof line, "%16.8g %14.6g %10s   [%.8g, %.8g]\n", row.standardDeviation, row.halfWidth,
                    relative, row.ciLow, row.ciHigh);
    }
    out << line;
  }
}

void ReportWriter::PrintCsv(std::ostream& out) const {
  const std::string ci = "ci" + PercentText(confidence_);
  out << "pv,name,observations,mean,stddev," << ci << "_low," << ci
      << "_high,half_width,rel_half_width,confidence,experiment,seed,generator\n";
  const std::string metadata = JoinedField(&PooledResults::File::experiment) + ',' +
                               JoinedField(&PooledResults::File::seed) + ',' +
                               JoinedField(&PooledResults::File::generator);
  for (const PooledResults::Row& row : results_.Rows(confidence_)) {
    out << row.pvIndex << ',' << row.name << ',' << row.observations << ',' << FiniteNumberText(row.mean, "")
        << ',' << FiniteNumberText(row.standardDeviation, "") << ',' << FiniteNumberText(row.ciLow, "") << ','
        << FiniteNumberText(row.ciHigh, "") << ',' << FiniteNumberText(row.halfWidth, "") << ','
        << FiniteNumberText(row.relativeHalfWidth, "") << ',' << FiniteNumberText(confidence_, "") << ','
        << metadata << '\n';
  }
}

void ReportWriter::PrintJson(std::ostream& out) const {
  out << "{\n  \"confidence\": " << FiniteNumberText(confidence_, "null") << ",\n  \"files\": [";
  bool first = true;
  for (const PooledResults::File& file : results_.Files()) {
    out << (first ? "" : ",") << "\n    {\"file\": " << JsonString(file.path) << ", \"format\": \""
        << FormatName(file.format) << "\", \"records\": " << file.records
        << ", \"experiment\": " << JsonField(file.experiment) << ", \"seed\": " << JsonField(file.seed)
        << ", \"generator\": " << JsonField(file.generator) << ", \"batches\": " << JsonField(file.batches)
        << ", \"truncated_bytes\": " << file.truncatedBytes
        << ", \"error\": " << (file.error.empty() ? "null" : JsonString(file.error)) << '}';
    first = false;
  }
  out << (first ? "]" : "\n  ]") << ",\n  \"variables\": [";
  first = true;
  for (const PooledResults::Row& row : results_.Rows(confidence_)) {
    out << (first ? "" : ",") << "\n    {\"pv\": " << row.pvIndex << ", \"name\": " << JsonString(row.name)
        << ", \"observations\": " << row.observations << ", \"mean\": " << FiniteNumberText(row.mean, "null")
        << ", \"stddev\": " << FiniteNumberText(row.standardDeviation, "null")
        << ", \"ci_low\": " << FiniteNumberText(row.ciLow, "null")
        << ", \"ci_high\": " << FiniteNumberText(row.ciHigh, "null")
        << ", \"half_width\": " << FiniteNumberText(row.halfWidth, "null")
        << ", \"rel_half_width\": " << FiniteNumberText(row.relativeHalfWidth, "null") << '}';
    first = false;
  }
  out << (first ? "]" : "\n  ]") << "\n}\n";
}
