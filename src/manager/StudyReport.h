// StudyReport turns a finished study into its results: the merged binary
// results file (the blocks of every simulator, ordered by simulator, then by
// arrival, behind the usual 256-byte header whose batch count is the merged
// number of observations per variable), the summary of every reward
// variable (SummaryTable: the format gpusim-report prints too, with the
// study's metadata), and the facts of every simulator; and it decides the
// exit status. With --csv the standard output holds the table alone; the
// line saying why the study stopped and the simulators' table go to the
// error stream. Beside the merged file it writes its metadata, <file>.meta
// (ResultsMetadata.h). With --results-folder it commits the folder
// instead (ResultsFolderWriter.h): every simulator's file with its own
// header, the metadata, and last the index holding the merged header.
//
// A study that could not write a block its figures count (a full disk)
// keeps no results: the file or folder is removed, and the status is 1.
//
// Exit status: 0 the study reached its target (the precision, else the
// replications, else the time limit) or was stopped by SIGINT/SIGTERM; 1 it
// failed (every simulator lost, or the results could not be written); 3 it
// ended short of its target (a lost simulator, the time limit, an
// unreachable relative width).
//
// Not thread-safe; holds no resources beyond the call.
#ifndef MANAGER_STUDY_REPORT_H
#define MANAGER_STUDY_REPORT_H

#include <ostream>
#include <string>
#include <vector>

#include "manager/ManagerOptions.h"
#include "manager/Precision.h"
#include "manager/ResultsFile.h"
#include "manager/ResultsFolderWriter.h"
#include "manager/Study.h"
#include "output/BinFileHeader.h"
#include "results/ResultsMetadata.h"
#include "results/SummaryTable.h"

class StudyReport {
 public:
  // file: the opened --binary file, or nullptr without one; used by Collect.
  // metadata: what the simulators reported (RunMetadata.h), written with
  // the simulators' seeds beside the --binary file; none when it is empty.
  // folder: the opened --results-folder, or nullptr without one.
  StudyReport(const ManagerOptions& options, Study& study, ResultsFile* file, const ResultsMetadata& metadata,
              ResultsFolderWriter* folder = nullptr);

  // Takes the study's figures and writes --binary, if given, committing the
  // file. False with a message on the error stream when it cannot be written.
  bool Collect();
  void Print(std::ostream& out, std::ostream& err) const;
  int ExitStatus() const;
  // The summary as printed, for a sweep's table of points: its source
  // (the --binary file and the study's metadata) also says why it stopped.
  SummaryTable Summary() const;

 private:
  struct Row {
    int pv;
    std::string name;
    Moments moments;
    Verdict verdict;  // at the study's confidence level
  };

  bool WriteBinaryFile() const;
  bool WriteResultsFolder() const;
  // The header of a results file of this study with the given seed and
  // batch count.
  BinFileHeader Header(unsigned seed, long batches) const;
  // Where the results go: the --binary file or the --results-folder.
  const std::string& ResultsPath() const;
  std::vector<Row> Rows() const;
  bool TargetReached(const std::vector<Row>& rows) const;
  // "Study: K simulators, T s; why it stopped."
  std::string StopLine() const;
  ResultsMetadata Metadata() const;
  // The summary in the format gpusim-report prints too.
  // sourceMembers: extra JSON members of its source, or empty.
  SummaryTable Table(const std::vector<Row>& rows, const std::string& sourceMembers = "") const;
  void PrintText(std::ostream& out, const std::vector<Row>& rows) const;
  void PrintSimulators(std::ostream& out) const;
  void PrintCsv(std::ostream& out, const std::vector<Row>& rows) const;
  void PrintJson(std::ostream& out, const std::vector<Row>& rows) const;

  const ManagerOptions& options_;
  Study& study_;  // its spools are copied (and released) by Collect
  ResultsFile* file_;
  ResultsFolderWriter* folder_;
  const ResultsMetadata& metadata_;
  std::vector<Moments> merged_;
  bool written_ = true;
  double managerCpu_ = 0.0;
  double simulatorsCpu_ = 0.0;
};

#endif
