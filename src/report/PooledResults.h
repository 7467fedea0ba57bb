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
// Pooling is sound only for independent runs: SameStreamPairs names the
// files that come from the same seed and generator, whose observations are
// one stream read twice.
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
    bool hasMetadata = false;  // its companion file was read
    std::string model;         // from the companion; empty without one
    // Numbers this file names differently from an earlier file.
    std::vector<int> nameConflicts;
    long truncatedBytes = 0;
    std::string error;  // empty when the whole file was read
    // Set when the file was read to its end but its batch count or trailer
    // does not account for what it holds.
    std::string countProblem;
    bool damaged = false;  // cut, corrupt, or not accounting for itself
  };

  // The figures of one variable at a confidence level.
  struct Row {
    int pvIndex;
    std::string name;
    long observations;
    double mean;
    double standardDeviation;  // NaN below two observations
    double halfWidth;          // of the confidence interval; NaN below two
    double relativeHalfWidth;  // halfWidth / |mean|; NaN when the mean is 0
    double ciLow;
    double ciHigh;
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
  // Why the last AddFile returned false, also for a file that is not listed.
  const std::string& LastError() const { return lastError_; }
  // The second pass some histograms need (ObservationTrack::NeedsBins).
  // Returns false when a file cannot be read again.
  bool FillBins();

  const std::vector<File>& Files() const { return files_; }
  long Observations() const;
  // One row per variable with observations, in increasing index.
  // REQUIRES: 0 < confidence < 1.
  std::vector<Row> Rows(double confidence) const;
  // Index pairs (i < j) into Files() of files with the same seed and
  // generator.
  std::vector<std::pair<std::size_t, std::size_t>> SameStreamPairs() const;
  // Empty unless constructed with keepTracks.
  const std::map<int, ObservationTrack>& Tracks() const { return tracks_; }

 private:
  ResultsSummary summary_;
  bool keepTracks_;
  std::vector<File> files_;
  std::map<int, ObservationTrack> tracks_;
  std::string lastError_;
};

// The half-width of the confidence interval of a mean of n observations with
// the given standard deviation; NaN below two observations.
double ConfidenceHalfWidth(double confidence, long n, double standardDeviation);

#endif
