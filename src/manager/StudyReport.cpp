#include "manager/StudyReport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "manager/RunMetadata.h"
#include "output/BinFileHeader.h"
#include "random/GeneratorName.h"
#include "text/TextFormat.h"

namespace {

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

// Both infinities read "inf" here; NaN is the missing text.
std::string Number(double value, const char* missing = "") {
  if (!std::isfinite(value)) return std::isinf(value) ? "inf" : missing;
  return NumberText(value);
}

std::string Short(double value) {
  if (std::isnan(value)) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

std::string JsonNumber(double value) { return FiniteNumberText(value, "null"); }

// Every string field stays on its line: control characters are left out.
std::string JsonText(const std::string& text) { return QuotedWithoutControls(text); }

std::string Ended(const SimulatorFacts& facts) {
  const std::string ending = facts.fault.empty() ? facts.ending.Describe() : "lost: " + facts.fault;
  return facts.note.empty() ? ending : ending + "; " + facts.note;
}

bool WriteAll(int descriptor, const std::string& bytes, std::string& error) {
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t put = ::write(descriptor, bytes.data() + at, bytes.size() - at);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = std::strerror(errno);
      return false;
    }
    at += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

StudyReport::StudyReport(const ManagerOptions& options, const Study& study, ResultsFile* file,
                         const ResultsMetadata& metadata)
    : options_(options), study_(study), file_(file), metadata_(metadata) {}

bool StudyReport::Collect() {
  merged_ = study_.Combined();
  if (!options_.binaryFile.empty()) written_ = WriteBinaryFile();
  rusage self{};
  rusage children{};
  ::getrusage(RUSAGE_SELF, &self);
  ::getrusage(RUSAGE_CHILDREN, &children);
  managerCpu_ = Seconds(self.ru_utime) + Seconds(self.ru_stime);
  simulatorsCpu_ = Seconds(children.ru_utime) + Seconds(children.ru_stime);
  // Remote simulators are not this process's children (those are srun or
  // ssh clients): count what the simulators reported of themselves instead.
  if (options_.launcher != "local") {
    simulatorsCpu_ = 0.0;
    for (const SimulatorFacts& f : study_.Facts()) simulatorsCpu_ += f.cpuSeconds;
  }
  return written_;
}

// The header comes first, with the merged batch count: the file is written
// under a temporary name (or to a device) and only a complete one takes the
// user's name, so a file cut short never claims more than it holds.
bool StudyReport::WriteBinaryFile() const {
  const std::string& path = options_.binaryFile;
  BinFileHeader header;
  header.experiment = static_cast<unsigned>(options_.experiment);
  header.seed = options_.baseSeed;
  header.generatorName = to_string(static_cast<RandomNumberGeneratorType>(options_.generator));
  long batches = 0;
  for (const Moments& m : merged_) batches = std::max(batches, m.n);
  header.batches = static_cast<int>(std::min<long>(batches, INT32_MAX));
  const std::string text = header.Build(1);

  std::string error;
  const int descriptor = file_ != nullptr ? file_->Descriptor() : -1;
  bool ok = descriptor >= 0 && WriteAll(descriptor, text, error) && study_.CopyBlocks(descriptor, error) >= 0;
  if (descriptor < 0) error = "the file was not opened";
  ok = ok && file_->Commit(error);
  if (!ok) {
    std::fprintf(stderr, "gpusim-manager: cannot write the results file '%s': %s\n", path.c_str(), error.c_str());
    return false;
  }
  // Only beside a complete regular file: the companion labels what the file
  // holds, and a device (/dev/null) holds nothing to label.
  struct stat status {};
  if (!metadata_.fields.empty() && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
    const ResultsMetadata merged = MergedFileMetadata(metadata_, path, options_.baseSeed, study_.Facts());
    if (!merged.WriteFile(ResultsMetadata::PathFor(path), &error)) {
      std::fprintf(stderr, "gpusim-manager: warning: the results file '%s' has no metadata: %s\n", path.c_str(),
                   error.c_str());
    }
  }
  return true;
}

std::vector<StudyReport::Row> StudyReport::Rows() const {
  std::vector<Row> rows;
  for (std::size_t pv = 0; pv < merged_.size(); ++pv) {
    if (merged_[pv].n == 0) continue;
    const std::vector<std::string>& names = options_.variableNames;
    const std::string name = pv < names.size() && !names[pv].empty() ? names[pv] : "pv" + std::to_string(pv);
    rows.push_back({static_cast<int>(pv), name, merged_[pv], Judge(merged_[pv], options_.precision)});
  }
  return rows;
}

bool StudyReport::TargetReached(const std::vector<Row>& rows) const {
  if (options_.precision.Given()) {
    if (rows.empty()) return false;
    return std::all_of(rows.begin(), rows.end(), [this](const Row& row) {
      return row.verdict.met && row.moments.n >= options_.precision.minReplications;
    });
  }
  if (options_.replications > 0) {
    if (rows.empty()) return false;
    return std::all_of(rows.begin(), rows.end(),
                       [this](const Row& row) { return row.moments.n >= options_.replications; });
  }
  return study_.Reason() == Study::StopReason::kTime;
}

int StudyReport::ExitStatus() const {
  const std::vector<SimulatorFacts>& facts = study_.Facts();
  const bool allLost = std::all_of(facts.begin(), facts.end(), [](const SimulatorFacts& f) { return !f.fault.empty(); });
  if (!written_ || allLost || study_.Reason() == Study::StopReason::kFailed) return 1;
  if (study_.Reason() == Study::StopReason::kSignal) return 0;
  return TargetReached(Rows()) ? 0 : 3;
}

void StudyReport::Print(std::ostream& out, std::ostream& err) const {
  const std::vector<Row> rows = Rows();
  switch (options_.output) {
    case ManagerOptions::Output::kText:
      PrintText(out, rows);
      PrintSimulators(out);
      break;
    case ManagerOptions::Output::kCsv:
      PrintCsv(out, rows);
      PrintSimulators(err);
      break;
    case ManagerOptions::Output::kJson:
      PrintJson(out, rows);
      break;
  }
}

void StudyReport::PrintText(std::ostream& out, const std::vector<Row>& rows) const {
  char line[512];
  std::snprintf(line, sizeof line, "Study: %zu simulators, %.2f s; %s.\n", study_.Facts().size(), study_.WallSeconds(),
                study_.StopMessage().c_str());
  out << line;
  if (rows.empty()) {
    out << "No observations.\n";
    return;
  }
  const std::string level = Number(options_.precision.confidence * 100.0) + "%";
  std::snprintf(line, sizeof line, "%-4s %-14s %12s %16s %16s   %-36s %12s  %s\n", "PV", "Name", "Observations", "Mean",
                "Std dev", (level + " confidence interval").c_str(), "Rel. width", "Target");
  out << line;
  for (const Row& row : rows) {
    std::string interval = "n/a";
    if (!std::isnan(row.verdict.halfWidth)) {
      interval = "[" + Number(row.moments.mean - row.verdict.halfWidth) + ", " +
                 Number(row.moments.mean + row.verdict.halfWidth) + "]";
    }
    const char* target = !options_.precision.Given() ? "-" : row.verdict.met ? "met" : "not met";
    std::snprintf(line, sizeof line, "%-4d %-14s %12ld %16.8g %16s   %-36s %12s  %s\n", row.pv, row.name.c_str(),
                  row.moments.n, row.moments.mean, Number(row.moments.StandardDeviation(), "n/a").c_str(),
                  interval.c_str(), Short(row.verdict.relHalfWidth).c_str(), target);
    out << line;
  }
}

void StudyReport::PrintSimulators(std::ostream& out) const {
  char line[512];
  out << "\n";
  std::snprintf(line, sizeof line, "%-9s %-11s %12s %13s  %s\n", "Simulator", "Seed", "Observations", "CPU time (s)",
                "Ended");
  out << line;
  for (const SimulatorFacts& f : study_.Facts()) {
    std::snprintf(line, sizeof line, "%-9d %-11u %12ld %13.3f  %s\n", f.index, f.seed, f.observations, f.cpuSeconds,
                  Ended(f).c_str());
    out << line;
  }
  std::snprintf(line, sizeof line, "Processor time: manager %.3f s, simulators %.3f s (manager %.2f%%)\n", managerCpu_,
                simulatorsCpu_, simulatorsCpu_ > 0.0 ? 100.0 * managerCpu_ / simulatorsCpu_ : 0.0);
  out << line;
  if (!options_.binaryFile.empty() && written_) out << "Results: " << options_.binaryFile << "\n";
}

void StudyReport::PrintCsv(std::ostream& out, const std::vector<Row>& rows) const {
  out << "pv,name,observations,mean,stddev,ci_low,ci_high,confidence,rel_half_width,met\n";
  for (const Row& row : rows) {
    const double hw = row.verdict.halfWidth;
    out << row.pv << ',' << row.name << ',' << row.moments.n << ',' << Number(row.moments.mean) << ','
        << Number(row.moments.StandardDeviation()) << ',' << Number(row.moments.mean - hw) << ','
        << Number(row.moments.mean + hw) << ',' << Number(options_.precision.confidence) << ','
        << Number(row.verdict.relHalfWidth) << ','
        << (!options_.precision.Given() ? "" : row.verdict.met ? "yes" : "no") << '\n';
  }
}

void StudyReport::PrintJson(std::ostream& out, const std::vector<Row>& rows) const {
  out << "{\n  \"stopped\": " << JsonText(study_.StopMessage()) << ",\n  \"wall_seconds\": "
      << JsonNumber(study_.WallSeconds()) << ",\n  \"confidence\": " << JsonNumber(options_.precision.confidence)
      << ",\n  \"binary\": " << (options_.binaryFile.empty() ? "null" : JsonText(options_.binaryFile))
      << ",\n  \"variables\": [";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const double hw = row.verdict.halfWidth;
    out << (i ? "," : "") << "\n    {\"pv\": " << row.pv << ", \"name\": " << JsonText(row.name)
        << ", \"observations\": " << row.moments.n << ", \"mean\": " << JsonNumber(row.moments.mean)
        << ", \"stddev\": " << JsonNumber(row.moments.StandardDeviation())
        << ", \"ci_low\": " << JsonNumber(row.moments.mean - hw) << ", \"ci_high\": " << JsonNumber(row.moments.mean + hw)
        << ", \"rel_half_width\": " << JsonNumber(row.verdict.relHalfWidth) << ", \"met\": "
        << (!options_.precision.Given() ? "null" : row.verdict.met ? "true" : "false") << "}";
  }
  out << (rows.empty() ? "]" : "\n  ]") << ",\n  \"simulators\": [";
  const std::vector<SimulatorFacts>& facts = study_.Facts();
  for (std::size_t i = 0; i < facts.size(); ++i) {
    const SimulatorFacts& f = facts[i];
    out << (i ? "," : "") << "\n    {\"index\": " << f.index << ", \"seed\": " << f.seed
        << ", \"observations\": " << f.observations << ", \"cpu_seconds\": " << JsonNumber(f.cpuSeconds)
        << ", \"ended\": " << JsonText(Ended(f)) << ", \"lost\": " << (f.fault.empty() ? "false" : "true") << "}";
  }
  out << (facts.empty() ? "]" : "\n  ]") << ",\n  \"manager_cpu_seconds\": " << JsonNumber(managerCpu_)
      << ",\n  \"simulators_cpu_seconds\": " << JsonNumber(simulatorsCpu_) << "\n}\n";
}
