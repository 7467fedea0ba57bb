#include "report/PooledResults.h"

#include <cmath>
#include <limits>

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
  ResultsMetadata metadata;
  if (file.format != ResultsReader::Format::kUnknown &&
      ResultsMetadata::ReadFile(ResultsMetadata::PathFor(path), &metadata)) {
    file.hasMetadata = true;
    file.model = metadata.Get("model");
    file.nameConflicts = summary_.AddNames(metadata.Names());
  }
  file.truncatedBytes = reader.TruncatedBytes();
  if (!complete) file.error = lastError_ = reader.Error();
  file.countProblem = reader.CountProblem();
  file.damaged = reader.Damaged();
  if (file.format != ResultsReader::Format::kUnknown) files_.push_back(file);
  return complete;
}

bool PooledResults::FillBins() {
  bool needed = false;
  for (const auto& entry : tracks_) needed = needed || entry.second.NeedsBins();
  if (!needed) return true;
  bool readable = true;
  for (const File& file : files_) {
    ResultsReader reader;
    reader.ReadFile(file.path, [this](int pvIndex, double value) {
      ObservationTrack& track = tracks_[pvIndex];
      if (track.NeedsBins()) track.AddToBins(value);
    });
    // A file that changed since the first pass would give bars that do not
    // match the table.
    readable = readable && reader.Observations() == file.observations;
  }
  return readable;
}

long PooledResults::Observations() const {
  long total = 0;
  for (const File& file : files_) total += file.observations;
  return total;
}

std::vector<PooledResults::Row> PooledResults::Rows(double confidence) const {
  std::vector<Row> rows;
  for (const ResultsSummary::Row& r : summary_.Rows()) {
    const double halfWidth = ConfidenceHalfWidth(confidence, r.observations, r.standardDeviation);
    const double relative = r.mean != 0.0 ? halfWidth / std::fabs(r.mean) : kNaN;
    rows.push_back({r.pvIndex, r.name, r.observations, r.mean, r.standardDeviation, halfWidth, relative,
                    r.mean - halfWidth, r.mean + halfWidth});
  }
  return rows;
}

std::vector<std::pair<std::size_t, std::size_t>> PooledResults::SameStreamPairs() const {
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    for (std::size_t j = i + 1; j < files_.size(); ++j) {
      const File& a = files_[i];
      const File& b = files_[j];
      if (!a.seed.empty() && a.seed == b.seed && a.generator == b.generator) pairs.emplace_back(i, j);
    }
  }
  return pairs;
}
