#include "report/ReportWriter.h"

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

std::string Heading(const PooledResults::File& file) {
  const bool binary = file.format == ResultsReader::Format::kBinary;
  const std::string files =
      file.simulatorFiles > 0 ? std::to_string(file.simulatorFiles) + " simulator files, " : std::string();
  std::string heading = (file.simulatorFiles > 0 ? "Results folder: " : "Results file: ") + file.path + " (" +
                        FormatName(file.format) + ", " + files + std::to_string(file.records) + (binary ? " observation blocks" : " observation lines") +
                        ", batches " + (file.batches.empty() ? "?" : file.batches) + ")";
  if (!file.hasMetadata) heading += "\nNo metadata file (" + ResultsMetadata::PathFor(file.path) + "): from its header";
  return heading;
}

std::string JsonMembers(const PooledResults::File& file) {
  return "\"format\": \"" + std::string(FormatName(file.format)) + "\", \"records\": " + std::to_string(file.records) +
         ", \"batches\": " + JsonField(file.batches) + ", \"has_metadata\": " + (file.hasMetadata ? "true" : "false") +
         ", \"truncated_bytes\": " + std::to_string(file.truncatedBytes) +
         ", \"error\": " + (file.error.empty() ? "null" : JsonString(file.error));
}

}  // namespace

ReportWriter::ReportWriter(const PooledResults& results, double confidence)
    : results_(results), confidence_(confidence) {}

SummaryTable ReportWriter::Table() const {
  SummaryTable table(confidence_);
  for (const PooledResults::File& file : results_.Files()) {
    table.AddSource({file.path, Heading(file), JsonMembers(file), file.metadata});
  }
  for (const SummaryTable::Row& row : results_.Rows(confidence_)) table.AddRow(row);
  return table;
}

void ReportWriter::PrintText(std::ostream& out) const {
  const SummaryTable table = Table();
  table.PrintSources(out);
  if (results_.Files().size() > 1) {
    const auto [low, high] = results_.ObservationsPerVariable();
    out << "Pooled: " << results_.Files().size() << " files, " << low
        << (low == high ? "" : " to " + std::to_string(high)) << " observations per variable\n";
  }
  table.PrintRows(out);
}

void ReportWriter::PrintCsv(std::ostream& out) const { Table().PrintCsv(out); }

void ReportWriter::PrintJson(std::ostream& out) const { Table().PrintJson(out); }
