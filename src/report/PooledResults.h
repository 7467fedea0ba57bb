// PooledResults reads one or more results files written by gpusim and pools
// their observations per reward variable, in the order the files are given:
// the figures of files a and b equal those of one file holding a's
// observations followed by b's. It keeps, per file, what the file records
// about its run (experiment, seed, generator, batches) and how the reading
// went, and per variable an ObservationTrack for the plots when asked to.
//
// Names come from each file's companion metadata (ResultsMetadata), the
// first file to name a number naming it; a number no companion names is
// shown as "pv<number>".
//
// Pooling is sound only for independent runs: RepeatedStreams names the
// files that used a seed in common with the same generator, whose
// observations are (partly) one stream read twice. The seeds compared are
// the ones the runs used: every simulator's of a merged file, the run's own
// of a single run, from the metadata; a file without metadata offers its
// header's seed instead.
//
// A results folder (results/ResultsFolder.h) is one source: its simulator
// files are read in the order its index gives, which is the order of the
// merged file of the same study, so its figures are that file's. It is
// listed as one file, whose batch count is the index's; a folder without
// an index (unfinished) or with a file missing is not read at all.
//
// Not thread-safe. Not copyable (the summary and tracks belong to it).
#ifndef POOLED_RESULTS_H
#define POOLED_RESULTS_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "results/ResultsMetadata.h"
#include "results/ResultsReader.h"
#include "results/ResultsSummary.h"
#include "results/SummaryTable.h"
#include "report/ObservationTrack.h"

class PooledResults {
 public:
  struct File {
    std::string path;
    ResultsReader::Format format = ResultsReader::Format::kUnknown;
    long records = 0;
    long observations = 0;
    std::string experiment;  // header fields, empty when the file has none
    std::string seed;
    std::string generator;
    std::string batches;
    int simulatorFiles = 0;  // a results folder's files; 0 for a file
    bool hasMetadata = false;  // its companion file was read
    // The companion's content; without one, the header's experiment, seed
    // and generator in the same keys.
    ResultsMetadata metadata;
    // The seeds its runs used (see RepeatedStreams) and its generator.
    std::vector<std::string> seeds;
    bool seedFromHeader = false;  // no metadata named one: the header's stands in
    // Numbers this file names differently from an earlier file.
    std::vector<int> nameConflicts;
    long truncatedBytes = 0;
    std::string error;  // empty when the whole file was read
    // Set when the file was read to its end but its batch count or trailer
    // does not account for what it holds.
    std::string countProblem;
    bool damaged = false;  // cut, corrupt, or not accounting for itself
  };

  using Row = SummaryTable::Row;

  // Two files whose runs used the same seeds with the same generator.
  struct RepeatedStream {
    std::size_t first;   // index into Files()
    std::size_t second;  // first < second
    std::vector<std::string> seeds;
    std::string generator;
    bool fromHeader;  // a file had no metadata: its header seed was compared
  };

  // names as for ResultsSummary, before any file's own; keepTracks makes it follow every variable
  // for the plots.
  PooledResults(std::vector<std::string> names, bool keepTracks);
  PooledResults(const PooledResults&) = delete;
  PooledResults& operator=(const PooledResults&) = delete;

  // Reads path and pools its observations; the file is listed in Files()
  // when it is a results file. Returns false when it could not be read to
  // its end (its error is then set; what came before the fault is pooled).
  bool AddFile(const std::string& path);
  // AddFile of a results folder.
  bool AddFolder(const std::string& path);
  // Why the last AddFile returned false, also for a file that is not listed.
  const std::string& LastError() const { return lastError_; }
  // The second pass some histograms need (ObservationTrack::NeedsBins).
  // Returns false when a file cannot be read again.
  bool FillBins();

  const std::vector<File>& Files() const { return files_; }
  // The variables' observation counts, lowest and highest.
  std::pair<long, long> ObservationsPerVariable() const { return summary_.ObservationRange(); }
  // One row per variable with observations, in increasing index.
  // REQUIRES: 0 < confidence < 1.
  std::vector<Row> Rows(double confidence) const;
  // Every pair of files that share a seed and a generator.
  std::vector<RepeatedStream> RepeatedStreams() const;
  // Empty unless constructed with keepTracks.
  const std::map<int, ObservationTrack>& Tracks() const { return tracks_; }

 private:
  // What the file at path records of its run and of how the reading went.
  void Describe(File& file);
  // Reads path (a file, or a folder's files in index order) for the second pass.
  bool ReadAgain(const File& file, const ResultsReader::ObservationFn& onObservation) const;

  ResultsSummary summary_;
  bool keepTracks_;
  std::vector<File> files_;
  std::map<int, ObservationTrack> tracks_;
  std::string lastError_;
};

// The half-width of the confidence interval of a mean of n observations with
// the given standard deviation; NaN below two observations.
double ConfidenceHalfWidth(double confidence, long n, double standardDeviation);

// The seeds the runs of a file used, by its metadata: every simulator's of
// a merged file, else the run's own; empty when the metadata names none.
std::vector<std::string> SeedsUsed(const ResultsMetadata& metadata);

#endif
