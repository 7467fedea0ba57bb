#include "results/SummaryTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "results/ResultsSummary.h"
#include "text/TextFormat.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A merged file of many simulators would make its seed line unreadable:
// the text form lists this many and counts the rest (JSON lists all).
constexpr std::size_t kSeedsShown = 8;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Cell(double value, const char* format) { return std::isfinite(value) ? Format(format, value) : "n/a"; }

// Metadata values are text: a number stays a number in JSON.
std::string JsonValue(const std::string& text) {
  if (text.empty()) return "null";
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  const bool number = end != text.c_str() && *end == '\0' && std::isfinite(value) && text.find_first_of("xXnN") == std::string::npos;
  return number ? text : JsonString(text);
}

// "name,type,value" (a global) or "index,seed,where" (a simulator): the
// first two fields, then the rest (which may hold commas).
bool SplitThree(const std::string& value, std::string* first, std::string* second, std::string* rest) {
  const std::size_t a = value.find(',');
  if (a == std::string::npos) return false;
  const std::size_t b = value.find(',', a + 1);
  if (b == std::string::npos) return false;
  *first = value.substr(0, a);
  *second = value.substr(a + 1, b - a - 1);
  *rest = value.substr(b + 1);
  return true;
}

// A text table whose columns are as wide as their widest cell.
class TextGrid {
 public:
  // leftAligned[i]: column i is text (names), not figures.
  TextGrid(std::vector<std::string> header, std::vector<bool> leftAligned)
      : header_(std::move(header)), left_(std::move(leftAligned)) {}
  void Add(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
  void Print(std::ostream& out) const {
    std::vector<std::size_t> widths(header_.size());
    for (std::size_t c = 0; c < header_.size(); ++c) {
      widths[c] = header_[c].size();
      for (const auto& row : rows_) widths[c] = std::max(widths[c], row[c].size());
    }
    PrintLine(out, header_, widths);
    for (const auto& row : rows_) PrintLine(out, row, widths);
  }

 private:
  void PrintLine(std::ostream& out, const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) const {
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const std::string pad(widths[c] - cells[c].size(), ' ');
      const bool last = c + 1 == cells.size();
      line += left_[c] ? cells[c] + (last ? "" : pad) : pad + cells[c];
      if (!last) line += "  ";
    }
    out << line << '\n';
  }

  std::vector<std::string> header_;
  std::vector<bool> left_;
  std::vector<std::vector<std::string>> rows_;
};

bool AnyTarget(const std::vector<SummaryTable::Row>& rows) {
  return std::any_of(rows.begin(), rows.end(), [](const SummaryTable::Row& r) { return !r.target.empty(); });
}

std::vector<std::string> Header(const std::vector<std::string>& leading, double confidence, bool target) {
  std::vector<std::string> header = leading;
  header.insert(header.end(), {"PV", "Name", "Observations", "Mean", "Std dev", "Half-width", "Rel. hw",
                               SummaryTable::PercentText(confidence) + "% confidence interval"});
  if (target) header.push_back("Target");
  return header;
}

std::vector<bool> Alignment(std::size_t leading, bool target) {
  std::vector<bool> left(leading, false);
  left.insert(left.end(), {true, true, false, false, false, false, false, true});
  if (target) left.push_back(true);
  return left;
}

std::vector<std::string> Cells(const std::vector<std::string>& leading, const SummaryTable::Row& row, bool target) {
  std::vector<std::string> cells = leading;
  const std::string interval = std::isfinite(row.halfWidth) && std::isfinite(row.mean)
                                   ? "[" + Format("%.8g", row.ciLow) + ", " + Format("%.8g", row.ciHigh) + "]"
                                   : "n/a";
  cells.insert(cells.end(), {std::to_string(row.pv), row.name, std::to_string(row.observations),
                             Format("%.8g", row.mean), Cell(row.standardDeviation, "%.8g"),
                             Cell(row.halfWidth, "%.6g"), Cell(100.0 * row.relativeHalfWidth, "%.4g%%"), interval});
  if (target) cells.push_back(row.target.empty() ? "-" : row.target);
  return cells;
}

const char kCsvColumns[] = "pv,name,observations,mean,stddev,ci_low,ci_high,half_width,rel_half_width,confidence,target";

// A CSV cell holding a name: quoted when it holds a comma or a quote.
std::string CsvText(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

void PrintCsvRow(std::ostream& out, const SummaryTable::Row& row, double confidence) {
  out << row.pv << ',' << CsvText(row.name) << ',' << row.observations << ',' << FiniteNumberText(row.mean, "")
      << ',' << FiniteNumberText(row.standardDeviation, "") << ',' << FiniteNumberText(row.ciLow, "") << ','
      << FiniteNumberText(row.ciHigh, "") << ',' << FiniteNumberText(row.halfWidth, "") << ','
      << FiniteNumberText(row.relativeHalfWidth, "") << ',' << NumberText(confidence) << ',' << row.target << '\n';
}

std::string JsonNumber(double value) { return FiniteNumberText(value, "null"); }

void PrintJsonRows(std::ostream& out, const std::vector<SummaryTable::Row>& rows, const std::string& indent) {
  out << '[';
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const SummaryTable::Row& row = rows[i];
    out << (i ? "," : "") << '\n' << indent << "  {\"pv\": " << row.pv << ", \"name\": " << JsonString(row.name)
        << ", \"observations\": " << row.observations << ", \"mean\": " << JsonNumber(row.mean)
        << ", \"stddev\": " << JsonNumber(row.standardDeviation) << ", \"ci_low\": " << JsonNumber(row.ciLow)
        << ", \"ci_high\": " << JsonNumber(row.ciHigh) << ", \"half_width\": " << JsonNumber(row.halfWidth)
        << ", \"rel_half_width\": " << JsonNumber(row.relativeHalfWidth)
        << ", \"target\": " << (row.target.empty() ? "null" : JsonString(row.target)) << '}';
  }
  out << (rows.empty() ? "]" : "\n" + indent + "]");
}

// The metadata of one source as JSON members (after "file" and its own).
void PrintJsonMetadata(std::ostream& out, const ResultsMetadata& metadata) {
  for (const char* key : {"model", "model_digest", "experiment", "simulation", "overrides", "generator", "seed",
                          "base_seed", "version", "sweep"}) {
    const std::string value = metadata.Get(key);
    if (value.empty()) continue;
    const bool number = std::string(key) == "experiment" || std::string(key) == "seed" || std::string(key) == "base_seed";
    out << ", \"" << key << "\": " << (number ? JsonValue(value) : JsonString(value));
  }
  std::string globals;
  std::string simulators;
  for (const auto& [key, value] : metadata.fields) {
    std::string a, b, rest;
    if (!SplitThree(value, &a, &b, &rest)) continue;
    if (key == "global") {
      globals += std::string(globals.empty() ? "" : ", ") + "{\"name\": " + JsonString(a) + ", \"type\": " +
                 JsonString(b) + ", \"value\": " + JsonValue(rest) + "}";
    } else if (key == "simulator") {
      simulators += std::string(simulators.empty() ? "" : ", ") + "{\"index\": " + JsonValue(a) + ", \"seed\": " +
                    JsonValue(b) + ", \"where\": " + JsonString(rest) + "}";
    }
  }
  out << ", \"globals\": [" << globals << "]";
  if (!simulators.empty()) out << ", \"simulators\": [" << simulators << "]";
}

std::string SeedLine(const ResultsMetadata& metadata) {
  std::string line = "Generator: " + (metadata.Get("generator").empty() ? "?" : metadata.Get("generator"));
  if (!metadata.Get("seed").empty()) return line + "  Seed: " + metadata.Get("seed");
  if (metadata.Get("base_seed").empty()) return line;
  line += "  Base seed: " + metadata.Get("base_seed");
  std::vector<std::string> seeds;
  for (const auto& [key, value] : metadata.fields) {
    std::string index, seed, where;
    if (key == "simulator" && SplitThree(value, &index, &seed, &where)) seeds.push_back(seed);
  }
  if (seeds.empty()) return line;
  line += "  Simulator seeds: ";
  for (std::size_t i = 0; i < seeds.size() && i < kSeedsShown; ++i) line += (i ? ", " : "") + seeds[i];
  if (seeds.size() > kSeedsShown) line += ", ... (" + std::to_string(seeds.size()) + " simulators)";
  return line;
}

void PrintSourceText(std::ostream& out, const SummaryTable::Source& source) {
  if (!source.heading.empty()) out << source.heading << '\n';
  const ResultsMetadata& m = source.metadata;
  std::string line;
  if (!m.Get("model").empty()) {
    line = "Model: " + m.Get("model") + (m.Get("model_digest").empty() ? "" : " (" + m.Get("model_digest") + ")");
  }
  if (!m.Get("experiment").empty()) line += (line.empty() ? "" : "  ") + std::string("Experiment: ") + m.Get("experiment");
  if (!m.Get("simulation").empty()) line += (line.empty() ? "" : "  ") + std::string("Simulation: ") + m.Get("simulation");
  if (!line.empty()) out << line << '\n';
  std::string globals;
  for (const auto& [key, value] : m.fields) {
    std::string name, type, text;
    if (key == "global" && SplitThree(value, &name, &type, &text)) globals += (globals.empty() ? "" : ", ") + name + "=" + text;
  }
  if (!globals.empty()) out << "Globals: " << globals << '\n';
  out << SeedLine(m) << (m.Get("version").empty() ? "" : "  Version: " + m.Get("version")) << '\n';
}

}  // namespace

SummaryTable::Row SummaryTable::MakeRow(int pv, const std::string& name, const Moments& moments, double confidence) {
  Row row;
  row.pv = pv;
  row.name = name;
  row.observations = moments.n;
  row.mean = moments.mean;
  row.standardDeviation = moments.StandardDeviation();
  row.halfWidth = kNaN;
  if (moments.n >= 2 && !std::isnan(row.standardDeviation)) {
    row.halfWidth = StudentTQuantile(0.5 + confidence / 2.0, moments.n - 1) * row.standardDeviation /
                    std::sqrt(static_cast<double>(moments.n));
  }
  // No spread is an exact answer, whatever the mean; a spread around 0 has
  // no relative size.
  row.relativeHalfWidth = row.halfWidth == 0.0 ? 0.0 : moments.mean != 0.0 ? row.halfWidth / std::fabs(moments.mean) : kNaN;
  row.ciLow = moments.mean - row.halfWidth;
  row.ciHigh = moments.mean + row.halfWidth;
  return row;
}

std::string SummaryTable::PercentText(double confidence) { return NumberText(confidence * 100.0); }

void SummaryTable::PrintText(std::ostream& out) const {
  PrintSources(out);
  PrintRows(out);
}

void SummaryTable::PrintSources(std::ostream& out) const {
  for (const Source& source : sources_) PrintSourceText(out, source);
}

void SummaryTable::PrintRows(std::ostream& out) const {
  if (rows_.empty()) {
    out << "No observations.\n";
    return;
  }
  const bool target = AnyTarget(rows_);
  TextGrid grid(Header({}, confidence_, target), Alignment(0, target));
  for (const Row& row : rows_) grid.Add(Cells({}, row, target));
  grid.Print(out);
}

void SummaryTable::PrintCsv(std::ostream& out) const {
  out << kCsvColumns << '\n';
  for (const Row& row : rows_) PrintCsvRow(out, row, confidence_);
}

void SummaryTable::PrintJson(std::ostream& out, const std::string& members) const {
  out << "{\n  \"confidence\": " << JsonNumber(confidence_) << ",\n  " << members;
  PrintJsonBody(out, "  ");
  out << "\n}\n";
}

void SummaryTable::PrintJsonBody(std::ostream& out, const std::string& indent) const {
  out << "\"sources\": [";
  for (std::size_t i = 0; i < sources_.size(); ++i) {
    const Source& source = sources_[i];
    out << (i ? "," : "") << '\n' << indent << "  {\"file\": " << (source.file.empty() ? "null" : JsonString(source.file));
    if (!source.json.empty()) out << ", " << source.json;
    PrintJsonMetadata(out, source.metadata);
    out << '}';
  }
  out << (sources_.empty() ? "]" : "\n" + indent + "]") << ",\n" << indent << "\"variables\": ";
  PrintJsonRows(out, rows_, indent);
}

void SummaryTable::PrintSweepText(std::ostream& out, const std::vector<std::string>& names,
                                  const std::vector<Point>& points) {
  if (points.empty()) return;
  bool target = false;
  for (const Point& p : points) target = target || AnyTarget(p.table->rows_);
  std::vector<std::string> leading = {"Point"};
  leading.insert(leading.end(), names.begin(), names.end());
  TextGrid grid(Header(leading, points.front().table->confidence_, target), Alignment(leading.size(), target));
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::vector<std::string> values = {std::to_string(i + 1)};
    values.insert(values.end(), points[i].values.begin(), points[i].values.end());
    values.resize(leading.size());
    for (const Row& row : points[i].table->rows_) grid.Add(Cells(values, row, target));
  }
  grid.Print(out);
}

void SummaryTable::PrintSweepCsv(std::ostream& out, const std::vector<std::string>& names,
                                 const std::vector<Point>& points) {
  out << "point,";
  for (const std::string& name : names) out << CsvText(name) << ',';
  out << kCsvColumns << '\n';
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (const Row& row : points[i].table->rows_) {
      out << i + 1 << ',';
      for (std::size_t n = 0; n < names.size(); ++n) {
        out << (n < points[i].values.size() ? CsvText(points[i].values[n]) : "") << ',';
      }
      PrintCsvRow(out, row, points[i].table->confidence_);
    }
  }
}

void SummaryTable::PrintSweepJson(std::ostream& out, const std::vector<std::string>& names,
                                  const std::vector<Point>& points) {
  const double confidence = points.empty() ? kNaN : points.front().table->confidence_;
  out << "{\n  \"confidence\": " << JsonNumber(confidence) << ",\n  \"sweep\": [";
  for (std::size_t n = 0; n < names.size(); ++n) out << (n ? ", " : "") << JsonString(names[n]);
  out << "],\n  \"points\": [";
  for (std::size_t i = 0; i < points.size(); ++i) {
    out << (i ? "," : "") << "\n    {\"point\": " << i + 1 << ", \"globals\": {";
    for (std::size_t n = 0; n < names.size(); ++n) {
      const std::string value = n < points[i].values.size() ? points[i].values[n] : "";
      out << (n ? ", " : "") << JsonString(names[n]) << ": " << JsonValue(value);
    }
    out << "},\n     ";
    points[i].table->PrintJsonBody(out, "     ");
    out << '}';
  }
  out << (points.empty() ? "]" : "\n  ]") << "\n}\n";
}
