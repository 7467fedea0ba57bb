// Study::Simulator: what a Study holds of one simulator (its process,
// connection, stream, spool and moments), and the helpers the Study's source
// files share (Study.cpp, StudyStart.cpp, StudyReading.cpp, StudyStopping.cpp,
// StudyEnding.cpp). Included by those files only.
//
// Ownership: the Study owns every Simulator; a Simulator owns its process
// handle, stream and spool (the Study closes the spool and the socket).
//
// Not thread-safe: while its connection is read on an ingest thread a
// Simulator is that thread's alone (Study.h says when).
#ifndef MANAGER_STUDY_SIMULATOR_H
#define MANAGER_STUDY_SIMULATOR_H

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "manager/BatchSeries.h"
#include "manager/SimulatorSpool.h"
#include "manager/Study.h"

namespace study_internal {

// How long a connection may stay open once its simulator has ended: what it
// sent is already on its way, and a connection held open beyond that (by a
// child of the simulator) is closed. While what it sent still arrives (the
// kernel's buffers at both ends can hold megabytes, which a manager busy
// with hundreds of connections reads a share at a time), the wait starts
// again, up to kEndedDeliverySeconds after the end.
constexpr double kEndedConnectionSeconds = 3.0;
constexpr double kEndedDeliverySeconds = 60.0;
// After command 2 a simulator stops at its next report; one that has not
// closed its connection by then is asked again with SIGTERM (which still
// writes what it observed), then killed.
constexpr double kQuitGraceSeconds = 30.0;
// A process whose connection is gone, or that was dropped, gets this long
// to end after SIGTERM before it is killed.
constexpr double kTerminateGraceSeconds = 5.0;

inline double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// " (name)" of a variable the simulators named, or nothing.
inline std::string VariableName(const std::vector<std::string>& names, std::size_t pv) {
  return pv < names.size() && !names[pv].empty() ? " (" + names[pv] + ")" : std::string();
}

inline std::string Seconds(double seconds) {
  std::ostringstream text;
  text << seconds << " s";
  return text.str();
}

}  // namespace study_internal

struct Study::Simulator {
  enum class Phase { kStarting, kConnecting, kGreeting, kRunning, kClosed };

  SimulatorFacts facts;
  std::unique_ptr<LaunchedSimulator> process;
  Phase phase = Phase::kStarting;
  bool outputOpen = false;
  std::string partialLine;
  std::vector<std::string> lastLines;
  int socket = -1;
  std::unique_ptr<SimulatorStream> stream;
  SimulatorSpool spool;  // open only when the blocks are kept
  // The blocks that did not fit the simulator's region of the merged file,
  // and every one after them (opened only then; MergedRegions.h).
  SimulatorSpool spill;
  std::vector<Moments> moments;  // of the observations kept, per variable
  std::vector<long> received;    // per variable, warm-up batches included
  std::vector<BatchSeries> series;  // steady state: the kept batch means, per variable
  // Read but not yet seen by the stopping rules (Study::TakeFresh): the
  // moments per variable and the blocks.
  std::vector<Moments> fresh;
  long freshBlocks = 0;
  bool spoolFailed = false;  // a block could not be written to the spool
  bool ended = false;
  bool lost = false;
  bool quitSent = false;
  long afterQuit = 0;        // observations per variable merged after command 2
  bool pastBound = false;    // sent more after command 2 than it may
  double disconnectAt = -1.0;  // when to close the connection, if still open
  long bytesRead = 0;          // from the connection, in all
  double endedAt = -1.0;       // when its process was seen to have ended
  long bytesAtEndedWait = 0;   // bytesRead when the wait for its connection began
  double startDeadline = 0.0;
  double terminateAt = -1.0;  // when to send SIGTERM, if still running
  double killAt = -1.0;       // when to send SIGKILL, if still running

  // Closes the connection at deadline at the latest, if it is open then.
  void DisconnectBy(double deadline) {
    if (socket >= 0 && (disconnectAt < 0 || disconnectAt > deadline)) disconnectAt = deadline;
  }
  // Begins the wait for the connection of a simulator whose process has
  // ended: kEndedConnectionSeconds, started again while it still delivers
  // (RenewWhileDelivering).
  void AwaitEndedConnection(double now) {
    bytesAtEndedWait = bytesRead;
    DisconnectBy(now + study_internal::kEndedConnectionSeconds);
  }
  // At its connection's deadline: an ended simulator whose connection
  // brought something since its wait began, less than kEndedDeliverySeconds
  // after its end, is still delivering what it sent before it ended; its
  // wait then starts again and the result is true.
  bool RenewWhileDelivering(double now) {
    if (!ended || endedAt < 0 || bytesRead == bytesAtEndedWait ||
        now >= endedAt + study_internal::kEndedDeliverySeconds) {
      return false;
    }
    bytesAtEndedWait = bytesRead;
    disconnectAt = now + study_internal::kEndedConnectionSeconds;
    return true;
  }
  std::string Name() const {
    return "simulator " + std::to_string(facts.index) + (facts.where.empty() ? "" : " (" + facts.where + ")");
  }
  std::string RecentOutput() const {
    std::string text;
    for (const std::string& line : lastLines) text += (text.empty() ? "" : " | ") + line;
    return text;
  }
};

#endif
