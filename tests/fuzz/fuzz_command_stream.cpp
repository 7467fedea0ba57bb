// The simulation manager's command stream: the input is what a manager sends
// over a real loopback connection, then it stops sending. The simulator
// polls for commands until the run stops or the connection is handed over.
//
// Command 3 names a file that the simulator creates: every '/' of the input
// becomes '_' and the process works in a scratch directory of its own, so a
// named file can only land there; each file is removed after its input.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "output/QuelixSocket.h"
#include "simulator/SimulatorClass.h"

namespace {

char scratchDir[] = "/tmp/gpusim-fuzz-stream-XXXXXX";

// Every named file is removed after its input, so the directory is empty.
extern "C" void RemoveScratchDir() { rmdir(scratchDir); }

QuelixSocket* Listener() {
  static QuelixSocket* listener = [] {
    fuzzsupport::SilenceStandardStreams();
    if (mkdtemp(scratchDir) == nullptr || chdir(scratchDir) != 0) std::abort();
    std::atexit(RemoveScratchDir);
    auto* socket = new QuelixSocket();
    if (!socket->Bind(0) || !socket->Listen(4)) std::abort();
    return socket;
  }();
  return listener;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QuelixSocket* listener = Listener();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (char& c : bytes) {
    if (c == '/') c = '_';
  }

  QuelixSocket manager;
  if (!manager.Connect("127.0.0.1", listener->LocalPort())) std::abort();
  auto connection = std::make_unique<QuelixSocket>(false);
  if (!listener->Accept(connection.get())) std::abort();
  if (!bytes.empty() && manager.Send(bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size())) {
    std::abort();
  }
  ::shutdown(manager.Descriptor(), SHUT_WR);

  std::ostringstream out, err;
  SimulatorClass simulator(out, err);
  simulator.MaxBatches = 99;
  simulator.SimMgrSocket = connection.release();
  // Each poll takes at least one byte or ends the run.
  for (std::size_t polls = 0; polls <= size + 1 && simulator.SimMgrSocket != nullptr && simulator.RunState == 0;
       ++polls) {
    simulator.ListenToSimMgr(simulator.SimMgrSocket);
  }
  if (simulator.SimMgrSocket != nullptr && simulator.RunState == 0) __builtin_trap();
  // The manager resets the connection instead of closing it: a million
  // closed connections would otherwise wait out TIME_WAIT and exhaust the
  // loopback ports.
  const linger reset{1, 0};
  setsockopt(manager.Descriptor(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  manager.Close();
  if (simulator.BinaryFile) {
    simulator.BinaryFile.reset();
    std::remove(simulator.BinaryFileName.c_str());
  }
  return 0;
}
