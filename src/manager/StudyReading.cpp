#include "manager/Study.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>

#include "manager/ReceiveBuffer.h"
#include "manager/StudySimulator.h"
#include "results/BigEndian.h"

using namespace study_internal;

namespace {

// What one connection may deliver at a wake-up before the others have
// their turn: twice the most its receive buffer can hold (the kernel
// doubles the largest share asked), so that a flooding sender's backlog is
// taken in one wake-up whatever the piece each read takes. (A cap of
// sixteen reads of 256 kB made one flooding simulator cost the manager 3.0
// ns per value instead of 1.7.)
constexpr std::size_t kBytesPerWakeUp = 4 * receive_buffer::kLargestBytes;

}  // namespace

// Takes the messages of one simulator's stream. A fault is recorded and
// acted on after the feed, so that the stream is never torn down under it.
// It touches only its simulator and reads the study's settings, so that the
// simulators of one wake-up can be read on several threads; what concerns
// the whole study (the stopping rules, a spool that cannot be written) is
// left in the simulator for Settle. Given judge, it hands each block to the
// stopping rules as it comes (one ingest thread: the study stops at the
// block that met its target).
class Study::Handler : public SimulatorStream::Handler {
 public:
  Handler(const Study& study, Simulator& simulator, Study* judge)
      : study_(study), s_(simulator), judge_(judge) {}

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
      // Its process may have ended while the greeting was on its way (a
      // short run, or one that left its connection to a child): the
      // connection then gets the few seconds any ended process's gets.
      if (s_.ended) s_.AwaitEndedConnection(Now());
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
    if (!Spool(bytes, size, view)) return;
    ++s_.facts.blocks;
    ++s_.freshBlocks;
    for (std::size_t e = 0; e < view.entries.size(); ++e) {
      const protocol::BlockEntry& entry = view.entries[e];
      const unsigned pv = entry.pv;
      if (pv >= s_.moments.size()) s_.moments.resize(pv + 1);
      if (pv >= s_.received.size()) s_.received.resize(pv + 1);
      if (pv >= s_.fresh.size()) s_.fresh.resize(pv + 1);
      s_.moments[pv].Merge(blockMoments_[e]);
      s_.received[pv] += entry.count;
      s_.fresh[pv].Merge(blockMoments_[e]);
      if (study_.settings_.steadyState) FollowBatches(entry, warmup_[e]);
    }
    if (judge_ != nullptr) {
      judge_->TakeFresh(s_);
      judge_->OnObservations();
    }
  }

  std::string fault;

 private:
  void Fault(const std::string& text) {
    if (fault.empty()) fault = text;
  }

  // The moments of every entry of the block past the simulator's warm-up,
  // into blockMoments_, the warm-up values of each entry into warmup_, and
  // the block's largest count; false (a fault) for a block with a value
  // that is not a finite number, or without observations after command 2.
  bool Measure(const protocol::BlockView& view) {
    blockMoments_.resize(view.entries.size());
    warmup_.resize(view.entries.size());
    most_ = 0;
    for (std::size_t e = 0; e < view.entries.size(); ++e) {
      const protocol::BlockEntry& entry = view.entries[e];
      warmup_[e] = WarmupValues(entry);
      long nonFinite = -1;
      blockMoments_[e] = MomentsOfEncoded(entry.values + protocol::kValueSize * warmup_[e], entry.count - warmup_[e],
                                          &nonFinite);
      if (nonFinite >= 0) {
        const double value = BigEndian::GetDouble(entry.values + protocol::kValueSize * (warmup_[e] + nonFinite));
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

  // How many of the entry's values, at its front, are still the
  // simulator's warm-up (steady state only).
  long WarmupValues(const protocol::BlockEntry& entry) const {
    if (!study_.settings_.steadyState) return 0;
    const long seen = entry.pv < s_.received.size() ? s_.received[entry.pv] : 0;
    return std::min<long>(entry.count, std::max(0L, study_.settings_.warmupBatches - seen));
  }

  // Keeps the block in the simulator's spool, without its warm-up values:
  // the merged file holds exactly the observations the figures count.
  bool Spool(const unsigned char* bytes, std::size_t size, const protocol::BlockView& view) {
    if (!s_.spool.IsOpen() && !s_.spill.IsOpen()) return true;
    const bool whole = std::all_of(warmup_.begin(), warmup_.end(), [](long w) { return w == 0; });
    if (!whole) {
      KeptPart(view);
      if (kept_.size() == protocol::kBlockHeaderSize) return true;  // nothing past the warm-up
      bytes = kept_.data();
      size = kept_.size();
    }
    std::string error;
    SimulatorSpool* keeper = KeeperOf(size, error);
    if (keeper == nullptr || !keeper->Append(bytes, size, error)) {
      Fault("its block could not be kept: " + error);
      s_.spoolFailed = true;
      return false;
    }
    return true;
  }

  // The simulator's spool, unless it is a region the block does not fit:
  // then the block and every one after it go to a spool of their own, made
  // now (MergedRegions.h). Null with error set when it cannot be made.
  SimulatorSpool* KeeperOf(std::size_t size, std::string& error) {
    if (!s_.spill.IsOpen() && s_.spool.Fits(size)) return &s_.spool;
    if (!s_.spill.IsOpen() && !s_.spill.Create(study_.settings_.spoolFolder, error)) return nullptr;
    return &s_.spill;
  }

  // The block without its warm-up values, into kept_: entries left empty
  // are left out, as a simulator leaves out a variable without observations.
  void KeptPart(const protocol::BlockView& view) {
    std::uint32_t entries = 0;
    std::uint32_t values = 0;
    for (std::size_t e = 0; e < view.entries.size(); ++e) {
      const long kept = view.entries[e].count - warmup_[e];
      entries += kept > 0;
      values += static_cast<std::uint32_t>(kept);
    }
    kept_.assign(protocol::BlockLength(entries, values), 0);
    unsigned char* at = kept_.data();
    unsigned char header[protocol::kBlockHeaderSize];
    protocol::EncodeBlockHeader(static_cast<std::uint32_t>(kept_.size()), view.client, view.experiment, entries,
                                header);
    at = std::copy(header, header + sizeof header, at);
    for (std::size_t e = 0; e < view.entries.size(); ++e) {
      const protocol::BlockEntry& entry = view.entries[e];
      const long kept = entry.count - warmup_[e];
      if (kept <= 0) continue;
      unsigned char entryHeader[protocol::kEntryHeaderSize];
      protocol::EncodeEntryHeader(entry.pv, static_cast<std::int32_t>(kept), entryHeader);
      at = std::copy(entryHeader, entryHeader + sizeof entryHeader, at);
      const unsigned char* from = entry.values + protocol::kValueSize * warmup_[e];
      at = std::copy(from, from + protocol::kValueSize * kept, at);
    }
  }

  void FollowBatches(const protocol::BlockEntry& entry, long warmup) {
    if (entry.pv >= s_.series.size()) s_.series.resize(entry.pv + 1);
    for (long i = warmup; i < entry.count; ++i) {
      s_.series[entry.pv].Add(BigEndian::GetDouble(entry.values + protocol::kValueSize * i));
    }
  }

  const Study& study_;
  Simulator& s_;
  Study* judge_;
  std::vector<Moments> blockMoments_;
  std::vector<long> warmup_;
  std::vector<unsigned char> kept_;
  long most_ = 0;
};

// ---------------------------------------------------------------------------
// The connection
// ---------------------------------------------------------------------------

void Study::ReadSocket(Simulator& s) { Settle(s, Ingest(s, readBuffer_, this)); }

Study::ReadResult Study::Ingest(Simulator& s, std::vector<unsigned char>& buffer, Study* judge) const {
  ReadResult result;
  const std::size_t readsPerWakeUp = std::max<std::size_t>(1, kBytesPerWakeUp / buffer.size());
  for (std::size_t reads = 0; reads < readsPerWakeUp; ++reads) {
    if (s.socket < 0) return result;
    const ssize_t got = ::recv(s.socket, buffer.data(), buffer.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return result;
    if (got <= 0) {
      result.kind = ReadResult::kClosed;
      return result;
    }
    s.bytesRead += got;
    Handler handler(*this, s, judge);
    if (!s.stream->Feed(buffer.data(), static_cast<std::size_t>(got), handler)) {
      result.kind = ReadResult::kFault;
      result.fault = s.stream->Error();
    } else if (!handler.fault.empty()) {
      result.kind = ReadResult::kFault;
      result.fault = handler.fault;
    } else if (s.pastBound) {
      result.kind = ReadResult::kPastBound;
    }
    if (result.kind != ReadResult::kMore) return result;
    // One ingest thread judges each block as it comes: a stop it decides
    // closes or quits connections, this one included.
    if (judge != nullptr) judge->Settle(s, result);
  }
  return result;
}

void Study::Settle(Simulator& s, const ReadResult& result) {
  TakeFresh(s);
  if (s.spoolFailed) {
    s.spoolFailed = false;
    keptBlocksLost_ = true;
    BeginStop(StopReason::kFailed, "the observations could not be written to disk");
  }
  switch (result.kind) {
    case ReadResult::kMore:
      return;
    case ReadResult::kClosed:
      if (s.stream->Pending() > 0) {
        std::cerr << "gpusim-manager: " << s.Name() << ": connection ended inside a message; its "
                  << s.stream->Pending() << " bytes are not kept" << std::endl;
      }
      if (!s.lost && !s.quitSent && s.phase != Simulator::Phase::kRunning) {
        Drop(s, "closed the connection before its greeting");
      }
      CloseSocket(s);
      return;
    case ReadResult::kFault:
      Drop(s, result.fault);
      return;
    case ReadResult::kPastBound:
      Disconnect(s, "it sent more than " + std::to_string(kReportsAfterQuit) +
                        " reports after command 2; the rest is not read");
      return;
  }
}

// What the simulator delivered since the stopping rules last looked, into
// the study's running moments (arrival order, for the stopping rules only:
// the figures combine the simulators' own moments in simulator order).
void Study::TakeFresh(Simulator& s) {
  if (s.freshBlocks == 0) return;
  if (s.fresh.size() > running_.size()) running_.resize(s.fresh.size());
  for (std::size_t pv = 0; pv < s.fresh.size(); ++pv) {
    running_[pv].Merge(s.fresh[pv]);
    s.fresh[pv] = Moments();
  }
  totalBlocks_ += s.freshBlocks;
  s.freshBlocks = 0;
}
