#include "report/ReportWriter.h"

#include <cmath>
#include <cstdio>

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

std::string Number(double value, const char* missing) {
  if (!std::isfinite(value)) return missing;
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
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

std::string ReportWriter::PercentText(double confidence) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", confidence * 100.0);
  return text;
}

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
    out << row.pvIndex << ',' << row.name << ',' << row.observations << ',' << Number(row.mean, "") << ','
        << Number(row.standardDeviation, "") << ',' << Number(row.ciLow, "") << ',' << Number(row.ciHigh, "")
        << ',' << Number(row.halfWidth, "") << ',' << Number(row.relativeHalfWidth, "") << ','
        << Number(confidence_, "") << ',' << metadata << '\n';
  }
}

void ReportWriter::PrintJson(std::ostream& out) const {
  out << "{\n  \"confidence\": " << Number(confidence_, "null") << ",\n  \"files\": [";
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
        << ", \"observations\": " << row.observations << ", \"mean\": " << Number(row.mean, "null")
        << ", \"stddev\": " << Number(row.standardDeviation, "null")
        << ", \"ci_low\": " << Number(row.ciLow, "null") << ", \"ci_high\": " << Number(row.ciHigh, "null")
        << ", \"half_width\": " << Number(row.halfWidth, "null")
        << ", \"rel_half_width\": " << Number(row.relativeHalfWidth, "null") << '}';
    first = false;
  }
  out << (first ? "]" : "\n  ]") << "\n}\n";
}
