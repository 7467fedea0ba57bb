// fast-simulator: a stand-in for gpusim that speaks the simulator's side of
// the manager's protocol and sends valid observation blocks as fast as the
// connection takes them, so that what is measured is the manager alone.
//
//   fast-simulator [the manager's simulator arguments...]
//   fast-simulator --emit [the same arguments]
//
// It listens on 127.0.0.1, prints the REGISTER line, accepts the manager,
// greets it and sends reports of -n observations of six variables (-N in
// all when given, else until command 2), each a CPU-time message and a
// block. Command 2 is answered and ends the process with status 0; so does
// the end of its share. The values are a function of -s (the seed), the
// report and the variable only, so --emit writes to standard output exactly
// the blocks the same arguments send, with no connection: what the
// manager's merged file must hold for this simulator.
//
// Given --metadata it describes its six variables as gpusim does and exits.
//
// FAST_SIMULATOR_RATE=V in the environment paces it at V values per second
// (about what a real simulator sends: the GPU model's is 4 to 5 M), so that a
// benchmark can measure the manager reading connections that never fill, as
// on a cluster, rather than connections flooded by stand-ins on its own host.
//
// Sending costs a copy per block: the values come pre-encoded from a pool
// made once from the seed, each report taking a window of it.
//
// Not part of the product: built for the benchmarks and the scale tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fakes/StandInPeer.h"
#include "protocol/WireFormat.h"
#include "results/BigEndian.h"

namespace {

constexpr int kVariables = 6;
constexpr std::size_t kPoolValues = 1 << 16;

struct Settings {
  unsigned seed = 1;
  int reportSize = 1000;
  long share = 0;  // 0: until command 2
  bool emit = false;
  double valuesPerSecond = 0;  // 0: as fast as the connection takes them
};

Settings Parse(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--emit") == 0) settings.emit = true;
    if (hasValue && std::strcmp(argv[i], "-s") == 0) {
      settings.seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    }
    if (hasValue && std::strcmp(argv[i], "-n") == 0) settings.reportSize = std::atoi(argv[i + 1]);
    if (hasValue && std::strcmp(argv[i], "-N") == 0) settings.share = std::atol(argv[i + 1]);
  }
  if (settings.reportSize < 1) settings.reportSize = 1;
  if (const char* rate = std::getenv("FAST_SIMULATOR_RATE")) settings.valuesPerSecond = std::atof(rate);
  return settings;
}

std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t x = (state += 0x9E3779B97F4A7C15ull);
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Big-endian values around 1000 with a spread of a few units: a pool twice
// the window a report takes, so that every window fits.
std::vector<unsigned char> EncodedPool(unsigned seed, std::size_t values) {
  std::vector<unsigned char> pool(8 * values);
  std::uint64_t state = seed;
  for (std::size_t j = 0; j < values; ++j) {
    const double uniform = static_cast<double>(SplitMix64(state) >> 11) * 0x1.0p-53;
    BigEndian::PutDouble(pool.data() + 8 * j, 1000.0 + 8.0 * uniform);
  }
  return pool;
}

// Report `report` of `count` observations per variable, as one block.
class BlockMaker {
 public:
  explicit BlockMaker(const Settings& settings)
      : pool_(EncodedPool(settings.seed, std::max<std::size_t>(kPoolValues, 2u * settings.reportSize))),
        windows_(pool_.size() / 8 - settings.reportSize + 1) {}

  const std::vector<unsigned char>& Make(long report, int count) {
    const std::uint32_t length = protocol::BlockLength(kVariables, static_cast<std::uint32_t>(count) * kVariables);
    block_.resize(length);
    unsigned char* at = block_.data();
    unsigned char header[protocol::kBlockHeaderSize];
    protocol::EncodeBlockHeader(length, 0, 0, kVariables, header);
    at = Put(at, header, sizeof header);
    for (int pv = 0; pv < kVariables; ++pv) {
      unsigned char entry[protocol::kEntryHeaderSize];
      protocol::EncodeEntryHeader(static_cast<unsigned>(pv), count, entry);
      at = Put(at, entry, sizeof entry);
      const std::size_t window = static_cast<std::size_t>(report * 7919 + pv * 104729) % windows_;
      at = Put(at, pool_.data() + 8 * window, 8u * static_cast<std::size_t>(count));
    }
    return block_;
  }

 private:
  static unsigned char* Put(unsigned char* at, const unsigned char* bytes, std::size_t size) {
    std::memcpy(at, bytes, size);
    return at + size;
  }

  std::vector<unsigned char> pool_;
  std::size_t windows_;
  std::vector<unsigned char> block_;
};

using stand_in::SendAll;

int AcceptManager() {
  const int listener = stand_in::ListenAndRegister("fast-simulator");
  const int connection = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  return connection;
}

bool Reply(int connection, unsigned char marker, unsigned char code) {
  unsigned char reply[protocol::kReplySize];
  protocol::EncodeReply({marker, code, static_cast<std::uint32_t>(::getpid())}, reply);
  return SendAll(connection, reply, sizeof reply);
}

// True once command 2 has come (and been answered) or the manager has gone.
bool QuitAsked(int connection) {
  unsigned char command = 0;
  const ssize_t got = ::recv(connection, &command, 1, MSG_DONTWAIT);
  if (got == 0) return true;
  if (got < 0) return false;
  if (command != protocol::kQuitCommand) return false;
  Reply(connection, protocol::kQuitMarker, 2);
  return true;
}

int Count(const Settings& settings, long sent) {
  return static_cast<int>(settings.share == 0 ? settings.reportSize
                                              : std::min<long>(settings.reportSize, settings.share - sent));
}

int Emit(const Settings& settings) {
  BlockMaker maker(settings);
  long sent = 0;
  for (long report = 0; settings.share > 0 && sent < settings.share; ++report) {
    const int count = Count(settings, sent);
    const std::vector<unsigned char>& block = maker.Make(report, count);
    if (std::fwrite(block.data(), 1, block.size(), stdout) != block.size()) return 1;
    sent += count;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// Sleeps until `sent` replications are due at the paced rate.
class Pace {
 public:
  explicit Pace(double valuesPerSecond) : valuesPerSecond_(valuesPerSecond) {
    ::clock_gettime(CLOCK_MONOTONIC, &start_);
  }

  void Wait(long sent) const {
    if (valuesPerSecond_ <= 0) return;
    const double due = static_cast<double>(sent) * kVariables / valuesPerSecond_;
    timespec until = start_;
    const auto seconds = static_cast<time_t>(due);
    until.tv_sec += seconds;
    until.tv_nsec += static_cast<long>((due - static_cast<double>(seconds)) * 1e9);
    if (until.tv_nsec >= 1000000000L) {
      until.tv_sec += 1;
      until.tv_nsec -= 1000000000L;
    }
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
  }

 private:
  double valuesPerSecond_;
  timespec start_{};
};

int Serve(const Settings& settings) {
  BlockMaker maker(settings);
  const int connection = AcceptManager();
  if (connection < 0 || !Reply(connection, protocol::kAcceptMarker, 1)) return 1;
  const Pace pace(settings.valuesPerSecond);
  long sent = 0;
  for (long report = 0; settings.share == 0 || sent < settings.share; ++report) {
    pace.Wait(sent);
    const int count = Count(settings, sent);
    unsigned char cpu[protocol::kCPUTimeSize];
    protocol::EncodeCPUTime({0, 0, 0.001 * static_cast<double>(report)}, cpu);
    const std::vector<unsigned char>& block = maker.Make(report, count);
    if (!SendAll(connection, cpu, sizeof cpu) || !SendAll(connection, block.data(), block.size())) return 1;
    sent += count;
    if (QuitAsked(connection)) break;
  }
  ::close(connection);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--metadata") != 0) continue;
    std::printf("# gpusim-metadata\nformat=gpusim-metadata 1\nmodel=fast stand-in\nseed=1\n");
    for (int pv = 0; pv < kVariables; ++pv) std::printf("variable=%d,v%d,instant-of-time,1\n", pv, pv);
    return 0;
  }
  const Settings settings = Parse(argc, argv);
  return settings.emit ? Emit(settings) : Serve(settings);
}
