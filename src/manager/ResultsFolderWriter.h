// ResultsFolderWriter is the manager's --results-folder: a folder with one
// results file per simulator (results/ResultsFolder.h), checked and made
// before any simulator starts, so that a folder that cannot take the
// results is refused at once (status 2).
//
// What the path may name:
//   - nothing yet, in a folder the manager may write: the folder is made;
//   - an empty folder;
//   - with force, a results folder of an earlier study: its index goes
//     first, then its files, so that a study stopped between the two leaves
//     a folder known to be unfinished.
// Anything else is refused: a file, a link, a folder holding other files.
//
// Every simulator's file is made at Open (simulator-<k>.bin), its blocks
// written from byte 256 on by the study; Commit writes each file's header,
// makes the files durable, then writes the metadata and last the index.
// Without a Commit the files made are removed (and the folder, if made
// here): a failed study leaves no results whose counts disagree with what
// it reported.
//
// Ownership: the object owns the files' descriptors. Not copyable; not
// thread-safe (the study writes through the descriptors on its threads,
// one simulator's file on one thread at a time). Commit syncs the files on
// threads of its own, joined before it returns.
#ifndef MANAGER_RESULTS_FOLDER_WRITER_H
#define MANAGER_RESULTS_FOLDER_WRITER_H

#include <string>
#include <vector>

#include "results/ResultsFolder.h"
#include "results/ResultsMetadata.h"

class ResultsFolderWriter {
 public:
  ResultsFolderWriter() = default;
  ~ResultsFolderWriter();
  ResultsFolderWriter(const ResultsFolderWriter&) = delete;
  ResultsFolderWriter& operator=(const ResultsFolderWriter&) = delete;

  // Checks folder and makes one file per simulator in it. False with error
  // naming the reason when it cannot take the results.
  bool Open(const std::string& folder, int simulators, bool force, std::string& error);
  // Simulator k's file, to write its blocks from BinFileHeader::kSize on.
  const std::vector<int>& Descriptors() const { return descriptors_; }
  const std::string& Folder() const { return folder_; }
  // headers[k] is simulator k's; index lists the files in merged order;
  // metadata, when it has fields, becomes index.meta. False with error set.
  bool Commit(const std::vector<BinFileHeader>& headers, const ResultsFolderIndex& index,
              const ResultsMetadata& metadata, std::string& error);

 private:
  bool Prepare(bool force, std::string& error);
  bool ClearEarlierResults(std::string& error);
  bool SyncFiles(std::string& error) const;

  // Threads that make the files durable at once, at most.
  static constexpr std::size_t kSyncThreads = 16;
  void Abandon();

  std::string folder_;
  bool madeFolder_ = false;
  bool committed_ = false;
  std::vector<int> descriptors_;
};

#endif
