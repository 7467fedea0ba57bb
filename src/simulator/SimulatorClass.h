// SimulatorClass configures and runs one whole simulation. The constructor
// turns the command line into a built run (outputs opened, traces attached,
// study and reward model built, affects relation computed, event list created,
// generator chosen and seeded) or ends the process with status 1; Run performs
// the simulation once and finishes the outputs; the destructor releases
// everything and closes the results files.
//
// Ownership: the simulator owns the event list, the packets and their queues,
// the sockets, the trace container and trace files, the group and action
// lists, the schedule entries and the study (which owns the reward model).
// The generator belongs to the process-wide distributions object.
//
// The members are the run's shared state: the step, the loops, the output
// side and the protocol are member functions defined in their own source
// files and work on these fields directly.
//
// Not thread-safe: everything runs on the main thread.
#ifndef SIMULATOR_CLASS_H
#define SIMULATOR_CLASS_H

#include <chrono>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include <vector>

#include "output/DataPacket.h"
#include "output/PacketQueue.h"
#include "random/GeneratorName.h"
#include "random/RandomNumberGenerator.h"
#include "results/ResultsMetadata.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/Heap.h"
#include "simulator/ProgressMeter.h"
#include "simulator/ScheduleEntry.h"
#include "simulator/WatchList.h"
#include "trace/TraceFile.h"
#include "trace/TraceFileContainer.h"

class BaseStudyClass;
class PVModel;
class PerformanceVariableNode;
class BaseActionClass;
class BaseGroupClass;
class QuelixSocket;
template <class C>
class List;

// Process-wide debug level; above 3 the terminating run prints its initial
// state. No option changes it.
extern int GlobalDebugLevel;

class SimulatorClass {
 public:
  // ---------------------------------------------------------------------
  // Lifecycle (SimulatorClass.cpp)
  // ---------------------------------------------------------------------

  // Not usable: initialises the empty members and ends the process with
  // status 1.
  SimulatorClass();
  // Builds the run described by the command line. Returns only when the
  // simulator is ready; on any start-up error ends the process with status 1.
  SimulatorClass(int argc, char** argv);
  // Holds only the configuration defaults, for parsing command lines without
  // building a run. Echoes go to out and errors and usage to err.
  SimulatorClass(std::ostream& out, std::ostream& err);
  SimulatorClass(const SimulatorClass&) = delete;
  SimulatorClass& operator=(const SimulatorClass&) = delete;
  ~SimulatorClass();

  // Runs the simulation of the selected type once, then finishes the outputs
  // and prints the number of firings and the processor time.
  void Run();

  // ---------------------------------------------------------------------
  // Command line (SimulatorClassOptions.cpp)
  // ---------------------------------------------------------------------

  // Fills the configuration from the command line, echoing each accepted
  // setting. Returns 0 on success, 1 after reporting the first error.
  short ParseCommandLineOptions(int argc, char** argv);
  // Writes the option summary to the error stream.
  void PrintUsage();

  // Longest accepted command-line argument.
  static constexpr int kMaxArgumentLength = 128;

  // ---------------------------------------------------------------------
  // Simulation step and enabled-action bookkeeping (SimulatorClassStep.cpp)
  //
  // After each firing only the groups in the fired action's AffectedActions
  // list and those on the ReactivationList are re-examined: the per-step
  // work never depends on the model's size, and nothing is allocated.
  // ---------------------------------------------------------------------

  // The affects relation: each action's AffectedActions list receives its
  // own group and the group of every action enabled by a variable it
  // changes. GenerateConnectivityList suppresses duplicates with a stamp
  // array (nodes newest first); the Old builder with a search of the list
  // (discovery order) or, given a matrix, with a square byte matrix (newest
  // first). All return 0.
  short GenerateConnectivityList();
  short GenerateConnectivityListOld(bool useMatrix = false);
  // Pushes a node for group onto the front of action's list, unchecked.
  short AddActionAffects(BaseActionClass* group, BaseActionClass* action);
  // Appends a node for group to action's list unless it is there already.
  short AddActionAffectsOld(BaseActionClass* group, BaseActionClass* action);
  void ClearActionAffectsList(BaseActionClass* action);
  void DestructConnectivityList();
  void PrintConnectivityList(std::ostream* out);
  // Builds the relation as SIMTEST selects: unset or 2 the stamp builder, 0
  // the Old builder searching lists, 1 the Old builder with the matrix, any
  // other value none. Prints the builder's name first; returns its result.
  short BuildConnectivityListFor(const char* simtest);
  // For every action whose firing can go more than one way
  // (FiringVariants), the part of its affected groups each way re-examines
  // (VariantGroups): its own group, every group that can change without a
  // write to its enabling variables (an enabling test not declared pure, or
  // a timed group, whose reactivation reads anything), and every group one
  // of the variables of that way enables. A group left out keeps its
  // enabling answer, so the step finds nothing to do for it: the lists keep
  // AffectedGroups' order, and the events, draws and output are those of the
  // whole list.
  void ListFiringVariants();

  // Schedules g at Now + its sampled delay, watching it for reactivation
  // when its ReactivationPredicate says so.
  void ScheduleGroup(BaseActionClass* g);
  int GenerateInitialEnabledList();
  short GenerateCompleteEventList();
  short GenerateCompleteEventListSS();
  // Executes NextEvent and looks up the next one; false
  // when no event is left (NextEvent is then none). With a trace on, the
  // firing is traced (FireTraced); without one the step does no trace work.
  bool SimStep();
  // Steps while Now is at most horizon and an event is left: the firings
  // SimStep would make, called one by one, without a call per firing.
  void StepUntil(double horizon);
  bool SimStepSS();
  void CheckReactivationList();
  void RemoveAffectedActions();
  // Empties the reactivation list, clearing every listed group's flag.
  void ClearReactivationList();
  // REQUIRES: message contains "INVALID_DIST_PARAMS:". Prints the fatal
  // error naming the action and ends the process with status 1.
  [[noreturn]] void HandleInvalidDistParams(BaseActionClass* action, const std::string& message);

  // Test seam: makes this simulator run model (not owned; it must outlive
  // the simulator) as the command-line constructor does with the study's
  // reward model, from the selection of the variables of the configured
  // simulation type through the listing of the actions. The affects relation
  // is built as SIMTEST selects. Use with the configuration-only
  // constructor, after setting the configuration fields.
  void InstallRewardModel(PVModel* model);

  // ---------------------------------------------------------------------
  // Simulation loops (SimulatorClassLoops.cpp)
  //
  // Both loops end at their batch limit, when the communication side stops
  // the run, or when the process is asked to stop (SIGINT, SIGTERM): then
  // the current replication or step finishes and the open report is handed
  // over as at the batch limit, so nothing observed is lost.
  // ---------------------------------------------------------------------

  // Independent replications from the initial state up to the horizon.
  void TerminatingSimulation();
  // One trajectory cut into batches per steady-state variable.
  void SteadyStateSimulation();
  // Closes every batch that has ended by Now.
  void CheckCompletedBatches(PerformanceVariableNode** pvs, int* valueCounts, int* squareCounts);
  // Sets the open report's counts: k for every observed variable, 0 for
  // the others.
  void SetReplicationCounts(int k);
  // Ends a terminating run whose model raised a ModelFault, handing over the
  // k replications recorded in the open report.
  void HandOverAfterModelFault(int k);
  // Hands over the current steady-state report unless the run is stopped.
  void SendSSResults(int* valueCounts, int* squareCounts);
  // Whether the process has been asked to stop (SIGINT, SIGTERM) since the
  // outermost StopSignals was made: main's, or else the loop's own.
  static bool StopRequested();
  // Makes the running loop end as if asked to stop by a signal.
  static void RequestStop();
  // Whether the loops show their progress line: the error stream is a
  // terminal, GPUSIM_PROGRESS does not turn it off, and no trace is being
  // written to the same terminal.
  bool ProgressWanted() const;

  // ---------------------------------------------------------------------
  // Observation packets and the output step (output/SimulatorClassOutput.cpp)
  //
  // The loops fill ValuePacket and SquarePacket and hand them over with
  // CheckReportSize; the output step writes every queued report's values to
  // the open sinks. A results file that cannot be written ends the run with
  // ExitStatus 1.
  // ---------------------------------------------------------------------

  // A packet of NumPVs rows of ReportSize observations, stamped with
  // ClientId and Experiment.
  std::unique_ptr<DataPacket> CreateDataPacket(int numPVs);
  // The hand-over of one report; true when an output step ran, false when
  // the throttle held the report back.
  bool CheckReportSize(double cpuSeconds);
  // Writes every queued report to the open sinks. Returns 0.
  int OutputThreadFunc();
  // At the end of a run: writes the reports the throttle still holds, so a
  // run stopped by the manager, a lost connection or a failed hand-over keeps
  // every observation it made (to the files once the manager is gone).
  void HandOverHeldReports();
  // Checks the streams written as a side line: the trace files and standard
  // output. One that can no longer be written (a full disk, a closed pipe)
  // is reported once, stops the run and sets ExitStatus to 1. Returns
  // whether all are still good.
  bool CheckStreams();
  // Opens the ASCII results file and writes its two header lines, which are
  // on disk when it returns. A file that cannot be opened or take its header
  // is a start-up error: the message names the file and the reason, and the
  // process ends with status 1.
  std::unique_ptr<std::ofstream> CreateAsciiFile(const std::string& name);
  // Writes the trailer with the batch count and closes the file.
  void CloseAsciiFile(std::ofstream& stream);
  // One data line per valid observation, PV-major, then a flush.
  void WriteAsciiLines(const DataPacket& packet);
  // The value as "%.10lf" with trailing zeros removed, keeping the digit
  // after the decimal point.
  static std::string AsciiValueText(double value);
  // Reports a results file that can no longer be written: prints the error,
  // closes the file, stops the run and sets ExitStatus to 1.
  // Writes the trailer and closes the ASCII file if it is open.
  void CloseAsciiFileChecked();
  void ReportResultsFileFailure(std::unique_ptr<std::ofstream>& file, const std::string& kind,
                                const std::string& name);

  // ---------------------------------------------------------------------
  // Simulation-manager protocol (output/SimulatorClassProtocol.cpp)
  //
  // Everything on the connection is big-endian. Each field or run of values
  // is one piece, handed to the socket whole; the binary file receives every
  // piece whatever becomes of the connection, so it holds whole blocks only.
  //
  // No wait on the manager is unbounded: the rest of command 3 must arrive
  // within FileCommandWaitMs, and each message (a reply, a CPU time, an
  // observation block) must be taken whole within SendWaitMs; a stop signal
  // ends either wait. A connection
  // that ends or fails stops the run with a message; when the manager is at
  // fault (it vanished, reset, went silent, left a command unfinished or
  // named a file command 3 must not write) ExitStatus becomes 1.
  // ---------------------------------------------------------------------

  // Listens on Port (or the next port that binds), announces it with the
  // "REGISTER:  Port: [" line, and waits in polls of AcceptPollMs for one
  // connection, greeting it. timeoutMs -1 waits without limit. Returns the
  // connection (owned by the caller), or nullptr when the wait gave up or
  // RunState left Running. A listener that could not be set up is reported
  // and leaves ListenSocket null.
  QuelixSocket* WaitForSimMgrConnection(int timeoutMs);
  // Run's wait for the manager (-w): SimMgrSocket becomes the connection.
  // When none is made within SimMgrWaitMs, the run is stopped before it
  // starts and ends with ExitStatus 1, since nothing will be simulated.
  void ConnectToSimMgr();
  int SimMgrWaitMs = 60000;
  // Polls the connection for one command and carries it out. Command 3 hands
  // the run over to a binary file and closes and deletes the connection
  // (SimMgrSocket becomes nullptr); command 2 and a closed or failed
  // connection stop the run, after which nothing more is sent.
  void ListenToSimMgr(QuelixSocket* socket);
  int FileCommandWaitMs = 5000;
  int SendWaitMs = 30000;
  // The connection's kernel send buffer in bytes; 0 leaves it to the system.
  int SendBufferBytes = 0;
  // Test settings from the environment: a positive waitMs replaces both
  // limits (GPUSIM_PEER_WAIT_MS), a positive sendBufferBytes sets
  // SendBufferBytes (GPUSIM_SEND_BUFFER_BYTES), so that a silent manager is
  // noticed without megabytes of buffering first. Null or other values
  // change nothing.
  void ApplyPeerTestSettings(const char* waitMs, const char* sendBufferBytes);
  // Sends count doubles as one piece unless an earlier send failed, and
  // writes the same bytes to stream. Returns count * 8, or -1 when the piece
  // did not reach the socket.
  int Output(QuelixSocket* socket, std::ostream* stream, const double* values, int count);
  // Sends the CPU-time message that precedes every observation block.
  void OutputCPUTime(QuelixSocket* socket, double cpuSeconds);
  // The manager and binary-file sinks of the output step: sends one report's
  // observation block to SimMgrSocket and appends it to BinaryFile
  // (whichever are set), then flushes the file. Row i holds counts[i] values
  // starting at values[i * rowStride]; rows with count 0 are left out. For a
  // packet: (Counts.data(), Values.data(), NumPVs, MaxObservations).
  void WriteObservationBlock(const int32_t* counts, const double* values, int numPVs, int rowStride);

  // Status main returns: 0 when the run did what it was asked (its limit, the
  // manager's command 2 or completed command 3, the user's stop signal);
  // 1 after a failure: a results or trace file or standard output that
  // could not be written, a failed hand-over, a manager that vanished.
  int ExitStatus = 0;

  // ---------------------------------------------------------------------
  // Results files (output/SimulatorClassResultsFiles.cpp)
  // ---------------------------------------------------------------------

  // The 256-byte header of the binary results file for the current
  // experiment, seed, generator and batch count.
  std::string CreateBinFileHeader(int fileVersion);
  // Opens name for binary output, discarding earlier content, and writes the
  // header. The stream is returned even when the open failed (it is then in
  // its failed state); callers check is_open().
  std::unique_ptr<std::ofstream> CreateBinFile(const std::string& name);
  // CreateBinFile for a name that came over the connection, which must not
  // destroy anything: it follows no symbolic link, writes only a regular
  // file, never one of this run's own outputs, and replaces an existing file
  // only when it is empty or a binary results file of this simulator. Returns
  // nullptr with the reason in refusal otherwise.
  std::unique_ptr<std::ofstream> CreateManagerBinFile(const std::string& name, std::string* refusal);
  // Ends the process with status 1, before any output is opened, when two
  // outputs (results files, trace files) name the same regular file.
  void RefuseSharedOutputs();
  // Rewrites the header at offset 0 with the current batch count and
  // returns the write position to the end of the file.
  void UpdateBinFileHeader(std::ofstream& stream);
  // UpdateBinFileHeader, then close. A failure to write BinaryFile is
  // reported, stops the run with ExitStatus 1 and releases BinaryFile.
  void CloseBinFile(std::ofstream& stream);

  // ---------------------------------------------------------------------
  // Metadata (output/SimulatorClassMetadata.cpp)
  // ---------------------------------------------------------------------

  // What the results files do not say about this run: the model, its
  // experiment and globals, the options that shape the observations, and
  // every reward variable. REQUIRES: the study is built (BuildStudyAndRewardModel)
  // and the variables not yet selected (a deselected one loses its window).
  ResultsMetadata DescribeRun() const;
  // Writes RunMetadata beside the results file resultsPath, naming it. A
  // run without metadata (no study), a device, or a file that cannot be
  // written gets no companion: the results
  // are still whole, only their labels are missing (a warning says so).
  void WriteCompanion(const std::string& resultsPath) const;

  // =====================================================================
  // Configuration, set by the command line. An empty string means "not
  // given".
  // =====================================================================
  std::string OverrideString;        // -O
  std::string ModelFile;             // --model: simulate this file instead of the built-in model
  bool PrintMetadataOnly = false;    // --metadata: print DescribeRun and end
  std::vector<bool> Observed;        // per variable: of the run's simulation type (empty: all)
  std::string AsciiFileName;         // -a
  std::string BinaryFileName;        // -b
  int ClientId = 0;                  // -c
  unsigned int Experiment = 0;       // -e; 0 is the first experiment
  std::string TraceFileName;         // -f; base name of the trace files
  int RequestedTraceLevel = 1;       // -l
  bool QuelixTrace = false;          // -m; plain-text trace
  bool XMLTrace = false;             // -x
  int ReportSize = 1000;             // -n; observations per report
  std::int64_t MaxBatches = 0;       // -N; 0 or less means no limit
  unsigned short Port = 10000;       // -p
  std::string ListenAddress;         // -i; numeric IPv4, empty: every interface
  int RNGType = 0;                   // -r; a RandomNumberGeneratorType
  unsigned int Seed = 31415;         // -s; 0 means 31415
  int IsTerminating = 1;             // -t; 0 is steady state
  bool WaitForConnection = false;    // -w

  // =====================================================================
  // Model and simulation state
  // =====================================================================
  BaseStudyClass* Study = nullptr;                 // owned
  PVModel* RewardModel = nullptr;                  // owned by the study
  ResultsMetadata RunMetadata;                     // DescribeRun, taken once the study is built
  PerformanceVariableNode** PVs = nullptr;         // the reward model's array
  int NumPVs = 0;

  List<BaseGroupClass>* GroupList = nullptr;       // owned
  List<BaseActionClass>* ActionList = nullptr;     // owned
  BaseGroupClass** Groups = nullptr;               // GroupList's array
  BaseActionClass** ActionArray = nullptr;         // ActionList's array
  int NumGroups = 0;
  // Whether any group is instantaneous: only then can a step hand off.
  bool AnyInstantaneousGroup = false;
  int NumActions = 0;
  // ---- Event list and step (engine) ----
  // The reactivation list's nodes, one per group, in Groups order: apart
  // from the entries, which every firing reads, as few groups ever use one.
  std::vector<WatchNode> WatchNodes;
  WatchNode* WatchNodeOf(const ScheduleEntry* entry) {
    return &WatchNodes[static_cast<std::size_t>(entry->Watch)];
  }
  std::unique_ptr<EventList> Events;
  // Groups enabled in the initial state; shrunk to fit when sparse.
  std::vector<BaseGroupClass*> EnabledGroups;
  int NumEnabledGroups = 0;
  WatchList ReactivationList;                      // nodes live in WatchNodes
  std::unique_ptr<Event> ScratchEvent;             // during a loop only
  double Now = 0.0;
  Event* NextEvent = nullptr;
  BaseActionClass* CurrentGroup = nullptr;
  BaseActionClass* LastFired = nullptr;
  std::unique_ptr<BaseActionClass> PlaceholderAction;  // during a loop only
  std::unique_ptr<Heap<double>> BatchEnds;         // steady state only
  std::unique_ptr<Heap<int>> BatchCounts;          // steady state only
  // The reward model installed through InstallRewardModel is not owned.
  bool OwnsRewardModel = true;

  // Firings and batches pass 2^31 in long runs.
  std::int64_t ActionsFired = 0;
  // clock() reading taken when the simulation loop starts; until then, the
  // reading taken at construction.
  double StartClock = 0.0;
  double CPUTime = 0.0;      // processor seconds, set at each report
  std::int64_t Batches = 0;  // replications or batches completed
  // Batches that went to the manager, and how many of them preceded the
  // binary file the manager named: that file's header counts only its own.
  std::int64_t ManagerBatches = 0;
  std::int64_t BinaryFileBatchBase = 0;
  int RunState = 0;          // 0 running, 1 finishing, 2 stopped
  ProgressMeter Progress;    // silent unless ProgressWanted at loop start

  // =====================================================================
  // Outputs and communication
  // =====================================================================
  std::unique_ptr<std::ofstream> AsciiFile;
  // The lines of one report, composed before their one write; kept from
  // report to report so that it is sized once.
  std::string AsciiText;
  std::unique_ptr<std::ofstream> BinaryFile;
  QuelixSocket* SimMgrSocket = nullptr;
  // A connection that receives nothing more (command 2, a failure), closed
  // when the simulator ends.
  QuelixSocket* RetiredSimMgrSocket = nullptr;
  QuelixSocket* ListenSocket = nullptr;
  static constexpr int PacketQueueCapacity = 50;
  // ---- Packets and traces (engine) ----
  std::unique_ptr<PacketQueue> FreePackets{new PacketQueue(PacketQueueCapacity)};
  std::unique_ptr<PacketQueue> FullPackets{new PacketQueue(PacketQueueCapacity)};
  std::unique_ptr<DataPacket> ValuePacket;
  std::unique_ptr<DataPacket> SquarePacket;
  int OutputCount = 1;
  int AcceptPollMs = 2000;
  int CommandPollMs = 0;
  std::unique_ptr<TraceFileContainer> Trace{new TraceFileContainer()};
  // The trace files are owned here and outlive the container's use of them.
  std::unique_ptr<TraceFile> QuelixTraceFile;
  std::unique_ptr<TraceFile> XMLTraceFile;
  // True once a trace file is attached: the step and the loops raise the
  // firing and initial-state events only then.
  bool TraceEnabled = false;

 private:
  // Constructor steps, in the order they run.
  void InstallDistributions();
  void ParseOrExit(int argc, char** argv);
  void OpenResultsFiles();
  // Attaches the requested trace files to Trace (SimulatorClassTrace.cpp).
  void CreateTraces();
  // Fires CurrentGroup through the reward model between the trace events of
  // the firing; returns the action that fired (SimulatorClassTrace.cpp).
  BaseActionClass* FireTraced();
  // The body of SimStep, shared with StepUntil, and the second walk of the
  // affected groups: inline in SimulatorClassStep.cpp, callable there only.
  // events is *Events, which the caller keeps in hand across the firings:
  // read through the member, it is loaded again after every call a firing
  // makes.
  //
  // With HandOff, a firing that leaves the list empty and finds exactly one
  // instantaneous group to schedule hands that group straight to the next
  // step (CurrentGroup, with NextEvent none) instead of listing its event
  // and taking it back out: alone in the list, it would be the earliest and
  // tie with nothing, so the order and the draws are the same. Only a run of
  // steps that nothing inspects between them may hand off (StepUntil without
  // a trace): the list does not show the handed group. InsertAffectedActions
  // returns the handed group, or none.
  template <bool HandOff>
  bool Step(EventList& events);
  template <bool HandOff>
  BaseActionClass* InsertAffectedActions(EventList& events);
  // StepUntil's loop, one way or the other.
  template <bool HandOff>
  void StepEachUntil(double horizon);
  void BuildStudyAndRewardModel();
  BaseStudyClass* LoadModelFileOrExit();
  void RefuseUnusableTerminatingRun(const std::vector<int>& terminating);
  void AttachRewardModelToTraces();
  void SelectPerformanceVariables();
  void RefuseUnusableSteadyStateRun(const std::vector<int>& steadyState);
  void ListGroups();
  void BuildAffectsRelation();
  void CreateEventList();
  void InstallGenerator();
  void ListActions();
  void SeedGenerator();

  // Protocol helpers (output/SimulatorClassProtocol.cpp).
  bool BindListenSocket();
  void HandleFileCommand(QuelixSocket* socket);
  std::string ReadFileCommandText(QuelixSocket* socket, char* text);
  void OpenManagerResultsFile(const std::string& name, int batchLimit);
  // mustArrive false: a reply that cannot be delivered is not a failure.
  void SendReply(QuelixSocket* socket, unsigned char marker, unsigned char code, bool mustArrive = true);
  int SendPiece(QuelixSocket* socket, std::ostream* file, const unsigned char* bytes, int length);
  std::string SendWithinLimit(QuelixSocket* socket, const unsigned char* bytes, int length);
  // Stops the run and sends nothing more to the manager; why (unless null)
  // is reported once; managerFault sets ExitStatus to 1. socket, when it is
  // SimMgrSocket, becomes RetiredSimMgrSocket.
  void EndSimMgrConnection(QuelixSocket* socket, const char* why, bool managerFault);
  bool SimMgrSendFailed = false;  // nothing more goes to the manager
  std::chrono::steady_clock::time_point MessageStart;  // of the message being sent
  bool StreamFailureReported = false;

  // Processor seconds since a clock() reading.
  static double SecondsSince(double start);

  // Where parsing echoes settings and reports errors and usage.
  std::ostream* Out = &std::cout;
  std::ostream* Err = &std::cerr;
};

#endif
