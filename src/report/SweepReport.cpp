#include "report/SweepReport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "report/ReportWriter.h"
#include "text/TextFormat.h"

namespace {

constexpr int kPanelWidth = 550;
constexpr int kPanelHeight = 320;

std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, ',');) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

bool IsNumber(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && end != text.c_str() && *end == '\0' && std::isfinite(*value);
}

std::string Quoted(const std::string& text) { return QuotedWithoutControls(text); }

}  // namespace

std::vector<std::string> SweepReport::SweptNames(const std::vector<std::string>& paths) {
  if (paths.size() < 2) return {};
  std::string sweep;
  for (const std::string& path : paths) {
    ResultsMetadata metadata;
    if (!ResultsMetadata::ReadFile(ResultsMetadata::PathFor(path), &metadata)) return {};
    const std::string value = metadata.Get("sweep");
    if (value.empty() || (!sweep.empty() && value != sweep)) return {};
    sweep = value;
  }
  return SplitAtCommas(sweep);
}

SweepReport::SweepReport(std::vector<std::string> names, double confidence)
    : names_(std::move(names)), confidence_(confidence) {}

PooledResults& SweepReport::AddPoint() {
  points_.push_back(std::make_unique<PooledResults>(std::vector<std::string>{}, false));
  return *points_.back();
}

std::vector<std::string> SweepReport::Values(const PooledResults& point) const {
  std::vector<std::string> values(names_.size());
  if (point.Files().empty()) return values;
  const ResultsMetadata& metadata = point.Files().front().metadata;
  for (std::size_t n = 0; n < names_.size(); ++n) {
    if (names_[n] == "experiment") {
      values[n] = metadata.Get("experiment");
      continue;
    }
    for (const auto& [key, value] : metadata.fields) {
      // "<name>,<type>,<value>"
      const std::size_t comma = value.find(',');
      if (key != "global" || value.compare(0, comma, names_[n]) != 0 || comma != names_[n].size()) continue;
      const std::size_t second = value.find(',', comma + 1);
      if (second != std::string::npos) values[n] = value.substr(second + 1);
    }
  }
  return values;
}

std::vector<const PooledResults*> SweepReport::Ordered() const {
  std::vector<const PooledResults*> ordered;
  bool numeric = true;
  for (const auto& point : points_) {
    double value;
    numeric = numeric && IsNumber(Values(*point).front(), &value);
    ordered.push_back(point.get());
  }
  if (numeric) {
    std::stable_sort(ordered.begin(), ordered.end(), [this](const PooledResults* a, const PooledResults* b) {
      return std::strtod(Values(*a).front().c_str(), nullptr) < std::strtod(Values(*b).front().c_str(), nullptr);
    });
  }
  return ordered;
}

// The sweep's table of points: one summary per point, in sweep order.
// points refer to tables, which must outlive them.
void SweepReport::PointTables(std::vector<SummaryTable>& tables, std::vector<SummaryTable::Point>& points) const {
  const std::vector<const PooledResults*> ordered = Ordered();
  tables.clear();
  for (const PooledResults* point : ordered) tables.push_back(ReportWriter(*point, confidence_).Table());
  points.clear();
  for (std::size_t i = 0; i < ordered.size(); ++i) points.push_back({Values(*ordered[i]), &tables[i]});
}

void SweepReport::PrintText(std::ostream& out) const {
  std::string swept;
  for (const std::string& name : names_) swept += (swept.empty() ? "" : ", ") + name;
  std::vector<SummaryTable> tables;
  std::vector<SummaryTable::Point> points;
  PointTables(tables, points);
  const std::vector<const PooledResults*> ordered = Ordered();
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::string heading = "Point " + std::to_string(i + 1) + ":";
    for (std::size_t n = 0; n < names_.size(); ++n) heading += " " + names_[n] + "=" + points[i].values[n];
    out << heading << '\n';
    ReportWriter(*ordered[i], confidence_).PrintText(out);  // with its pooled line
    out << '\n';
  }
  out << "Sweep over " << swept << ": " << points.size() << " points\n";
  SummaryTable::PrintSweepText(out, names_, points);
}

void SweepReport::PrintCsv(std::ostream& out) const {
  std::vector<SummaryTable> tables;
  std::vector<SummaryTable::Point> points;
  PointTables(tables, points);
  SummaryTable::PrintSweepCsv(out, names_, points);
}

void SweepReport::PrintJson(std::ostream& out) const {
  std::vector<SummaryTable> tables;
  std::vector<SummaryTable::Point> points;
  PointTables(tables, points);
  SummaryTable::PrintSweepJson(out, names_, points);
}

std::string SweepReport::Script(const std::string& picturePath, const PlotChoices& choices) const {
  const std::vector<const PooledResults*> ordered = Ordered();
  // Per variable: its name and "x mean low high" lines; x is the first swept
  // value when all are numbers, else the point's number.
  bool numeric = true;
  for (const PooledResults* point : ordered) {
    double value;
    numeric = numeric && IsNumber(Values(*point).front(), &value);
  }
  std::map<int, std::string> names;
  std::map<int, std::string> data;
  std::string tics;
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    const std::string value = Values(*ordered[i]).front();
    const std::string x = numeric ? value : std::to_string(i);
    tics += (tics.empty() ? "" : ", ") + Quoted(value) + " " + std::to_string(i);
    for (const SummaryTable::Row& row : ordered[i]->Rows(confidence_)) {
      if (!choices.Shows(row.pv) || !std::isfinite(row.mean)) continue;
      names[row.pv] = row.name;
      const double low = std::isfinite(row.halfWidth) ? row.ciLow : row.mean;
      const double high = std::isfinite(row.halfWidth) ? row.ciHigh : row.mean;
      data[row.pv] += x + " " + NumberText(row.mean) + " " + NumberText(low) + " " + NumberText(high) + "\n";
    }
  }
  const int panels = std::max<int>(1, static_cast<int>(data.size()));
  const int columns = panels > 1 ? 2 : 1;
  const int rows = (panels + columns - 1) / columns;
  const std::string percent = SummaryTable::PercentText(confidence_);
  std::string model;
  if (!ordered.empty() && !ordered.front()->Files().empty()) model = ordered.front()->Files().front().metadata.Get("model");
  std::ostringstream script;
  script << "# Written by gpusim-report; gnuplot redraws the picture from this file alone.\n"
         << "set terminal " << PlotWriter::TerminalFor(picturePath) << " size " << kPanelWidth * columns << ","
         << kPanelHeight * rows + 40 << " font 'sans,10'\n"
         << "set output " << Quoted(picturePath) << "\n"
         << "set grid\nset key below horizontal\nset offsets graph 0.05, graph 0.05, graph 0.05, graph 0.05\n"
         << "set multiplot layout " << rows << "," << columns << " title "
         << Quoted(ShortenedInTheMiddle((model.empty() ? "" : model + ": ") + "sweep over " + names_.front() + ", " +
                                            std::to_string(ordered.size()) + " points",
                                        static_cast<std::size_t>(kPanelWidth * columns / 8)))
         << "\n";
  if (!numeric) script << "set xtics (" << tics << ")\n";
  for (const auto& [pv, lines] : data) {
    const std::string block = "$sweep" + std::to_string(pv);
    const std::string& name = names[pv];
    script << block << " << EOD\n" << lines << "EOD\n"
           << "set title " << Quoted(ShortenedInTheMiddle(name, 40) + " against " + names_.front()) << "\n"
           << "set xlabel " << Quoted(names_.front()) << "\nset ylabel " << Quoted(name) << "\n"
           << "plot " << block << " using 1:2:3:4 with yerrorlines lw 2 pt 7 lc rgb '#08519c' title "
           << Quoted("mean and " + percent + "% interval");
    const auto reference = choices.references.find(pv);
    if (reference != choices.references.end()) {
      script << ", " << NumberText(reference->second) << " with lines dt 2 lw 2 lc rgb '#d62728' title "
             << Quoted("reference " + NumberText(reference->second));
    }
    script << "\n";
  }
  if (data.empty()) script << "set title 'No observations'\nunset border\nunset tics\nplot [0:1][0:1] NaN notitle\n";
  script << "unset multiplot\nset output\n";
  return script.str();
}
