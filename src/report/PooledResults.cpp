#include "report/PooledResults.h"

#include "results/ResultsFolder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double ConfidenceHalfWidth(double confidence, long n, double standardDeviation) {
  if (n < 2 || std::isnan(standardDeviation)) return kNaN;
  return StudentTQuantile(0.5 + confidence / 2.0, n - 1) * standardDeviation / std::sqrt(static_cast<double>(n));
}

PooledResults::PooledResults(std::vector<std::string> names, bool keepTracks)
    : summary_(std::move(names)), keepTracks_(keepTracks) {}

bool PooledResults::AddFile(const std::string& path) {
  if (results_folder::IsFolder(path)) return AddFolder(path);
  ResultsReader reader;
  const bool complete = reader.ReadFile(path, [this](int pvIndex, double value) {
    summary_.Add(pvIndex, value);
    if (keepTracks_) tracks_[pvIndex].Add(value);
  });
  File file;
  file.path = path;
  file.format = reader.GetFormat();
  file.records = reader.Records();
  file.observations = reader.Observations();
  file.experiment = reader.HeaderField("EXPERIMENTS");
  file.seed = reader.HeaderField("SEED");
  file.generator = reader.HeaderField("RANDOMGEN");
  file.batches = reader.HeaderField("BATCHES");
  file.truncatedBytes = reader.TruncatedBytes();
  if (!complete) file.error = lastError_ = reader.Error();
  file.countProblem = reader.CountProblem();
  file.damaged = reader.Damaged();
  Describe(file);
  return complete;
}

// The simulator files are read as the merged file would be: each must be
// complete and account for itself, and the index's batch count must be the
// largest number of observations of any one variable over all of them.
bool PooledResults::AddFolder(const std::string& path) {
  ResultsFolderIndex index;
  std::string problem;
  if (!results_folder::ReadIndex(path, &index, &problem)) {
    lastError_ = problem;
    return false;
  }
  std::map<int, long> perVariable;
  File file;
  file.path = path;
  file.format = ResultsReader::Format::kBinary;
  file.simulatorFiles = static_cast<int>(index.files.size());
  for (const ResultsFolderIndex::Entry& entry : index.files) {
    ResultsReader reader;
    const bool complete = reader.ReadFile(path + "/" + entry.name, [this, &perVariable](int pvIndex, double value) {
      summary_.Add(pvIndex, value);
      ++perVariable[pvIndex];
      if (keepTracks_) tracks_[pvIndex].Add(value);
    });
    file.records += reader.Records();
    file.observations += reader.Observations();
    file.truncatedBytes += reader.TruncatedBytes();
    if (!complete || reader.Damaged()) {
      const std::string why = !complete ? reader.Error() : reader.Truncated() ? "it is cut short" : reader.CountProblem();
      file.error = lastError_ = entry.name + ": " + why;
      file.damaged = true;
      break;
    }
  }
  long most = 0;
  for (const auto& [pv, count] : perVariable) most = std::max(most, count);
  file.experiment = std::to_string(index.header.experiment);
  file.seed = std::to_string(index.header.seed);
  file.generator = index.header.generatorName;
  file.batches = std::to_string(index.header.batches);
  if (file.error.empty() && most != index.header.batches) {
    file.countProblem = "its index gives " + file.batches + " batches, but its files hold " + std::to_string(most) +
                        " observations of one variable";
    file.damaged = true;
  }
  Describe(file);
  return file.error.empty();
}

void PooledResults::Describe(File& file) {
  const std::string& path = file.path;
  if (file.format != ResultsReader::Format::kUnknown &&
      ResultsMetadata::ReadFile(ResultsMetadata::PathFor(path), &file.metadata)) {
    file.hasMetadata = true;
    file.nameConflicts = summary_.AddNames(file.metadata.Names());
  } else {
    file.metadata.Add("experiment", file.experiment);
    file.metadata.Add("generator", file.generator);
  }
  file.seeds = SeedsUsed(file.metadata);
  if (file.seeds.empty() && !file.seed.empty()) {
    file.seeds = {file.seed};
    file.seedFromHeader = true;
    if (!file.hasMetadata) file.metadata.Add("seed", file.seed);
  }
  if (file.metadata.Get("generator").empty()) file.metadata.Add("generator", file.generator);
  if (file.format != ResultsReader::Format::kUnknown) files_.push_back(file);
}

bool PooledResults::ReadAgain(const File& file, const ResultsReader::ObservationFn& onObservation) const {
  ResultsFolderIndex index;
  std::string problem;
  std::vector<std::string> paths = {file.path};
  if (results_folder::IsFolder(file.path)) {
    if (!results_folder::ReadIndex(file.path, &index, &problem)) return false;
    paths.clear();
    for (const ResultsFolderIndex::Entry& entry : index.files) paths.push_back(file.path + "/" + entry.name);
  }
  long observations = 0;
  for (const std::string& path : paths) {
    ResultsReader reader;
    reader.ReadFile(path, onObservation);
    observations += reader.Observations();
  }
  return observations == file.observations;
}

bool PooledResults::FillBins() {
  bool needed = false;
  for (const auto& entry : tracks_) needed = needed || entry.second.NeedsBins();
  if (!needed) return true;
  bool readable = true;
  for (const File& file : files_) {
    // A file that changed since the first pass would give bars that do not
    // match the table.
    readable = ReadAgain(file, [this](int pvIndex, double value) {
      ObservationTrack& track = tracks_[pvIndex];
      if (track.NeedsBins()) track.AddToBins(value);
    }) && readable;
  }
  return readable;
}

std::vector<PooledResults::Row> PooledResults::Rows(double confidence) const { return summary_.Rows(confidence); }

std::vector<std::string> SeedsUsed(const ResultsMetadata& metadata) {
  std::vector<std::string> seeds;
  for (const auto& [key, value] : metadata.fields) {
    if (key != "simulator") continue;
    // "<index>,<seed>,<where>"
    const std::size_t comma = value.find(',');
    if (comma == std::string::npos) continue;
    seeds.push_back(value.substr(comma + 1, value.find(',', comma + 1) - comma - 1));
  }
  if (seeds.empty() && !metadata.Get("seed").empty()) seeds.push_back(metadata.Get("seed"));
  return seeds;
}

std::vector<PooledResults::RepeatedStream> PooledResults::RepeatedStreams() const {
  std::vector<RepeatedStream> repeated;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    for (std::size_t j = i + 1; j < files_.size(); ++j) {
      const File& a = files_[i];
      const File& b = files_[j];
      const std::string generator = a.metadata.Get("generator");
      if (generator != b.metadata.Get("generator")) continue;
      std::set<std::string> seedsOfA(a.seeds.begin(), a.seeds.end());
      std::vector<std::string> shared;
      for (const std::string& seed : std::set<std::string>(b.seeds.begin(), b.seeds.end())) {
        if (seedsOfA.count(seed) > 0) shared.push_back(seed);
      }
      if (!shared.empty()) repeated.push_back({i, j, shared, generator, a.seedFromHeader || b.seedFromHeader});
    }
  }
  return repeated;
}
