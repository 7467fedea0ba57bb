#include "manager/Study.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "manager/MergedRegions.h"
#include "manager/ReceiveBuffer.h"
#include "manager/StudySimulator.h"
#include "output/BinFileHeader.h"

using namespace study_internal;

namespace {

constexpr std::size_t kKeptOutputLines = 4;
const char kRegisterPrefix[] = "REGISTER:  Port: [";

}  // namespace

long Study::ShareOf(int k) const {
  if (settings_.replications <= 0) return 0;
  return settings_.replications / settings_.simulators + (k < settings_.replications % settings_.simulators);
}

// A study of a fixed length (-N, no precision target, no time limit) whose
// variables are known foretells each simulator's bytes. The regions are
// placed only when the whole result fits the file system's free space: a
// study of a huge -N, meant to be stopped by hand, would otherwise place
// its later regions beyond what the disk (or the largest file) can take,
// where every write fails; it keeps the spools instead.
std::vector<long long> Study::ForetoldRooms() const {
  if (!settings_.keepBlocks || mergedFile_ < 0 || !settings_.blockFiles.empty() || settings_.replications <= 0 ||
      settings_.precision.Given() || settings_.maxSeconds > 0 || settings_.reportedVariables <= 0) {
    return {};
  }
  const ReportShape shape{settings_.reportSize, settings_.reportedVariables,
                          settings_.steadyState ? settings_.warmupBatches : 0};
  std::vector<long long> rooms;
  double total = 0;  // may pass the largest long long
  for (int k = 0; k < settings_.simulators; ++k) {
    rooms.push_back(ForetoldBlockBytes(ShareOf(k), shape));
    total += static_cast<double>(rooms.back());
  }
  struct statvfs space {};
  if (::fstatvfs(mergedFile_, &space) != 0 ||
      total > static_cast<double>(space.f_bavail) * static_cast<double>(space.f_frsize)) {
    return {};
  }
  return rooms;
}

void Study::StartAll(Launcher& launcher) {
  const std::vector<unsigned> seeds =
      SimulatorSeeds(settings_.baseSeed, settings_.firstSeedIndex + settings_.simulators);
  // A folder's files are all written in place; of the merged file, every
  // simulator's region when their sizes can be foretold, else only the
  // first simulator's blocks.
  receiveBufferBytes_ = receive_buffer::BytesFor(settings_.simulators, receive_buffer::SystemLargest());
  const std::vector<long long> rooms = ForetoldRooms();
  regions_ = !rooms.empty();
  long long regionStart = BinFileHeader::kSize;
  const int inPlace = regions_ ? settings_.simulators
                              : settings_.blockFiles.empty() ? 1 : static_cast<int>(settings_.blockFiles.size());
  for (int k = 0; k < settings_.simulators; ++k) {
    auto s = std::make_unique<Simulator>();
    s->facts.index = k;
    s->facts.seed = seeds[settings_.firstSeedIndex + k];
    s->facts.share = ShareOf(k);
    s->stream = std::make_unique<SimulatorStream>(settings_.maxMessageSize);
    std::string spoolError;
    s->spool.SetBufferSize(SimulatorSpool::BufferSizeFor(inPlace));
    // The first simulator's blocks come first in the merged file: they are
    // written there at once, at their final place.
    if (settings_.keepBlocks && k < static_cast<int>(settings_.blockFiles.size())) {
      s->spool.WriteInPlace(settings_.blockFiles[k], BinFileHeader::kSize);
    } else if (regions_) {
      s->spool.WriteInPlace(mergedFile_, regionStart, rooms[static_cast<std::size_t>(k)]);
      regionStart += rooms[static_cast<std::size_t>(k)];
    } else if (settings_.keepBlocks && k == 0 && mergedFile_ >= 0) {
      s->spool.WriteInPlace(mergedFile_, BinFileHeader::kSize);
    } else if (settings_.keepBlocks && !s->spool.Create(settings_.spoolFolder, spoolError)) {
      s->lost = true;
      s->ended = true;
      s->facts.fault = "no temporary file for its observations: " + spoolError;
    }
    s->startDeadline = startTime_ + settings_.startTimeoutSeconds;
    simulators_.push_back(std::move(s));
  }
  for (auto& s : simulators_) {
    if (settings_.keepBlocks && !s->spool.IsOpen()) {
      std::cerr << "gpusim-manager: " << s->Name() << ": " << s->facts.fault << std::endl;
      continue;
    }
    LaunchRequest request;
    request.executable = settings_.gpusim;
    request.index = s->facts.index;
    request.arguments = {"-w", "-p", "0", "-s", std::to_string(s->facts.seed), "-c", std::to_string(s->facts.index),
                         "-n", std::to_string(settings_.reportSize)};
    if (s->facts.share > 0) {
      // A steady-state simulator also runs the batches its warm-up drops.
      const long warmup = settings_.steadyState ? settings_.warmupBatches : 0;
      request.arguments.push_back("-N");
      request.arguments.push_back(std::to_string(s->facts.share + warmup));
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
  receive_buffer::Apply(s.socket, receiveBufferBytes_);
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
