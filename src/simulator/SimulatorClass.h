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

#include <cstdint>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "random/RandomNumberGenerator.h"

class BaseStudyClass;
class PVModel;
class PerformanceVariableNode;
class BaseActionClass;
class BaseGroupClass;
class Event;
class EventList;
struct ScheduleEntry;
class DataPacket;
class PacketQueue;
class QuelixSocket;
class TraceFile;
class TraceFileContainer;
template <class C>
class List;
template <class T>
class Heap;

// The display name of a generator type: "Lagged Fibonacci", "Tausworthe",
// "Mersenne Twister", or "Unknown" for any other number.
std::string to_string(RandomNumberGeneratorType type);

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
  // ---------------------------------------------------------------------

  // ---------------------------------------------------------------------
  // Simulation loops (SimulatorClassLoops.cpp)
  // ---------------------------------------------------------------------

  // ---------------------------------------------------------------------
  // Observation packets and the output step (output/SimulatorClassOutput.cpp)
  // ---------------------------------------------------------------------

  // ---------------------------------------------------------------------
  // Simulation-manager protocol (output/SimulatorClassProtocol.cpp)
  //
  // Everything on the connection is big-endian. Each field or run of values
  // is one piece, handed to the socket with one send; a piece reaches the
  // binary file only when there is no socket or its send succeeded, and never
  // after a send has failed, so the file holds whole blocks and at most one
  // cut-off block at its end.
  // ---------------------------------------------------------------------

  // Listens on Port (or the next port that binds), announces it with the
  // "REGISTER:  Port: [" line, and waits in polls of AcceptPollMs for one
  // connection, greeting it. timeoutMs -1 waits without limit. Returns the
  // connection (owned by the caller), or nullptr when the wait gave up or
  // RunState left Running.
  QuelixSocket* WaitForSimMgrConnection(int timeoutMs);
  // Polls the connection for one command and carries it out. Command 3 hands
  // the run over to a binary file and closes and deletes the connection
  // (SimMgrSocket becomes nullptr); a closed or failed connection stops the
  // run.
  void ListenToSimMgr(QuelixSocket* socket);
  // Sends count doubles as one piece and, when the send succeeded or there
  // is no socket, writes the same bytes to stream. Returns count * 8, or -1
  // after a failed send.
  int Output(QuelixSocket* socket, std::ostream* stream, const double* values, int count);
  // Sends the CPU-time message that precedes every observation block.
  void OutputCPUTime(QuelixSocket* socket, double cpuSeconds);
  // The manager and binary-file sinks of the output step: sends one report's
  // observation block to SimMgrSocket and appends it to BinaryFile
  // (whichever are set), then flushes the file. Row i holds counts[i] values
  // starting at values[i * rowStride]; rows with count 0 are left out. For a
  // packet: (Counts.data(), Values.data(), NumPVs, MaxObservations).
  void WriteObservationBlock(const int32_t* counts, const double* values, int numPVs, int rowStride);

  // Status main returns: 0, or 1 after a failure that lost results (a
  // results file named by the manager could not be opened).
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
  // Rewrites the header at offset 0 with the current batch count and
  // returns the write position to the end of the file.
  void UpdateBinFileHeader(std::ofstream& stream);
  // UpdateBinFileHeader, then close.
  void CloseBinFile(std::ofstream& stream);

  // =====================================================================
  // Configuration, set by the command line. An empty string means "not
  // given".
  // =====================================================================
  std::string OverrideString;        // -O
  std::string AsciiFileName;         // -a
  std::string BinaryFileName;        // -b
  int ClientId = 0;                  // -c
  unsigned int Experiment = 0;       // -e; 0 is the first experiment
  std::string TraceFileName;         // -f; base name of the trace files
  int RequestedTraceLevel = 1;       // -l
  bool QuelixTrace = false;          // -m; plain-text trace
  bool XMLTrace = false;             // -x
  int ReportSize = 1000;             // -n; observations per report
  int MaxBatches = 0;                // -N; 0 or less means no limit
  short Port = 10000;                // -p
  int RNGType = 0;                   // -r; a RandomNumberGeneratorType
  unsigned int Seed = 31415;         // -s; 0 means 31415
  int IsTerminating = 1;             // -t; 0 is steady state
  bool WaitForConnection = false;    // -w

  // =====================================================================
  // Model and simulation state
  // =====================================================================
  BaseStudyClass* Study = nullptr;                 // owned
  PVModel* RewardModel = nullptr;                  // owned by the study
  PerformanceVariableNode** PVs = nullptr;         // the reward model's array
  int NumPVs = 0;

  List<BaseGroupClass>* GroupList = nullptr;       // owned
  List<BaseActionClass>* ActionList = nullptr;     // owned
  BaseGroupClass** Groups = nullptr;               // GroupList's array
  BaseActionClass** ActionArray = nullptr;         // ActionList's array
  ScheduleEntry* ScheduleEntries = nullptr;        // owned, one per group
  EventList* Events = nullptr;                     // owned

  BaseGroupClass** EnabledGroups = nullptr;        // owned
  int NumEnabledGroups = 0;
  // The reactivation list joins here with the event list and the step.
  Event* ScratchEvent = nullptr;
  double Now = 0.0;
  Event** NextEventSlot = nullptr;
  BaseActionClass* CurrentGroup = nullptr;
  BaseActionClass* LastFired = nullptr;
  BaseActionClass* PlaceholderAction = nullptr;
  Heap<double>* BatchEnds = nullptr;
  Heap<int>* BatchCounts = nullptr;

  int ActionsFired = 0;
  // clock() reading taken when the simulation loop starts; until then, the
  // reading taken at construction.
  double StartClock = 0.0;
  double CPUTime = 0.0;      // processor seconds, set at each report
  int Batches = 0;           // replications or batches completed
  int RunState = 0;          // 0 running, 1 finishing, 2 stopped

  // =====================================================================
  // Outputs and communication
  // =====================================================================
  std::unique_ptr<std::ofstream> AsciiFile;
  std::unique_ptr<std::ofstream> BinaryFile;
  QuelixSocket* SimMgrSocket = nullptr;
  QuelixSocket* ListenSocket = nullptr;
  static constexpr int PacketQueueCapacity = 50;
  PacketQueue* FreePackets = nullptr;
  PacketQueue* FullPackets = nullptr;
  DataPacket* ValuePacket = nullptr;
  DataPacket* SquarePacket = nullptr;
  int OutputCount = 1;
  int AcceptPollMs = 2000;
  int CommandPollMs = 0;
  TraceFileContainer* Trace = nullptr;             // owned
  TraceFile* QuelixTraceFile = nullptr;
  TraceFile* XMLTraceFile = nullptr;

 private:
  // Constructor steps, in the order they run.
  void InstallDistributions();
  void ParseOrExit(int argc, char** argv);
  void OpenResultsFiles();
  void CreateTraces();
  void BuildStudyAndRewardModel();
  void SelectPerformanceVariables();
  void ListGroups();
  void BuildAffectsRelation();
  void CreateEventList();
  void InstallGenerator();
  void ListActions();
  void SeedGenerator();

  // Protocol helpers (output/SimulatorClassProtocol.cpp).
  bool BindListenSocket();
  void HandleFileCommand(QuelixSocket* socket);
  void OpenManagerResultsFile(const std::string& name, int batchLimit);
  void SendReply(QuelixSocket* socket, unsigned char marker, unsigned char code);
  int SendPiece(QuelixSocket* socket, std::ostream* file, const unsigned char* bytes, int length);
  bool SimMgrSendFailed = false;  // the failure has been reported
  // Set when a send fails in the middle of a block that also goes to the
  // binary file: nothing more is appended, so the file ends in at most one
  // cut-off block and never holds a gap.
  bool BinaryFileCut = false;

  // Processor seconds since a clock() reading.
  static double SecondsSince(double start);

  // Where parsing echoes settings and reports errors and usage.
  std::ostream* Out = &std::cout;
  std::ostream* Err = &std::cerr;
};

#endif
