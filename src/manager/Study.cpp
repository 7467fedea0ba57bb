#include "manager/Study.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <sstream>

#include "results/BigEndian.h"

namespace {

constexpr int kPollMs = 100;
constexpr int kEndingPollMs = 2;
// How long a connection may stay open once its simulator has ended: what it
// sent is already on its way, and a connection held open beyond that (by a
// child of the simulator) is closed.
constexpr double kEndedConnectionSeconds = 3.0;
constexpr double kTerminalProgressInterval = 0.25;
constexpr double kPlainProgressInterval = 5.0;
// After command 2 a simulator stops at its next report; one that has not
// closed its connection by then is asked again with SIGTERM (which still
// writes what it observed), then killed.
constexpr double kQuitGraceSeconds = 30.0;
// A process whose connection is gone, or that was dropped, gets this long
// to end after SIGTERM before it is killed.
constexpr double kTerminateGraceSeconds = 5.0;
constexpr std::size_t kKeptOutputLines = 4;
constexpr std::size_t kReadBufferSize = 256 * 1024;
constexpr int kReadsPerWakeUp = 16;
const char kRegisterPrefix[] = "REGISTER:  Port: [";

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// " (name)" of a variable the simulators named, or nothing.
std::string VariableName(const std::vector<std::string>& names, std::size_t pv) {
  return pv < names.size() && !names[pv].empty() ? " (" + names[pv] + ")" : std::string();
}

std::string Seconds(double seconds) {
  std::ostringstream text;
  text << seconds << " s";
  return text.str();
}

}  // namespace

std::vector<unsigned> SimulatorSeeds(unsigned baseSeed, int simulators) {
  constexpr std::uint64_t kRange = 2147483646u;
  std::vector<unsigned> seeds;
  for (int k = 0; k < simulators; ++k) {
    const std::uint64_t mixed = SplitMix64((std::uint64_t(baseSeed) << 32) + std::uint64_t(k));
    unsigned seed = static_cast<unsigned>(1 + mixed % kRange);
    while (std::find(seeds.begin(), seeds.end(), seed) != seeds.end()) seed = seed % kRange + 1;
    seeds.push_back(seed);
  }
  return seeds;
}

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
  std::FILE* spool = nullptr;
  std::vector<Moments> moments;  // of the observations kept, per variable
  bool ended = false;
  bool lost = false;
  bool quitSent = false;
  long afterQuit = 0;        // observations per variable merged after command 2
  bool pastBound = false;    // sent more after command 2 than it may
  double disconnectAt = -1.0;  // when to close the connection, if still open
  double startDeadline = 0.0;
  double terminateAt = -1.0;  // when to send SIGTERM, if still running
  double killAt = -1.0;       // when to send SIGKILL, if still running

  std::string Name() const {
    return "simulator " + std::to_string(facts.index) + (facts.where.empty() ? "" : " (" + facts.where + ")");
  }
  std::string RecentOutput() const {
    std::string text;
    for (const std::string& line : lastLines) text += (text.empty() ? "" : " | ") + line;
    return text;
  }
};

// Takes the messages of one simulator's stream. A fault is recorded and
// acted on after the feed, so that the stream is never torn down under it.
class Study::Handler : public SimulatorStream::Handler {
 public:
  Handler(Study& study, Simulator& simulator) : study_(study), s_(simulator) {}

  void OnReply(const protocol::Reply& reply) override {
    if (s_.phase != Simulator::Phase::kGreeting) return;  // the answer to command 2
    const long expected = s_.process->ExpectedProcessId();
    if (reply.marker != protocol::kAcceptMarker || reply.code != 1) {
      Fault("its greeting has marker " + std::to_string(reply.marker) + " and code " + std::to_string(reply.code) +
            ", not 255 and 1");
    } else if (expected != 0 && reply.processId != static_cast<std::uint32_t>(expected)) {
      Fault("its greeting names process " + std::to_string(reply.processId) + ", not " + std::to_string(expected));
    } else {
      s_.phase = Simulator::Phase::kRunning;
    }
  }

  void OnCPUTime(const protocol::CPUTime& message) override { s_.facts.cpuSeconds = message.seconds; }

  void OnBlock(const unsigned char* bytes, std::size_t size, const protocol::BlockView& view) override {
    if (s_.phase != Simulator::Phase::kRunning) {
      Fault("it sent an observation block before its greeting");
      return;
    }
    if (!fault.empty() || s_.pastBound) return;
    if (!Measure(view)) return;
    if (s_.quitSent) {
      // What was on its way or held back when command 2 was sent, and no more.
      if (s_.afterQuit + most_ > study_.settings_.reportSize * kReportsAfterQuit) {
        s_.pastBound = true;
        return;
      }
      s_.afterQuit += most_;
    }
    if (s_.spool != nullptr && std::fwrite(bytes, 1, size, s_.spool) != size) {
      Fault(std::string("its block could not be kept: ") + std::strerror(errno));
      study_.BeginStop(StopReason::kFailed, "the temporary file holding the observations could not be written");
      return;
    }
    ++s_.facts.blocks;
    ++study_.totalBlocks_;
    for (std::size_t e = 0; e < view.entries.size(); ++e) {
      const unsigned pv = view.entries[e].pv;
      if (pv >= s_.moments.size()) s_.moments.resize(pv + 1);
      if (pv >= study_.running_.size()) study_.running_.resize(pv + 1);
      s_.moments[pv].Merge(blockMoments_[e]);
      study_.running_[pv].Merge(blockMoments_[e]);
    }
    study_.OnObservations();
  }

  std::string fault;

 private:
  void Fault(const std::string& text) {
    if (fault.empty()) fault = text;
  }

  // The moments of every entry of the block, into blockMoments_, and its
  // largest count; false (a fault) for a block with a value that is not a
  // finite number, or without observations after command 2.
  bool Measure(const protocol::BlockView& view) {
    blockMoments_.resize(view.entries.size());
    most_ = 0;
    for (std::size_t e = 0; e < view.entries.size(); ++e) {
      const protocol::BlockEntry& entry = view.entries[e];
      long nonFinite = -1;
      blockMoments_[e] = MomentsOfEncoded(entry.values, entry.count, &nonFinite);
      if (nonFinite >= 0) {
        const double value = BigEndian::GetDouble(entry.values + 8 * nonFinite);
        Fault("its block holds " + std::string(std::isnan(value) ? "NaN" : "an infinity") + " as a value of variable " +
              std::to_string(entry.pv) + VariableName(study_.settings_.variableNames, entry.pv));
        return false;
      }
      most_ = std::max<long>(most_, entry.count);
    }
    // A simulator may end its run with one empty report; after command 2 an
    // empty block can only be a flood.
    if (most_ == 0 && s_.quitSent) Fault("it sent a block without observations after command 2");
    return most_ > 0 || !s_.quitSent;
  }

  Study& study_;
  Simulator& s_;
  std::vector<Moments> blockMoments_;
  long most_ = 0;
};

Study::Study(const StudySettings& settings) : settings_(settings), readBuffer_(kReadBufferSize) {}

Study::~Study() {
  for (auto& s : simulators_) {
    CloseSocket(*s);
    if (s->spool != nullptr) std::fclose(s->spool);
  }
  // The handles' destructors end and reap any process still running.
}

void Study::Run(Launcher& launcher, ManagerSignals& signals) {
  startTime_ = Now();
  progressOnTerminal_ = ::isatty(STDERR_FILENO) == 1;
  StartAll(launcher);
  Loop(signals);
  wallSeconds_ = Elapsed();
  if (reason_ == StopReason::kNone) {
    const bool anyDelivered = std::any_of(simulators_.begin(), simulators_.end(),
                                          [](const auto& s) { return !s->lost; });
    if (anyDelivered) {
      reason_ = StopReason::kReplications;
      stopMessage_ = ShortfallMessage();
    } else {
      reason_ = StopReason::kAllLost;
      stopMessage_ = "every simulator was lost";
    }
  }
  if (!settings_.quiet) PrintProgress(true);
}

// Who fell short of its share, and by how much; each such simulator's row
// says so too.
std::string Study::ShortfallMessage() {
  std::string shortfalls;
  for (auto& s : simulators_) {
    long delivered = 0;
    for (const Moments& m : s->moments) delivered = std::max(delivered, m.n);
    if (!s->lost && (s->facts.share == 0 || delivered >= s->facts.share)) continue;
    std::string text = "simulator " + std::to_string(s->facts.index) + (s->lost ? " was lost after delivering " : " delivered ") +
                       std::to_string(delivered);
    if (s->facts.share > 0) {
      text += " of its " + std::to_string(s->facts.share) + " replications";
      s->facts.note = "delivered " + std::to_string(delivered) + " of " + std::to_string(s->facts.share) +
                      " replications, " + std::to_string(s->facts.share - delivered) + " short";
    } else {
      text += " replications";
    }
    shortfalls += (shortfalls.empty() ? "" : "; ") + text;
  }
  return shortfalls.empty() ? "every simulator delivered its replications" : shortfalls;
}

void Study::StartAll(Launcher& launcher) {
  const std::vector<unsigned> seeds = SimulatorSeeds(settings_.baseSeed, settings_.simulators);
  for (int k = 0; k < settings_.simulators; ++k) {
    auto s = std::make_unique<Simulator>();
    s->facts.index = k;
    s->facts.seed = seeds[k];
    if (settings_.replications > 0) {
      s->facts.share = settings_.replications / settings_.simulators + (k < settings_.replications % settings_.simulators);
    }
    s->stream = std::make_unique<SimulatorStream>(settings_.maxMessageSize);
    if (settings_.keepBlocks) s->spool = std::tmpfile();
    s->startDeadline = startTime_ + settings_.startTimeoutSeconds;
    simulators_.push_back(std::move(s));
  }
  for (auto& s : simulators_) {
    if (settings_.keepBlocks && s->spool == nullptr) {
      s->lost = true;
      s->ended = true;
      s->facts.fault = std::string("no temporary file for its observations: ") + std::strerror(errno);
      std::cerr << "gpusim-manager: " << s->Name() << ": " << s->facts.fault << std::endl;
      continue;
    }
    LaunchRequest request;
    request.executable = settings_.gpusim;
    request.index = s->facts.index;
    request.arguments = {"-w", "-p", "0", "-s", std::to_string(s->facts.seed), "-c", std::to_string(s->facts.index),
                         "-n", std::to_string(settings_.reportSize)};
    if (s->facts.share > 0) {
      request.arguments.push_back("-N");
      request.arguments.push_back(std::to_string(s->facts.share));
    }
    request.arguments.insert(request.arguments.end(), settings_.simulatorArguments.begin(),
                             settings_.simulatorArguments.end());
    std::string error;
    s->process = launcher.Start(request, error);
    if (!s->process) {
      s->lost = true;
      s->ended = true;
      s->facts.fault = "could not be started: " + error;
      std::cerr << "gpusim-manager: " << s->Name() << " " << s->facts.fault << std::endl;
      continue;
    }
    s->facts.where = s->process->Describe();
    s->outputOpen = s->process->OutputDescriptor() >= 0;
  }
}

bool Study::Finished() const {
  return std::all_of(simulators_.begin(), simulators_.end(),
                     [](const auto& s) { return s->ended && s->socket < 0; });
}

// A process whose output and connection are both closed is ending: its end
// is not a descriptor event, so it is looked for again soon rather than at
// the next regular wake-up, which would add that wait to every study.
int Study::PollTimeoutMs() const {
  const bool ending = std::any_of(simulators_.begin(), simulators_.end(), [](const auto& s) {
    return s->process && !s->ended && !s->outputOpen && s->socket < 0;
  });
  return ending ? kEndingPollMs : kPollMs;
}

void Study::Loop(ManagerSignals& signals) {
  std::vector<pollfd> watched;
  std::vector<std::pair<Simulator*, bool>> owners;  // simulator, and whether the entry is its socket
  while (!Finished()) {
    watched.clear();
    owners.clear();
    watched.push_back({signals.Descriptor(), POLLIN, 0});
    owners.push_back({nullptr, false});
    for (auto& s : simulators_) {
      if (s->outputOpen) {
        watched.push_back({s->process->OutputDescriptor(), POLLIN, 0});
        owners.push_back({s.get(), false});
      }
      if (s->socket >= 0) {
        const short events = s->phase == Simulator::Phase::kConnecting ? POLLOUT : POLLIN;
        watched.push_back({s->socket, events, 0});
        owners.push_back({s.get(), true});
      }
    }
    lastPoll_ = Now();
    const int ready = ::poll(watched.data(), watched.size(), PollTimeoutMs());
    if (ready < 0 && errno != EINTR) {
      // Nothing more can be read: end the study with what has arrived.
      BeginStop(StopReason::kFailed, std::string("waiting for the simulators failed: ") + std::strerror(errno));
      KillAll();
      for (auto& s : simulators_) CloseSocket(*s);
    }
    for (std::size_t i = 0; ready > 0 && i < watched.size(); ++i) {
      if (watched[i].revents == 0) continue;
      Simulator* s = owners[i].first;
      if (s == nullptr) {
        if (signals.Take() == 0) continue;
        if (stopping_ && reason_ == StopReason::kSignal) {
          std::cerr << "gpusim-manager: second signal: killing the simulators" << std::endl;
          KillAll();
          // What had arrived is still read; a connection kept open by
          // something the manager cannot kill is then closed.
          const double deadline = Now() + kEndedConnectionSeconds;
          for (auto& each : simulators_) {
            if (each->socket >= 0 && (each->disconnectAt < 0 || each->disconnectAt > deadline)) {
              each->disconnectAt = deadline;
            }
          }
        } else {
          BeginStop(StopReason::kSignal, "stopped by a signal");
        }
      } else if (!owners[i].second) {
        ReadOutput(*s);
      } else if (s->phase == Simulator::Phase::kConnecting) {
        FinishConnect(*s);
      } else if (s->socket >= 0) {
        ReadSocket(*s);
      }
    }
    CheckProcesses();
    CheckDeadlines();
    CheckStoppingRules();
    if (!settings_.quiet) PrintProgress(false);
  }
}

void Study::KillAll() {
  for (auto& s : simulators_) {
    if (s->process && !s->ended) s->process->Kill();
  }
}

// ---------------------------------------------------------------------------
// Start-up: the REGISTER line, the connection, the greeting
// ---------------------------------------------------------------------------

void Study::ReadOutput(Simulator& s) {
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(s.process->OutputDescriptor(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {
      s.outputOpen = false;
      if (!s.partialLine.empty()) HandleOutputLine(s, s.partialLine);
      s.partialLine.clear();
      return;
    }
    s.partialLine.append(chunk, static_cast<std::size_t>(got));
    std::size_t newline;
    while ((newline = s.partialLine.find('\n')) != std::string::npos) {
      const std::string line = s.partialLine.substr(0, newline);
      s.partialLine.erase(0, newline + 1);
      HandleOutputLine(s, line);
    }
    // A simulator that writes without newlines must not grow this without bound.
    if (s.partialLine.size() > 4096) s.partialLine.erase(0, s.partialLine.size() - 4096);
  }
}

void Study::HandleOutputLine(Simulator& s, const std::string& line) {
  s.process->ObserveOutputLine(line);
  if (!line.empty()) {
    s.lastLines.push_back(line.substr(0, 200));
    if (s.lastLines.size() > kKeptOutputLines) s.lastLines.erase(s.lastLines.begin());
  }
  if (s.phase != Simulator::Phase::kStarting || s.lost) return;
  if (line.compare(0, sizeof kRegisterPrefix - 1, kRegisterPrefix) != 0) return;
  const long port = std::strtol(line.c_str() + sizeof kRegisterPrefix - 1, nullptr, 10);
  if (port <= 0 || port > 65535) {
    Drop(s, "announced an impossible port: " + line);
    return;
  }
  // A remote launcher knows where the simulator runs only once it has started.
  s.facts.where = s.process->Describe();
  Connect(s, static_cast<int>(port));
}

void Study::Connect(Simulator& s, int port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string host = s.process->ConnectAddress();
  const int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0 || found == nullptr) {
    Drop(s, "cannot resolve '" + host + "': " + ::gai_strerror(status));
    return;
  }
  s.socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int result = s.socket < 0 ? -1 : ::connect(s.socket, found->ai_addr, found->ai_addrlen);
  const int error = errno;
  ::freeaddrinfo(found);
  if (result == 0) {
    s.phase = Simulator::Phase::kGreeting;
  } else if (error == EINPROGRESS) {
    s.phase = Simulator::Phase::kConnecting;
  } else {
    Drop(s, "cannot connect to " + host + " port " + std::to_string(port) + ": " + std::strerror(error));
  }
}

void Study::FinishConnect(Simulator& s) {
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(s.socket, SOL_SOCKET, SO_ERROR, &error, &length);
  if (error != 0) {
    Drop(s, "cannot connect to " + s.process->ConnectAddress() + ": " + std::strerror(error));
    return;
  }
  s.phase = Simulator::Phase::kGreeting;
  // Its greeting may be waiting already: read now rather than at the next
  // wake-up, which in a busy study can come after the connection's deadline.
  ReadSocket(s);
}

// ---------------------------------------------------------------------------
// The connection
// ---------------------------------------------------------------------------

void Study::ReadSocket(Simulator& s) {
  for (int reads = 0; reads < kReadsPerWakeUp && s.socket >= 0; ++reads) {
    const ssize_t got = ::recv(s.socket, readBuffer_.data(), readBuffer_.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {
      if (s.stream->Pending() > 0) {
        std::cerr << "gpusim-manager: " << s.Name() << ": connection ended inside a message; its "
                  << s.stream->Pending() << " bytes are not kept" << std::endl;
      }
      if (!s.lost && !s.quitSent && s.phase != Simulator::Phase::kRunning) {
        Drop(s, "closed the connection before its greeting");
      }
      CloseSocket(s);
      return;
    }
    Handler handler(*this, s);
    if (!s.stream->Feed(readBuffer_.data(), static_cast<std::size_t>(got), handler)) {
      Drop(s, s.stream->Error());
    } else if (!handler.fault.empty()) {
      Drop(s, handler.fault);
    } else if (s.pastBound) {
      Disconnect(s, "it sent more than " + std::to_string(kReportsAfterQuit) +
                        " reports after command 2; the rest is not read");
    }
  }
}

void Study::CloseSocket(Simulator& s) {
  if (s.socket >= 0) ::close(s.socket);
  s.socket = -1;
  if (s.phase == Simulator::Phase::kRunning || s.phase == Simulator::Phase::kGreeting ||
      s.phase == Simulator::Phase::kConnecting) {
    s.phase = Simulator::Phase::kClosed;
  }
  // With its connection gone a simulator has nothing left to deliver and no
  // reason to live on.
  const double deadline = Now() + kTerminateGraceSeconds;
  if (!s.ended && (s.terminateAt < 0 || s.terminateAt > deadline)) s.terminateAt = deadline;
}

void Study::Drop(Simulator& s, const std::string& fault) {
  if (!s.lost) {
    s.lost = true;
    s.facts.fault = fault;
    std::cerr << "gpusim-manager: " << s.Name() << " dropped: " << fault << std::endl;
  }
  if (s.phase == Simulator::Phase::kStarting) s.phase = Simulator::Phase::kClosed;
  CloseSocket(s);
  if (s.process && !s.ended) {
    s.process->Terminate();
    s.terminateAt = -1.0;
    s.killAt = Now() + kTerminateGraceSeconds;
  }
}

// Closes a connection without blaming the simulator; its process, if still
// running, has nothing more to deliver and is asked to end at once.
void Study::Disconnect(Simulator& s, const std::string& why) {
  std::cerr << "gpusim-manager: " << s.Name() << ": " << why << std::endl;
  CloseSocket(s);
  if (s.process && !s.ended && s.killAt < 0) {
    s.process->Terminate();
    s.terminateAt = -1.0;
    s.killAt = Now() + kTerminateGraceSeconds;
  }
}

// A simulator not yet connected when the study stops is not at fault: it is
// asked to end, and shown with how it ended.
void Study::Withdraw(Simulator& s) {
  s.quitSent = true;
  s.phase = Simulator::Phase::kClosed;
  s.facts.note = "the study stopped before it was connected";
  CloseSocket(s);
  if (s.process && !s.ended) {
    s.process->Terminate();
    s.terminateAt = -1.0;
    s.killAt = Now() + kTerminateGraceSeconds;
  }
}

void Study::SendQuit(Simulator& s) {
  const unsigned char command = protocol::kQuitCommand;
  s.quitSent = true;
  if (::send(s.socket, &command, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1) return;  // its end is near anyway
  if (s.terminateAt < 0) s.terminateAt = Now() + kQuitGraceSeconds;
}

// ---------------------------------------------------------------------------
// Processes and time
// ---------------------------------------------------------------------------

void Study::CheckProcesses() {
  for (auto& s : simulators_) {
    if (!s->process || s->ended) continue;
    const SimulatorEnding ending = s->process->Poll();
    if (!ending.Ended()) continue;
    s->ended = true;
    s->facts.ending = ending;
    if (s->outputOpen) ReadOutput(*s);
    if (s->lost) continue;
    if (s->phase == Simulator::Phase::kStarting) {
      DropEndedBeforeConnected(*s);
      continue;
    }
    if (s->phase == Simulator::Phase::kConnecting || s->phase == Simulator::Phase::kGreeting) {
      // A short run can accept, deliver everything and end before this loop
      // has read its greeting: what it sent waits in the connection, so the
      // connection decides. With the process gone that takes a moment only.
      s->startDeadline = std::min(s->startDeadline, Now() + kEndedConnectionSeconds);
      continue;
    }
    // What it sent is on its way; something else holding the connection
    // open (a child of the simulator) is not waited for.
    const double deadline = Now() + kEndedConnectionSeconds;
    if (s->socket >= 0 && (s->disconnectAt < 0 || s->disconnectAt > deadline)) s->disconnectAt = deadline;
    if (!ending.Clean() && !s->quitSent) {
      // Asked to stop, it had nothing more to send; otherwise it is lost.
      // Its connection stays open: what it sent before it died is still read.
      s->lost = true;
      s->facts.fault = "ended: " + ending.Describe();
      std::cerr << "gpusim-manager: " << s->Name() << " lost: " << ending.Describe() << std::endl;
    }
  }
}

void Study::DropEndedBeforeConnected(Simulator& s) {
  const std::string output = s.RecentOutput();
  Drop(s, "ended (" + s.facts.ending.Describe() + ") before it was connected" +
              (output.empty() ? std::string() : "; its last output: " + output));
}

void Study::CheckDeadlines() {
  const double now = Now();
  for (auto& s : simulators_) {
    if (s->socket >= 0 && s->disconnectAt >= 0 && now >= s->disconnectAt) {
      Disconnect(*s, s->ended ? "its process has ended but its connection stayed open; disconnected"
                              : "its connection stayed open past the study's end; disconnected");
    }
    if (!s->process) continue;
    if (s->ended) {
      const bool connecting =
          s->phase == Simulator::Phase::kConnecting || s->phase == Simulator::Phase::kGreeting;
      if (connecting && !s->lost && lastPoll_ >= s->startDeadline) DropEndedBeforeConnected(*s);
      continue;
    }
    if (!s->lost && now >= s->startDeadline) {
      const std::string timeout = Seconds(settings_.startTimeoutSeconds);
      if (s->phase == Simulator::Phase::kStarting) {
        Drop(*s, "printed no REGISTER line within " + timeout);
      } else if (s->phase == Simulator::Phase::kConnecting) {
        Drop(*s, "did not accept the connection within " + timeout);
      } else if (s->phase == Simulator::Phase::kGreeting) {
        Drop(*s, "sent no greeting within " + timeout);
      }
    }
    if (s->terminateAt >= 0 && now >= s->terminateAt) {
      s->process->Terminate();
      s->terminateAt = -1.0;
      s->killAt = now + kTerminateGraceSeconds;
    } else if (s->killAt >= 0 && now >= s->killAt) {
      std::cerr << "gpusim-manager: " << s->Name() << " did not end; killing it" << std::endl;
      s->process->Kill();
      s->killAt = -1.0;
    }
  }
}

double Study::Elapsed() const { return Now() - startTime_; }

long Study::MinimumObservations() const {
  const std::vector<Moments> combined = Combined();
  if (combined.empty()) return 0;
  long least = combined[0].n;
  for (const Moments& m : combined) least = std::min(least, m.n);
  return least;
}

std::vector<Moments> Study::Combined() const {
  std::vector<Moments> combined;
  for (const auto& s : simulators_) {
    if (s->moments.size() > combined.size()) combined.resize(s->moments.size());
    for (std::size_t pv = 0; pv < s->moments.size(); ++pv) combined[pv].Merge(s->moments[pv]);
  }
  return combined;
}

// ---------------------------------------------------------------------------
// Stopping
// ---------------------------------------------------------------------------

void Study::CheckStoppingRules() {
  if (stopping_) return;
  if (std::all_of(simulators_.begin(), simulators_.end(), [](const auto& s) { return s->lost; })) {
    BeginStop(StopReason::kAllLost, "every simulator was lost");
    return;
  }
  if (settings_.maxSeconds > 0.0 && Elapsed() >= settings_.maxSeconds) {
    BeginStop(StopReason::kTime, "the time limit of " + Seconds(settings_.maxSeconds) + " was reached");
  }
}

// Judged after every block, so that the study stops at the block that met
// its target rather than at a later wake-up: each simulator overshoots by at
// most what it has sent meanwhile.
void Study::OnObservations() {
  if (!stopping_ && settings_.precision.Given()) JudgePrecision();
}

// The quantile is rounded to a conservative one (quantiles_), which can only
// delay the verdict "met"; "unreachable" is confirmed with the exact one.
void Study::JudgePrecision() {
  bool allMet = !running_.empty();
  for (std::size_t pv = 0; pv < running_.size(); ++pv) {
    const Moments& m = running_[pv];
    if (m.n == 0) continue;
    const Verdict verdict = Judge(m, settings_.precision, &quantiles_);
    if (verdict.unreachable && Judge(m, settings_.precision).unreachable) {
      BeginStop(StopReason::kUnreachable,
                "variable " + std::to_string(pv) + VariableName(settings_.variableNames, pv) + " has a mean of " + std::to_string(m.mean) +
                    " whose confidence interval contains 0 after " + std::to_string(m.n) +
                    " observations: a relative width cannot be reached; give --abs-width");
      return;
    }
    allMet = allMet && verdict.met && m.n >= settings_.precision.minReplications;
  }
  if (allMet) BeginStop(StopReason::kPrecision, "every variable reached the requested precision");
}

void Study::BeginStop(StopReason reason, const std::string& message) {
  if (stopping_) return;
  stopping_ = true;
  reason_ = reason;
  stopMessage_ = message;
  stopStarted_ = Elapsed();
  if (reason == StopReason::kUnreachable || reason == StopReason::kFailed) {
    std::cerr << "gpusim-manager: " << message << std::endl;
  }
  // Every connection now has a deadline, whatever holds it open.
  const double deadline = Now() + kQuitGraceSeconds + kTerminateGraceSeconds;
  for (auto& s : simulators_) {
    if (s->phase == Simulator::Phase::kRunning && s->socket >= 0) {
      SendQuit(*s);
    } else if (s->phase != Simulator::Phase::kRunning && s->phase != Simulator::Phase::kClosed && !s->lost) {
      Withdraw(*s);
    }
    if (s->socket >= 0 && (s->disconnectAt < 0 || s->disconnectAt > deadline)) s->disconnectAt = deadline;
  }
}

// ---------------------------------------------------------------------------
// Progress and results
// ---------------------------------------------------------------------------

void Study::PrintProgress(bool final) {
  const double now = Elapsed();
  const double interval = progressOnTerminal_ ? kTerminalProgressInterval : kPlainProgressInterval;
  if (!final && now - lastProgress_ < interval) return;
  lastProgress_ = now;
  if (final && progressOnTerminal_) {
    std::cerr << "\r\033[K" << std::flush;
    return;
  }
  if (final) return;
  const long observations = MinimumObservations();
  const double rate = now > 0.0 ? observations / now : 0.0;
  char line[256];
  int used = std::snprintf(line, sizeof line, "%ld observations, %.0f/s", observations, rate);
  double widest = 0.0;
  const std::vector<Moments> running = Combined();
  for (const Moments& m : running) {
    const Verdict v = Judge(m, settings_.precision, &quantiles_);
    if (std::isnan(v.relHalfWidth)) continue;
    widest = std::max(widest, v.relHalfWidth);
  }
  double remaining = -1.0;
  if (settings_.precision.relWidth > 0.0 && !running.empty() && rate > 0.0) {
    used += std::snprintf(line + used, sizeof line - used, ", widest rel. half-width %.4g (target %.4g)", widest,
                          settings_.precision.relWidth);
    // The half-width shrinks as 1/sqrt(n).
    const double needed = observations * std::pow(widest / settings_.precision.relWidth, 2.0);
    if (std::isfinite(needed)) remaining = std::max(needed, double(settings_.precision.minReplications)) - observations;
  } else if (settings_.replications > 0 && rate > 0.0) {
    remaining = double(settings_.replications) - observations;
  }
  if (remaining >= 0.0 && rate > 0.0) {
    double seconds = remaining / rate;
    if (settings_.maxSeconds > 0.0) seconds = std::min(seconds, settings_.maxSeconds - now);
    used += std::snprintf(line + used, sizeof line - used, ", about %.0f s left", std::max(0.0, seconds));
  }
  if (stopping_) std::snprintf(line + used, sizeof line - used, ", stopping");
  if (progressOnTerminal_) {
    std::cerr << "\r" << line << "\033[K" << std::flush;
  } else {
    std::cerr << "gpusim-manager: " << line << std::endl;
  }
}

const std::vector<SimulatorFacts>& Study::Facts() const {
  facts_.clear();
  for (const auto& s : simulators_) {
    SimulatorFacts facts = s->facts;
    facts.observations = 0;
    for (const Moments& m : s->moments) facts.observations = std::max(facts.observations, m.n);
    facts_.push_back(facts);
  }
  return facts_;
}

long long Study::CopyBlocks(int descriptor, std::string& error) const {
  std::vector<char> buffer(1 << 20);
  long long written = 0;
  for (const auto& s : simulators_) {
    if (s->spool == nullptr) continue;
    if (std::fflush(s->spool) != 0 || std::fseek(s->spool, 0, SEEK_SET) != 0) {
      error = "cannot read back the observations of " + s->Name() + ": " + std::strerror(errno);
      return -1;
    }
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), s->spool)) > 0) {
      for (std::size_t at = 0; at < got;) {
        const ssize_t put = ::write(descriptor, buffer.data() + at, got - at);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
          error = std::strerror(errno);
          return -1;
        }
        at += static_cast<std::size_t>(put);
        written += put;
      }
    }
    if (std::ferror(s->spool)) {
      error = "cannot read back the observations of " + s->Name() + ": " + std::strerror(errno);
      return -1;
    }
  }
  return written;
}
