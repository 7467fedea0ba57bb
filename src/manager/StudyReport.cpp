#include "manager/StudyReport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "manager/RunMetadata.h"
#include "output/BinFileHeader.h"
#include "random/GeneratorName.h"
#include "results/FileWrites.h"
#include "text/TextFormat.h"

namespace {

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

std::string JsonNumber(double value) { return FiniteNumberText(value, "null"); }

// Every string field stays on its line: control characters are left out.
std::string JsonText(const std::string& text) { return QuotedWithoutControls(text); }

std::string Ended(const SimulatorFacts& facts) {
  const std::string ending = facts.fault.empty() ? facts.ending.Describe() : "lost: " + facts.fault;
  return facts.note.empty() ? ending : ending + "; " + facts.note;
}

bool WriteAll(int descriptor, const std::string& bytes, std::string& error) {
  if (file_writes::WriteWhole(descriptor, bytes.data(), bytes.size())) return true;
  error = std::strerror(errno);
  return false;
}

// Why a study keeps no results although the disk took its files.
const char kLostBlocks[] = "some observations the figures count could not be written (a full disk?): the results "
                           "are not kept";

}  // namespace

StudyReport::StudyReport(const ManagerOptions& options, Study& study, ResultsFile* file,
                         const ResultsMetadata& metadata, ResultsFolderWriter* folder)
    : options_(options), study_(study), file_(file), folder_(folder), metadata_(metadata) {}

bool StudyReport::Collect() {
  merged_ = study_.Combined();
  if (!options_.binaryFile.empty()) written_ = WriteBinaryFile();
  if (!options_.resultsFolder.empty()) written_ = WriteResultsFolder();
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
BinFileHeader StudyReport::Header(unsigned seed, long batches) const {
  BinFileHeader header;
  header.experiment = static_cast<unsigned>(options_.experiment);
  header.seed = seed;
  header.generatorName = to_string(static_cast<RandomNumberGeneratorType>(options_.generator));
  header.batches = static_cast<int>(std::min<long>(batches, INT32_MAX));
  return header;
}

const std::string& StudyReport::ResultsPath() const {
  return options_.resultsFolder.empty() ? options_.binaryFile : options_.resultsFolder;
}

bool StudyReport::WriteBinaryFile() const {
  const std::string& path = options_.binaryFile;
  long batches = 0;
  for (const Moments& m : merged_) batches = std::max(batches, m.n);
  const std::string text = Header(options_.baseSeed, batches).Build(1);

  std::string error = kLostBlocks;
  const int descriptor = file_ != nullptr ? file_->Descriptor() : -1;
  bool ok = !study_.KeptBlocksLost() && descriptor >= 0 && WriteAll(descriptor, text, error) &&
            study_.CopyBlocks(descriptor, error) >= 0;
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

// Each simulator's file gets its own header (its seed, its batch count), the
// index the merged file's, listing the files in simulator order.
bool StudyReport::WriteResultsFolder() const {
  std::string error = kLostBlocks;
  std::vector<long long> bytes;
  bool ok = !study_.KeptBlocksLost() && folder_ != nullptr && study_.FinishBlockFiles(bytes, error);
  if (ok) {
    const std::vector<SimulatorFacts>& facts = study_.Facts();
    std::vector<BinFileHeader> headers;
    ResultsFolderIndex index;
    long batches = 0;
    for (const Moments& m : merged_) batches = std::max(batches, m.n);
    index.header = Header(options_.baseSeed, batches);
    for (std::size_t k = 0; k < facts.size() && k < bytes.size(); ++k) {
      headers.push_back(Header(facts[k].seed, facts[k].observations));
      index.files.push_back({results_folder::SimulatorFileName(static_cast<int>(k)), bytes[k]});
    }
    const ResultsMetadata metadata = metadata_.fields.empty()
                                         ? ResultsMetadata()
                                         : MergedFileMetadata(metadata_, folder_->Folder(), options_.baseSeed, facts);
    ok = folder_->Commit(headers, index, metadata, error);
  }
  if (!ok) {
    std::fprintf(stderr, "gpusim-manager: cannot write the results folder '%s': %s\n", options_.resultsFolder.c_str(),
                 error.c_str());
  }
  return ok;
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
      // The CSV is the table alone: why the study stopped goes with the
      // simulators' table to the error stream.
      PrintCsv(out, rows);
      err << StopLine() << '\n';
      PrintSimulators(err);
      break;
    case ManagerOptions::Output::kJson:
      PrintJson(out, rows);
      break;
  }
}

std::string StudyReport::StopLine() const {
  char line[512];
  std::snprintf(line, sizeof line, "Study: %zu simulators, %.2f s; %s.", study_.Facts().size(), study_.WallSeconds(),
                study_.StopMessage().c_str());
  return line;
}

// What the simulators reported, with the study's seeds; without their
// report, what the manager itself knows of the runs.
ResultsMetadata StudyReport::Metadata() const {
  if (!metadata_.fields.empty()) return MergedFileMetadata(metadata_, ResultsPath(), options_.baseSeed, study_.Facts());
  ResultsMetadata known;
  known.Add("experiment", std::to_string(options_.experiment));
  known.Add("generator", to_string(static_cast<RandomNumberGeneratorType>(options_.generator)));
  known.Add("base_seed", std::to_string(options_.baseSeed));
  for (const SimulatorFacts& f : study_.Facts()) {
    known.Add("simulator", std::to_string(f.index) + "," + std::to_string(f.seed) + "," + f.where);
  }
  return known;
}

SummaryTable StudyReport::Summary() const { return Table(Rows(), "\"stopped\": " + JsonText(study_.StopMessage())); }

SummaryTable StudyReport::Table(const std::vector<Row>& rows, const std::string& sourceMembers) const {
  SummaryTable table(options_.precision.confidence);
  table.AddSource({ResultsPath(), "", sourceMembers, Metadata()});
  for (const Row& row : rows) {
    SummaryTable::Row printed = SummaryTable::MakeRow(row.pv, row.name, row.moments, options_.precision.confidence);
    if (options_.precision.Given()) printed.target = row.verdict.met ? "met" : "not met";
    table.AddRow(printed);
  }
  return table;
}

void StudyReport::PrintText(std::ostream& out, const std::vector<Row>& rows) const {
  out << StopLine() << '\n';
  Table(rows).PrintText(out);
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
  if (!ResultsPath().empty() && written_) out << "Results: " << ResultsPath() << "\n";
}

void StudyReport::PrintCsv(std::ostream& out, const std::vector<Row>& rows) const { Table(rows).PrintCsv(out); }

void StudyReport::PrintJson(std::ostream& out, const std::vector<Row>& rows) const {
  std::ostringstream members;
  members << "\"stopped\": " << JsonText(study_.StopMessage()) << ",\n  \"wall_seconds\": "
          << JsonNumber(study_.WallSeconds())
          << ",\n  \"binary\": " << (options_.binaryFile.empty() ? "null" : JsonText(options_.binaryFile))
          << (options_.resultsFolder.empty() ? "" : ",\n  \"results_folder\": " + JsonText(options_.resultsFolder))
          << ",\n  \"simulators\": [";
  const std::vector<SimulatorFacts>& facts = study_.Facts();
  for (std::size_t i = 0; i < facts.size(); ++i) {
    const SimulatorFacts& f = facts[i];
    members << (i ? "," : "") << "\n    {\"index\": " << f.index << ", \"seed\": " << f.seed
            << ", \"observations\": " << f.observations << ", \"cpu_seconds\": " << JsonNumber(f.cpuSeconds)
            << ", \"ended\": " << JsonText(Ended(f)) << ", \"lost\": " << (f.fault.empty() ? "false" : "true") << "}";
  }
  members << (facts.empty() ? "]" : "\n  ]") << ",\n  \"manager_cpu_seconds\": " << JsonNumber(managerCpu_)
          << ",\n  \"simulators_cpu_seconds\": " << JsonNumber(simulatorsCpu_) << ",\n  ";
  Table(rows).PrintJson(out, members.str());
}
