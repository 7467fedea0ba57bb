// hostile-simulator: a stand-in for gpusim that speaks the manager's protocol
// and then misbehaves in one chosen way, for the manager's fault tests.
//
//   hostile-simulator <mode> <file> [the manager's simulator arguments...]
//
// It listens on 127.0.0.1, prints the REGISTER line, accepts the manager,
// greets it with its own process id and sends reports of -n observations of
// six variables (-N of them in all, when given), each a CPU-time message and
// a block, polling for commands between reports. Command 2 is answered and,
// unless the mode says otherwise, ends the process with status 0. <file> is
// where the mode records what a test needs to check (a process id, a count).
//
// Modes:
//   fork-exit      after the first report, forks: the parent exits 0, the
//                  child keeps the connection open for 200 s (its process
//                  id goes to <file>);
//   fork-session   the same, the child in a session of its own;
//   late           after the first report, forks: the parent exits 0, the
//                  child delivers the rest of -N, a report per 20 ms (its
//                  process id goes to <file>);
//   late-greeting  the same, but the parent exits as soon as it has
//                  accepted, and the child greets (as its parent) 0.2 s
//                  later, then delivers all of -N at that pace;
//   nan, inf       the second report holds one NaN (infinity) of variable 1;
//   huge           variable 0 takes the values 1e308, 0, 0 in turn;
//   half           delivers half of its -N and exits 0;
//   empty-after-quit  after command 2, empty blocks as fast as it can;
//   flood          ignores SIGTERM and never stops sending, not even when
//                  command 2 comes; once the manager stops reading, <file>
//                  gets the observations per variable it has sent;
//   uneven         values that tell the simulators apart (by -c); client
//                  0, 3, 6... delivers half of its -N, 1, 4, 7... a report
//                  more than its -N, the others their -N.
//
// Given --metadata among its arguments, it describes its six variables as
// gpusim does (named as the GPU model's) and exits, whatever its mode.
//
// Not part of the product: built for the tests only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "fakes/StandInPeer.h"
#include "protocol/WireFormat.h"

namespace {

constexpr int kVariables = 6;

struct Settings {
  std::string mode;
  std::string file;
  int reportSize = 1000;
  long share = 0;  // 0: no limit
  int client = 0;
};

Settings Parse(int argc, char** argv) {
  Settings settings;
  settings.mode = argv[1];
  settings.file = argv[2];
  for (int i = 3; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-n") == 0) settings.reportSize = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "-N") == 0) settings.share = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "-c") == 0) settings.client = std::atoi(argv[i + 1]);
  }
  if (settings.mode == "half" || (settings.mode == "uneven" && settings.client % 3 == 0)) settings.share /= 2;
  if (settings.mode == "uneven" && settings.client % 3 == 1) settings.share += settings.reportSize;
  return settings;
}

using stand_in::SendAll;

int Listen() { return stand_in::ListenAndRegister("hostile-simulator"); }

void Greet(int connection, unsigned char marker, unsigned char code, pid_t as = ::getpid()) {
  unsigned char reply[protocol::kReplySize];
  protocol::EncodeReply({marker, code, static_cast<std::uint32_t>(as)}, reply);
  SendAll(connection, reply, sizeof reply);
}

// The values of report number `report` for variable pv.
double Value(const Settings& settings, long report, int pv, int j) {
  if (settings.mode == "huge" && pv == 0) return j % 3 == 0 ? 1e308 : 0.0;
  if (report == 1 && pv == 1 && j == 7) {
    if (settings.mode == "nan") return std::numeric_limits<double>::quiet_NaN();
    if (settings.mode == "inf") return std::numeric_limits<double>::infinity();
  }
  const double base = settings.mode == "uneven" ? 10.0 * settings.client : 0.0;
  return base + static_cast<double>((report + j + pv) % 3);
}

bool SendReport(int connection, const Settings& settings, long report, int count) {
  std::vector<double> values(static_cast<std::size_t>(kVariables) * count);
  std::vector<std::int32_t> counts(kVariables, count);
  for (int pv = 0; pv < kVariables; ++pv) {
    for (int j = 0; j < count; ++j) values[static_cast<std::size_t>(pv) * count + j] = Value(settings, report, pv, j);
  }
  unsigned char cpu[protocol::kCPUTimeSize];
  protocol::EncodeCPUTime({0, 0, 0.001 * report}, cpu);
  const std::string block = protocol::EncodeBlock(0, 0, counts.data(), values.data(), kVariables, count);
  return SendAll(connection, cpu, sizeof cpu) && SendAll(connection, block.data(), block.size());
}

// 2 once command 2 has arrived (and been answered), -1 when the connection
// has ended, 0 otherwise.
int PollCommand(int connection, int timeoutMs) {
  pollfd watched{connection, POLLIN, 0};
  if (::poll(&watched, 1, timeoutMs) != 1) return 0;
  unsigned char command = 0;
  const ssize_t got = ::recv(connection, &command, 1, 0);
  if (got <= 0) return -1;
  if (command == protocol::kQuitCommand) {
    Greet(connection, protocol::kQuitMarker, 2);
    return 2;
  }
  return 0;
}

void Record(const std::string& file, long value) { std::ofstream(file) << value << "\n"; }

// The connection outlives the process the manager started.
[[noreturn]] void LeaveConnectionToChild(const Settings& settings, bool ownSession) {
  const pid_t child = ::fork();
  if (child != 0) ::_exit(0);
  if (ownSession) ::setsid();
  Record(settings.file, ::getpid());
  ::sleep(200);
  ::_exit(0);
}

[[noreturn]] void Flood(int connection, const Settings& settings, long report, long sent) {
  while (SendReport(connection, settings, report++, settings.reportSize)) sent += settings.reportSize;
  Record(settings.file, sent);
  for (;;) ::pause();  // until SIGKILL
}

[[noreturn]] void AfterQuit(int connection, const Settings& settings) {
  if (settings.mode == "empty-after-quit") {
    const std::int32_t none = 0;
    const std::string empty = protocol::EncodeBlock(0, 0, &none, nullptr, 1, 0);
    while (SendAll(connection, empty.data(), empty.size())) {
    }
  }
  ::close(connection);
  ::_exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: hostile-simulator <mode> <file> [arguments...]\n");
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--metadata") != 0) continue;
    std::printf("# gpusim-metadata\nformat=gpusim-metadata 1\nmodel=hostile stand-in\nseed=31415\n");
    const char* names[] = {"scheduling", "write_ok", "write_ko", "compute_ok", "compute_ko", "clock_steps"};
    for (int pv = 0; pv < 6; ++pv) std::printf("variable=%d,%s,instant-of-time,1\n", pv, names[pv]);
    return 0;
  }
  const Settings settings = Parse(argc, argv);
  if (settings.mode == "flood") ::signal(SIGTERM, SIG_IGN);
  const int listener = Listen();
  const int connection = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  if (connection < 0) return 1;
  if (settings.mode == "late-greeting") {
    const pid_t parent = ::getpid();
    if (::fork() != 0) ::_exit(0);
    Record(settings.file, ::getpid());
    ::usleep(200000);
    Greet(connection, protocol::kAcceptMarker, 1, parent);
  } else {
    Greet(connection, protocol::kAcceptMarker, 1);
  }

  if (settings.mode == "flood") Flood(connection, settings, 0, 0);
  long sent = 0;
  for (long report = 0; settings.share == 0 || sent < settings.share; ++report) {
    const int count = static_cast<int>(settings.share == 0 ? settings.reportSize
                                                           : std::min<long>(settings.reportSize, settings.share - sent));
    if (!SendReport(connection, settings, report, count)) return 1;
    sent += count;
    if (settings.mode == "fork-exit" || settings.mode == "fork-session") {
      LeaveConnectionToChild(settings, settings.mode == "fork-session");
    }
    if (settings.mode == "late" && report == 0) {
      if (::fork() != 0) ::_exit(0);
      Record(settings.file, ::getpid());
    }
    const int command = PollCommand(connection, 0);
    if (command < 0) return 1;
    if (command == 2) AfterQuit(connection, settings);
    // Reports at a modest pace, so that a time limit comes between them.
    ::usleep(settings.mode.compare(0, 4, "late") == 0 ? 20000 : 2000);
  }
  // The share is delivered: the end of the connection tells the manager.
  ::close(connection);
  return 0;
}
