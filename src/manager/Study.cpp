#include "manager/Study.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>
#include <thread>

#include "manager/DescriptorWatch.h"
#include "manager/MergedRegions.h"
#include "manager/StudySimulator.h"
#include "output/BinFileHeader.h"
#include "results/FileWrites.h"

using namespace study_internal;

namespace {

constexpr int kPollMs = 100;
constexpr int kEndingPollMs = 2;
constexpr double kTerminalProgressInterval = 0.25;
constexpr double kPlainProgressInterval = 5.0;
// The piece a connection is read in. Each read copies it out of the
// kernel's buffers and the fold reads it again at once: with the socket's
// bytes it passes through, a piece of 256 kB stays in a core's second-level
// cache (1 MB and more on current server processors), where a 1 MB piece
// left it for the next level before it was folded (K = 64 flooding
// simulators: 2.24 ns per value with 1 MB, 1.91 with 256 kB). A study that
// also keeps the values copies each block on into its spool, and there the
// smaller piece measured worse at K = 1 and 8 (4.7 against 4.0 ns per
// value) and better only at K = 64 (3.9 against 4.1), so it reads 1 MB.
// Either way a connection is read up to kBytesPerWakeUp at a wake-up.
std::size_t ReadPieceBytes(bool keepsBlocks) { return keepsBlocks ? 1024 * 1024 : 256 * 1024; }
// The piece in which a region is moved within the merged file.
constexpr std::size_t kMovePiece = 4 * 1024 * 1024;
// Simulators that send at their own pace (as real ones do) wake a manager
// for every report; each wake-up costs a poll over every descriptor and a
// look at every process, far more than the values it brings. Wake-ups closer
// than this are held back, so each one reads what has gathered meanwhile:
// 1 ms, and longer with more descriptors, so that a wake-up's poll stays a
// small part of its reading. A study with no precision target to judge
// waits 4 ms, so that each read takes more (a read costs the kernel a
// window update to its sender, whatever it takes: at K = 64 senders paced
// at 1 M values/s, 2.9 ns per value at 1 ms, 2.5 at 4 ms); a precision
// study would overshoot its target by what its simulators make meanwhile.
// A connection holds far more than this of a simulator's output, so
// nothing waits on the sender's side because of it; a stop or a signal
// interrupts the wait.
constexpr double kShortestWakeUpSeconds = 0.001;
constexpr double kShortestUnjudgedWakeUpSeconds = 0.004;
constexpr double kWakeUpSecondsPerDescriptor = 2e-6;
// How often every process is looked at (one system call each) while none is
// known to be ending: a process that ends while its connection stays open is
// noticed this late at most. One whose connection and output have closed is
// looked at on every wake-up.
constexpr double kProcessCheckSeconds = 0.02;

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
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


Study::Study(const StudySettings& settings, int mergedFile)
    : settings_(settings), mergedFile_(mergedFile), readBuffer_(ReadPieceBytes(settings.keepBlocks)) {}

Study::~Study() {
  for (auto& s : simulators_) {
    if (s->socket >= 0) ::close(s->socket);
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

bool Study::Finished() const {
  return std::all_of(simulators_.begin(), simulators_.end(),
                     [](const auto& s) { return s->ended && s->socket < 0; });
}

// A process whose output and connection are both closed is ending: its end
// is not a descriptor event, so it is looked for again soon rather than at
// the next regular wake-up, which would add that wait to every study.
bool Study::AwaitingAnEnd() const {
  return std::any_of(simulators_.begin(), simulators_.end(), [](const auto& s) {
    return s->process && !s->ended && !s->outputOpen && s->socket < 0;
  });
}

int Study::PollTimeoutMs() const { return AwaitingAnEnd() ? kEndingPollMs : kPollMs; }

void Study::Loop(ManagerSignals& signals) {
  const int threads = settings_.ingestThreads > 0
                          ? std::min(settings_.ingestThreads, std::max(1, int(simulators_.size())))
                          : IngestThreadsFor(int(simulators_.size()), std::thread::hardware_concurrency());
  if (threads > 1) {
    readers_ = std::make_unique<ReaderPool>(threads);
    readerBuffers_.assign(std::size_t(readers_->Threads()), std::vector<unsigned char>());
    for (std::size_t t = 1; t < readerBuffers_.size(); ++t) readerBuffers_[t].resize(readBuffer_.size());
  }
  std::vector<pollfd> watched;
  std::vector<std::uint64_t> identities;  // a simulator's output and its one socket
  std::vector<std::pair<Simulator*, bool>> owners;  // simulator, and whether the entry is its socket
  std::vector<Simulator*> readable;  // running connections for the ingest threads
  DescriptorWatch watch;
  while (!Finished()) {
    watched.clear();
    identities.clear();
    owners.clear();
    watched.push_back({signals.Descriptor(), POLLIN, 0});
    identities.push_back(0);
    owners.push_back({nullptr, false});
    for (auto& s : simulators_) {
      const std::uint64_t simulator = std::uint64_t(s->facts.index) + 1;
      if (s->outputOpen) {
        watched.push_back({s->process->OutputDescriptor(), POLLIN, 0});
        identities.push_back(2 * simulator);
        owners.push_back({s.get(), false});
      }
      if (s->socket >= 0) {
        const short events = s->phase == Simulator::Phase::kConnecting ? POLLOUT : POLLIN;
        watched.push_back({s->socket, events, 0});
        identities.push_back(2 * simulator + 1);
        owners.push_back({s.get(), true});
      }
    }
    HoldBackWakeUp(watched.size());
    lastPoll_ = Now();
    const int ready = watch.Wait(watched, identities, PollTimeoutMs());
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
          for (auto& each : simulators_) each->DisconnectBy(deadline);
        } else {
          BeginStop(StopReason::kSignal, "stopped by a signal");
        }
      } else if (!owners[i].second) {
        ReadOutput(*s);
      } else if (s->phase == Simulator::Phase::kConnecting) {
        FinishConnect(*s);
      } else if (s->socket >= 0 && readers_ && s->phase == Simulator::Phase::kRunning) {
        readable.push_back(s);
      } else if (s->socket >= 0) {
        ReadSocket(*s);
      }
    }
    if (!readable.empty()) ReadInParallel(readable);
    readable.clear();
    if (stopping_ || Now() >= lastProcessCheck_ + kProcessCheckSeconds || AwaitingAnEnd()) {
      lastProcessCheck_ = Now();
      CheckProcesses();
    }
    CheckDeadlines();
    CheckStoppingRules();
    if (!settings_.quiet) PrintProgress(false);
  }
}

void Study::HoldBackWakeUp(std::size_t descriptors) const {
  const double floor = settings_.precision.Given() ? kShortestWakeUpSeconds : kShortestUnjudgedWakeUpSeconds;
  const double shortest = std::max(floor, kWakeUpSecondsPerDescriptor * static_cast<double>(descriptors));
  const double since = Now() - lastPoll_;
  if (stopping_ || since >= shortest) return;
  const long nanoseconds = static_cast<long>((shortest - since) * 1e9);
  const timespec pause{0, nanoseconds};
  ::nanosleep(&pause, nullptr);
}

void Study::ReadInParallel(const std::vector<Simulator*>& ready) {
  readResults_.assign(ready.size(), ReadResult());
  const int threads = readers_->Threads();
  readers_->Run([&](int thread) {
    std::vector<unsigned char>& buffer = thread == 0 ? readBuffer_ : readerBuffers_[std::size_t(thread)];
    for (std::size_t i = 0; i < ready.size(); ++i) {
      if (ready[i]->facts.index % threads == thread) readResults_[i] = Ingest(*ready[i], buffer, nullptr);
    }
  });
  for (std::size_t i = 0; i < ready.size(); ++i) Settle(*ready[i], readResults_[i]);
  OnObservations();
}

int IngestThreadsFor(int simulators, unsigned cores) {
  const int wanted = (simulators + kSimulatorsPerIngestThread - 1) / kSimulatorsPerIngestThread;
  const int allowed = std::max(1, int(cores / 4));
  return std::max(1, std::min(wanted, allowed));
}

void Study::KillAll() {
  for (auto& s : simulators_) {
    if (s->process && !s->ended) s->process->Kill();
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
  const PrecisionTarget& target = settings_.precision;
  double widestRelative = 0.0;
  double widestAbsolute = 0.0;
  // The farthest any variable is from its nearest target, as a factor on
  // its half-width.
  double farthest = 0.0;
  const std::vector<Moments> running = Combined();
  for (const Moments& m : running) {
    const Verdict v = Judge(m, target, &quantiles_);
    double factor = INFINITY;
    if (!std::isnan(v.relHalfWidth)) {
      widestRelative = std::max(widestRelative, v.relHalfWidth);
      if (target.relWidth > 0.0) factor = std::min(factor, v.relHalfWidth / target.relWidth);
    }
    if (!std::isnan(v.halfWidth)) {
      widestAbsolute = std::max(widestAbsolute, v.halfWidth);
      if (target.absWidth > 0.0) factor = std::min(factor, v.halfWidth / target.absWidth);
    }
    if (std::isfinite(factor)) farthest = std::max(farthest, factor);
  }
  double remaining = -1.0;
  if (target.Given() && !running.empty() && rate > 0.0) {
    if (target.relWidth > 0.0) {
      used += std::snprintf(line + used, sizeof line - used, ", widest rel. half-width %.4g (target %.4g)",
                            widestRelative, target.relWidth);
    }
    if (target.absWidth > 0.0) {
      used += std::snprintf(line + used, sizeof line - used, ", widest half-width %.4g (target %.4g)", widestAbsolute,
                            target.absWidth);
    }
    // The half-width shrinks as 1/sqrt(n).
    const double needed = observations * farthest * farthest;
    if (std::isfinite(needed)) remaining = std::max(needed, double(target.minReplications)) - observations;
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

std::vector<Lag1Autocorrelation> Study::Lag1Autocorrelations() const {
  std::size_t variables = 0;
  for (const auto& s : simulators_) variables = std::max(variables, s->series.size());
  std::vector<Lag1Autocorrelation> result;
  for (std::size_t pv = 0; pv < variables; ++pv) {
    std::vector<const BatchSeries*> series;
    for (const auto& s : simulators_) {
      if (pv < s->series.size()) series.push_back(&s->series[pv]);
    }
    result.push_back(PooledLag1(series));
  }
  return result;
}


long long Study::CopyBlocks(int descriptor, std::string& error) {
  if (regions_) return SettleRegions(descriptor, error);
  long long total = 0;
  for (const auto& s : simulators_) total += s->spool.Size();
  long long written = 0;
  for (const auto& s : simulators_) {
    if (!s->spool.IsOpen()) continue;
    const auto progress = [&](long long copied) { PrintCopyProgress(written + copied, total, false); };
    const long long copied = s->spool.CopyInto(descriptor, progress, error);
    if (copied < 0) return -1;
    written += copied;
  }
  PrintCopyProgress(written, total, true);
  return written;
}

// Each simulator's blocks are in its region, those that did not fit it in
// its spill: the regions are moved to lie back to back (when a simulator
// delivered more or less than foretold), each spill is copied after its
// region, and the file is cut at the last block.
long long Study::SettleRegions(int descriptor, std::string& error) {
  std::vector<RegionFill> fills;
  long long total = 0;
  for (const auto& s : simulators_) {
    if (s->spool.IsOpen() && !s->spool.Flush(error)) return -1;
    fills.push_back({s->spool.Start(), s->spool.Size(), s->spill.IsOpen() ? s->spill.Size() : 0});
    total += fills.back().spilled;
  }
  const std::vector<RegionMove> moves = PlanRegionMoves(fills, BinFileHeader::kSize);
  for (const RegionMove& move : moves) total += move.length;
  long long done = 0;
  for (const RegionMove& move : moves) {
    const auto progress = [&](long long moved) { PrintCopyProgress(done + moved, total, false); };
    if (!file_writes::MoveWithin(descriptor, move.from, move.to, move.length, kMovePiece, progress)) {
      error = std::string("cannot move the observations within the file: ") + std::strerror(errno);
      return -1;
    }
    done += move.length;
  }
  const std::vector<long long> finals = FinalStarts(fills, BinFileHeader::kSize);
  long long end = BinFileHeader::kSize;
  for (std::size_t k = 0; k < simulators_.size(); ++k) {
    end = finals[k] + fills[k].held;
    SimulatorSpool& spill = simulators_[k]->spill;
    simulators_[k]->spool.Close();
    if (!spill.IsOpen()) continue;
    const auto progress = [&](long long copied) { PrintCopyProgress(done + copied, total, false); };
    const long long copied = ::lseek(descriptor, end, SEEK_SET) < 0 ? -1 : spill.CopyInto(descriptor, progress, error);
    if (copied < 0) return -1;
    done += copied;
    end += copied;
  }
  if (::ftruncate(descriptor, end) != 0 || ::lseek(descriptor, end, SEEK_SET) < 0) {
    error = std::strerror(errno);
    return -1;
  }
  PrintCopyProgress(done, total, true);
  return end - BinFileHeader::kSize;
}

bool Study::FinishBlockFiles(std::vector<long long>& bytes, std::string& error) {
  bytes.clear();
  for (const auto& s : simulators_) {
    if (s->spool.IsOpen() && !s->spool.Flush(error)) return false;
    bytes.push_back(s->spool.Size());
    s->spool.Close();
  }
  return true;
}

// The copy of a large study takes a while: it has a progress line of its
// own, at the study's interval.
void Study::PrintCopyProgress(long long copied, long long total, bool final) {
  if (settings_.quiet) return;
  const double now = Elapsed();
  const double interval = progressOnTerminal_ ? kTerminalProgressInterval : kPlainProgressInterval;
  if (final) {
    if (progressOnTerminal_) std::cerr << "\r\033[K" << std::flush;
    return;
  }
  if (now - lastProgress_ < interval) return;
  lastProgress_ = now;
  const bool gigabytes = total >= 1000000000;
  const double unit = gigabytes ? 1e9 : 1e6;
  char line[128];
  std::snprintf(line, sizeof line, "writing the merged file: %.1f of %.1f %s", copied / unit, total / unit,
                gigabytes ? "GB" : "MB");
  if (progressOnTerminal_) {
    std::cerr << "\r" << line << "\033[K" << std::flush;
  } else {
    std::cerr << "gpusim-manager: " << line << std::endl;
  }
}
