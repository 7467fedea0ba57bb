// gpusim-report: summarises a results file written by gpusim, binary (-b) or
// ASCII (-a), told apart by its header. For each reward variable it prints
// the name, the number of observations, the mean, the standard deviation and
// a 95% confidence interval of the mean; --csv and --json give the same
// figures for other tools.
//
// Exit status: 0 when the whole file was read (a short last block, left by a
// run that was stopped while writing, is skipped with a warning); 1 when the
// file cannot be read or is corrupt (the figures of what came before the fault
// are still printed); 2 on a usage error.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "generated/GpuRewardNames.h"
#include "output/ResultsReader.h"
#include "output/ResultsSummary.h"

namespace {

enum class Style { kText, kCsv, kJson };

int Usage() {
  std::cerr << "Usage: gpusim-report [--csv | --json] <results file>\n"
               "Summarises a binary or ASCII results file written by gpusim.\n";
  return 2;
}

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
  std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == start || text.size() > 18) return false;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

std::string JsonText(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) quoted += c;
  }
  return quoted + "\"";
}

void PrintText(const std::string& path, const ResultsReader& reader, const ResultsSummary& summary) {
  const bool binary = reader.GetFormat() == ResultsReader::Format::kBinary;
  std::cout << "Results file: " << path << " (" << FormatName(reader.GetFormat()) << ", "
            << reader.Records() << (binary ? " observation blocks" : " observation lines") << ")\n";
  std::cout << "Experiment: " << reader.HeaderField("EXPERIMENTS") << "  Seed: " << reader.HeaderField("SEED")
            << "  Generator: " << reader.HeaderField("RANDOMGEN")
            << "  Batches: " << (reader.HeaderField("BATCHES").empty() ? "?" : reader.HeaderField("BATCHES"))
            << "\n";
  if (reader.Observations() == 0) {
    std::cout << "No observations.\n";
    return;
  }
  summary.PrintText(std::cout);
}

void PrintJson(const std::string& path, const ResultsReader& reader, const ResultsSummary& summary) {
  const std::string batches = reader.HeaderField("BATCHES");
  std::cout << "{\n  \"file\": " << JsonText(path) << ",\n  \"format\": \"" << FormatName(reader.GetFormat())
            << "\",\n  \"records\": " << reader.Records() << ",\n  \"batches\": "
            << (IsInteger(batches) ? batches : batches.empty() ? "null" : JsonText(batches)) << ",\n  \"truncated_bytes\": "
            << reader.TruncatedBytes() << ",\n  \"error\": "
            << (reader.Error().empty() ? "null" : JsonText(reader.Error())) << ",\n  \"variables\": ";
  summary.PrintJsonRows(std::cout);
  std::cout << "\n}\n";
}

}  // namespace

int main(int argc, char** argv) {
  Style style = Style::kText;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--csv") == 0) {
      style = Style::kCsv;
    } else if (std::strcmp(argv[i], "--json") == 0) {
      style = Style::kJson;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return Usage();
    } else if (path.empty()) {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (path.empty()) return Usage();

  ResultsSummary summary(GpuRewardNames());
  ResultsReader reader;
  const bool complete =
      reader.ReadFile(path, [&summary](int pvIndex, double value) { summary.Add(pvIndex, value); });
  if (reader.GetFormat() == ResultsReader::Format::kUnknown) {
    std::cerr << "gpusim-report: " << path << ": " << reader.Error() << "\n";
    return 1;
  }
  if (reader.Truncated()) {
    std::cerr << "gpusim-report: warning: " << path << " ends in an incomplete record ("
              << reader.TruncatedBytes() << " bytes ignored)\n";
  }
  if (!complete) std::cerr << "gpusim-report: " << path << ": " << reader.Error() << "\n";

  switch (style) {
    case Style::kText:
      PrintText(path, reader, summary);
      break;
    case Style::kCsv:
      summary.PrintCsv(std::cout);
      break;
    case Style::kJson:
      PrintJson(path, reader, summary);
      break;
  }
  return complete ? 0 : 1;
}
