// Study runs one study: it starts its simulators through a Launcher, reads
// each one's REGISTER line, connects, checks the greeting, then collects the
// CPU-time messages and observation blocks of all of them (one poll; the
// reading on one or more threads, below) until a stopping rule, a signal or
// the loss of every simulator ends it. It then asks every simulator still
// running to stop (command 2), keeps the blocks that still arrive (up to
// kReportsAfterQuit reports' worth per simulator), and waits, within bounds,
// for every process to end; one that does not is terminated, then killed.
// The precision is judged after every block (once per wake-up on several
// ingest threads), so that a study stops at the block that met its target.
//
// Every wait is bounded: a connection whose process has ended gets a few
// seconds to deliver what it still holds, and once the study is stopping
// every connection has a deadline, whether or not its process is still
// known (a child of a simulator may hold it open): what the manager cannot
// kill it disconnects. After command 2 a simulator may still deliver at
// most kReportsAfterQuit reports; the rest is not read.
//
// In a steady-state study (settings.steadyState) each simulator's first
// settings.warmupBatches observations of every variable are dropped, from
// the figures and from the spool alike, and the kept batch means of each
// variable are followed in arrival order for their lag-1 autocorrelation.
//
// Every complete block a simulator sends is folded into that simulator's
// moments per variable, and, when the blocks are to be written, kept in
// arrival order in a spool of that simulator's own (SimulatorSpool.h: an
// unnamed file beside the results file; with a results folder, straight
// into that simulator's own file, settings.blockFiles; in a study of a
// fixed length, straight into its own region of the merged file), so that memory
// stays constant however long the study runs and the
// merged order (by simulator, then by arrival) does not depend on how the
// simulators' reports interleave in time. The study's figures combine the
// simulators' moments in simulator order, so they too are the same on every
// run with the same options. A block cut short by a lost connection is not
// kept.
//
// Faults never end the process: a simulator that fails to start, dies, or
// sends a malformed or oversized message is dropped with a message on the
// error stream and the study goes on with the rest.
//
// Ownership: the Study owns its simulators' handles, sockets and spools, and
// releases them in its destructor (no process is left running). It uses the
// launcher and the stop signals only during Run.
//
// The class spans several sources along its seams: Study.cpp (the loop,
// progress and results), StudyStart.cpp (starting and connecting),
// StudyReading.cpp (the connection and its messages), StudyStopping.cpp
// (the stopping rules) and StudyEnding.cpp (closing connections, ending
// processes); StudySimulator.h holds what they share.
//
// The connections may be read on several threads (settings.ingestThreads):
// at each wake-up the ready connections are divided among them by
// simulator (simulator k always on thread k mod threads), each thread
// folding its simulators' blocks into their own moments and spools; the
// study's thread then acts on what they read, in simulator order, and
// judges the stopping rules once for the wake-up (one thread judges after
// every block). Everything else (starting, output, deadlines, signals,
// ending) stays on the study's thread. A study whose end does not hang on
// timing (-N replications) gives the same figures and merged file whatever
// the number of threads; one stopped by precision may stop a read later on
// several threads (at most one read per simulator), as its end already
// depends on how the simulators' reports interleave.
//
// Not thread-safe: Run and every other call from one thread.
#ifndef MANAGER_STUDY_H
#define MANAGER_STUDY_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "manager/BatchSeries.h"
#include "manager/Launcher.h"
#include "manager/Precision.h"
#include "manager/ManagerSignals.h"
#include "manager/ReaderPool.h"
#include "manager/StudySettings.h"
#include "protocol/SimulatorStream.h"

// The seed of simulator index (0-based) in a study with base seed S:
// 1 + (splitmix64((S << 32) + index) mod 2147483646), so in [1, 2^31 - 2];
// a seed equal to an earlier simulator's is moved to the next free value.
std::vector<unsigned> SimulatorSeeds(unsigned baseSeed, int simulators);

struct SimulatorFacts {
  int index = 0;
  unsigned seed = 0;
  long share = 0;            // replications asked for with -N, 0: no limit
  std::string where;         // the launcher's description of the process
  long observations = 0;     // replications delivered: the most observations of any variable
  long blocks = 0;
  double cpuSeconds = 0.0;   // from its last CPU-time message
  SimulatorEnding ending;
  std::string fault;         // why it was lost; empty when it ran to its end
  std::string note;          // what else the summary says of it (a shortfall)
};

// Reports a simulator may hold back and send at once (its output throttle).
constexpr long kHeldBackReports = 25;
// After command 2 a simulator's blocks are merged up to this many reports'
// worth of observations: the burst that may be on its way when the command
// arrives (a simulator reads commands between bursts) and one it may hold.
constexpr long kReportsAfterQuit = 2 * kHeldBackReports;

// The ingest threads chosen when none are asked for: one per
// kSimulatorsPerIngestThread simulators (what one core reads at the GPU
// model's pace, with room to spare), at most a quarter of the cores (the
// rest run simulators, when they are local), at least one.
constexpr int kSimulatorsPerIngestThread = 64;
int IngestThreadsFor(int simulators, unsigned cores);

class Study {
 public:
  enum class StopReason { kNone, kReplications, kPrecision, kUnreachable, kTime, kSignal, kAllLost, kFailed };

  // mergedFile: the --binary file when it is a regular file (written from
  // its start, not owned), or -1. The first simulator's blocks then go
  // straight into it, after room for its header, rather than to a spool;
  // in a study of a fixed length (-N, no precision target, no time limit)
  // whose variables are known and whose result fits the disk, every
  // simulator's blocks go straight to a region of it, foretold from its
  // share (MergedRegions.h).
  explicit Study(const StudySettings& settings, int mergedFile = -1);
  ~Study();
  Study(const Study&) = delete;
  Study& operator=(const Study&) = delete;

  // Runs the study to its end. A first SIGINT or SIGTERM (through signals)
  // stops it as a stopping rule would; a second one kills the simulators.
  void Run(Launcher& launcher, ManagerSignals& signals);

  StopReason Reason() const { return reason_; }
  // A sentence on why the study stopped.
  const std::string& StopMessage() const { return stopMessage_; }
  const std::vector<SimulatorFacts>& Facts() const;
  double WallSeconds() const { return wallSeconds_; }

  // The moments of every variable over all simulators, by variable number.
  std::vector<Moments> Combined() const;
  // Steady state: the lag-1 autocorrelation of every variable's kept batch
  // means, pooled over the simulators (BatchSeries.h), by variable number.
  std::vector<Lag1Autocorrelation> Lag1Autocorrelations() const;
  // Writes every kept block to the descriptor, ordered by simulator, then by
  // arrival, releasing each spool as it is copied (call it once); returns
  // the number of bytes written, or -1 with error set. Unless quiet, says
  // how far it is on the error stream at the progress line's interval.
  // Written in regions, the blocks are already in place: only what the
  // foretelling missed is moved, and the descriptor is left at their end.
  long long CopyBlocks(int descriptor, std::string& error);
  // A results folder's files (settings.blockFiles): writes what each
  // simulator's buffer still holds and returns the bytes of blocks in each
  // file, by simulator; false with error set.
  bool FinishBlockFiles(std::vector<long long>& bytes, std::string& error);
  // Whether a block the figures count could not be written (a full disk):
  // the results are then not kept, so that no file disagrees with them.
  bool KeptBlocksLost() const { return keptBlocksLost_; }

 private:
  struct Simulator;
  class Handler;
  // How a read of one connection ended.
  struct ReadResult {
    enum Kind { kMore, kClosed, kFault, kPastBound };
    Kind kind = kMore;
    std::string fault;
  };

  // Simulator k's share of -N (0: no limit).
  long ShareOf(int k) const;
  // Each simulator's room in the merged file, in simulator order, when the
  // study writes the simulators' blocks straight to foretold regions of it
  // (the constructor's mergedFile says when); else empty.
  std::vector<long long> ForetoldRooms() const;
  long long SettleRegions(int descriptor, std::string& error);
  void StartAll(Launcher& launcher);
  void Loop(ManagerSignals& signals);
  void KillAll();
  bool Finished() const;
  void ReadOutput(Simulator& s);
  void HandleOutputLine(Simulator& s, const std::string& line);
  void Connect(Simulator& s, int port);
  void FinishConnect(Simulator& s);
  void ReadSocket(Simulator& s);
  // Reads what the connection holds (a bounded number of reads) into
  // buffer and folds it into the simulator's own state; touches nothing
  // else, so that distinct simulators can be read on distinct threads.
  // Given judge (the study itself, on its own thread), every block goes to
  // the stopping rules as it comes.
  ReadResult Ingest(Simulator& s, std::vector<unsigned char>& buffer, Study* judge) const;
  // On the study's thread, after Ingest: acts on how the read ended and on
  // what the simulator's blocks mean for the whole study.
  void Settle(Simulator& s, const ReadResult& result);
  void TakeFresh(Simulator& s);
  // Reads the given running connections on the ingest threads, each
  // simulator always on the same one, then settles them in order.
  // Sleeps until the shortest time between wake-ups, for this many watched
  // descriptors, has passed since the last.
  void HoldBackWakeUp(std::size_t descriptors) const;
  void ReadInParallel(const std::vector<Simulator*>& ready);
  void CloseSocket(Simulator& s);
  void ReleaseSpoolBuffer(Simulator& s);
  void Drop(Simulator& s, const std::string& fault);
  void Withdraw(Simulator& s);
  void Disconnect(Simulator& s, const std::string& why);
  void OnObservations();
  void JudgePrecision();
  std::string ShortfallMessage();
  void CheckProcesses();
  void CheckDeadlines();
  // Whether a simulator whose connection and output have closed still has a
  // process to be reaped: then the processes are looked at on every wake-up.
  bool AwaitingAnEnd() const;
  int PollTimeoutMs() const;
  void DropEndedBeforeConnected(Simulator& s);
  void CheckStoppingRules();
  void BeginStop(StopReason reason, const std::string& message);
  void SendQuit(Simulator& s);
  void PrintProgress(bool final);
  void PrintCopyProgress(long long copied, long long total, bool final);
  long MinimumObservations() const;
  double Elapsed() const;

  StudySettings settings_;
  int mergedFile_;
  bool regions_ = false;  // the blocks go to foretold regions (ForetoldRooms)
  long receiveBufferBytes_ = 0;  // asked for on each connection (ReceiveBuffer.h)
  std::vector<std::unique_ptr<Simulator>> simulators_;
  mutable std::vector<SimulatorFacts> facts_;
  QuantileCache quantiles_{QuantileCache::Rounding::kConservative};
  std::vector<Moments> running_;  // of every simulator, in arrival order: for the stopping rules
  long totalBlocks_ = 0;
  bool keptBlocksLost_ = false;
  StopReason reason_ = StopReason::kNone;
  std::string stopMessage_;
  bool stopping_ = false;
  double stopStarted_ = 0.0;
  double startTime_ = 0.0;
  double wallSeconds_ = 0.0;
  double lastProgress_ = 0.0;
  // When the loop last began to wait for its descriptors: a connection is
  // judged late only if it had not delivered by then, so a manager slowed
  // by hundreds of busy connections never blames one it has not yet read.
  double lastPoll_ = 0.0;
  double lastProcessCheck_ = 0.0;
  bool progressOnTerminal_ = false;
  std::vector<unsigned char> readBuffer_;
  // Several ingest threads: the pool (made when the loop starts) and a
  // read buffer for each of its threads but the study's own.
  std::unique_ptr<ReaderPool> readers_;
  std::vector<std::vector<unsigned char>> readerBuffers_;
  std::vector<ReadResult> readResults_;
};

#endif
