// The simulation-manager side of SimulatorClass: connection set-up, command
// polling and the messages sent to the manager.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "output/BigEndian.h"
#include "output/QuelixSocket.h"
#include "simulator/SimulatorClass.h"

namespace {

constexpr int kListenBacklog = 100;
constexpr int kFileCommandLength = 512;
constexpr int kRunning = 0;
constexpr int kStopped = 2;

constexpr unsigned char kAcceptMarker = 255;
constexpr unsigned char kQuitMarker = 254;
constexpr unsigned char kCPUTimeMarker = 254;
constexpr unsigned char kObservedValues = 1;

// Doubles converted to big-endian by Output, kept between calls.
std::vector<unsigned char> buffer;
int bufferSize = 100;

// A command 3 count is read like atoi, but saturates instead of overflowing.
int ParseCount(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

// ---------------------------------------------------------------------------
// Connection set-up
// ---------------------------------------------------------------------------

QuelixSocket* SimulatorClass::WaitForSimMgrConnection(int timeoutMs) {
  delete ListenSocket;
  ListenSocket = new QuelixSocket(true);
  QuelixSocket* connection = new QuelixSocket(false);
  if (!BindListenSocket()) {
    delete connection;
    delete ListenSocket;
    ListenSocket = nullptr;
    return nullptr;
  }

  int remaining = timeoutMs;
  for (;;) {
    if (RunState != kRunning) break;
    if (timeoutMs != -1 && remaining <= 0) break;
    if (ListenSocket->Select(AcceptPollMs) && ListenSocket->Accept(connection)) {
      SendReply(connection, kAcceptMarker, 1);
      return connection;
    }
    if (timeoutMs != -1) remaining -= AcceptPollMs;
  }
  delete connection;
  return nullptr;
}

void SimulatorClass::ConnectToSimMgr() {
  SimMgrSocket = WaitForSimMgrConnection(SimMgrWaitMs);
  if (SimMgrSocket != nullptr) return;
  RunState = kStopped;
  ExitStatus = 1;
  // Without a listener the cause has been reported already.
  if (ListenSocket == nullptr) return;
  std::cerr << "ERROR: No simulation manager connected within " << SimMgrWaitMs / 1000
            << " seconds; nothing is simulated" << std::endl;
}

// Tries Port and the ports after it, each at most once, listens on the one
// that bound and announces it. The socket listens before the announcement, so
// a manager that connects as soon as it reads the line is never refused. A
// socket that could not be created binds nowhere.
bool SimulatorClass::BindListenSocket() {
  if (ListenSocket->Descriptor() < 0) return false;
  for (int tries = 0; tries <= USHRT_MAX; ++tries) {
    if (ListenSocket->Bind(static_cast<unsigned short>(Port), ListenAddress)) {
      if (!ListenSocket->Listen(kListenBacklog)) return false;
      // Port 0 lets the system choose; the line shows the port it chose.
      const unsigned short bound = ListenSocket->LocalPort();
      Port = static_cast<short>(bound);
      std::cout << "REGISTER:  Port: [" << bound << "]" << std::endl;
      return true;
    }
    // Only a busy port moves on to the next; any other failure (an address
    // that is not this machine's) would fail on every port alike.
    if (ListenSocket->GetErrorString() != nullptr) {
      std::cerr << "ERROR: Cannot listen for the simulation manager on "
                << (ListenAddress.empty() ? std::string("every interface") : ListenAddress) << std::endl;
      return false;
    }
    Port = static_cast<short>(static_cast<unsigned short>(Port) + 1);
  }
  std::cerr << "ERROR: No port is free for the simulation manager connection" << std::endl;
  return false;
}

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

void SimulatorClass::ListenToSimMgr(QuelixSocket* socket) {
  if (!socket->Select(CommandPollMs)) {
    if (socket->GetErrorString() != nullptr) {
      std::cout << "Error reading socket 'select'... Exiting." << std::endl;
      RunState = kStopped;
    }
    return;
  }
  unsigned char command = 0;
  if (socket->RecvBlock(&command, 1) < 1) {
    if (socket->GetErrorString() != nullptr) {
      std::cout << "Error reading socket 'read'... Exiting." << std::endl;
    } else {
      // Readable yet nothing to read: the manager has closed the connection,
      // and no report sent from now on could reach it.
      std::cout << "Simulation manager closed the connection... Exiting." << std::endl;
    }
    RunState = kStopped;
    return;
  }

  switch (command) {
    case 1:
      SendReply(socket, kAcceptMarker, 1);
      break;
    case 2:
      std::cout << "SOCKET::Quit" << std::endl;
      SendReply(socket, kQuitMarker, 2);
      RunState = kStopped;
      break;
    case 3:
      HandleFileCommand(socket);
      break;
    default:
      std::cerr << "!! Invalid Response Received by Client " << std::endl;
      std::cerr << "!! Simulation" << std::endl;
      break;
  }
}

// "name;count;;": the run goes on alone, writing to the named binary file
// unless one was configured already. The connection is closed either way.
void SimulatorClass::HandleFileCommand(QuelixSocket* socket) {
  char text[kFileCommandLength + 1];
  socket->RecvBlock(text, kFileCommandLength, ";;");
  SendReply(socket, kAcceptMarker, 3);

  if (BinaryFileName.empty()) {
    const std::string received(text);
    const std::size_t nameEnd = received.find(';');
    const std::string name = received.substr(0, nameEnd);
    std::string countText;
    if (nameEnd != std::string::npos) {
      countText = received.substr(nameEnd + 1, received.find(';', nameEnd + 1) - nameEnd - 1);
    }
    OpenManagerResultsFile(name, ParseCount(countText));
  }

  if (socket == SimMgrSocket) SimMgrSocket = nullptr;
  delete socket;
}

void SimulatorClass::OpenManagerResultsFile(const std::string& name, int batchLimit) {
  MaxBatches = batchLimit;
  BinaryFileName = name;
  if (!name.empty()) {
    BinaryFile = CreateBinFile(name);
    if (BinaryFile->is_open()) return;
    std::cerr << "ERROR: Cannot open the binary results file '" << name << "' named by the simulation manager: "
              << std::strerror(errno) << std::endl;
    BinaryFile.reset();
    BinaryFileName.clear();
  } else if (AsciiFile) {
    return;  // no binary file, but the ASCII file still receives the reports
  } else {
    std::cerr << "ERROR: The simulation manager handed the run over without naming a results file" << std::endl;
  }
  // With the manager gone and no file to write to, every further report
  // would be lost.
  std::cerr << "ERROR: Stopping the simulation: its results have nowhere to go" << std::endl;
  RunState = kStopped;
  ExitStatus = 1;
}

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

void SimulatorClass::SendReply(QuelixSocket* socket, unsigned char marker, unsigned char code) {
  unsigned char length[4];
  unsigned char processId[4];
  BigEndian::PutU32(length, 10);
  BigEndian::PutU32(processId, static_cast<std::uint32_t>(::getpid()));
  SendPiece(socket, nullptr, length, 4);
  SendPiece(socket, nullptr, &marker, 1);
  SendPiece(socket, nullptr, &code, 1);
  SendPiece(socket, nullptr, processId, 4);
}

void SimulatorClass::OutputCPUTime(QuelixSocket* socket, double cpuSeconds) {
  unsigned char length[4];
  const unsigned char marker = kCPUTimeMarker;
  const unsigned char client = static_cast<unsigned char>(ClientId);
  unsigned char experiment[2];
  unsigned char seconds[8];
  BigEndian::PutU32(length, 12);
  BigEndian::PutU16(experiment, static_cast<std::uint16_t>(Experiment));
  BigEndian::PutDouble(seconds, cpuSeconds);
  SendPiece(socket, nullptr, length, 4);
  SendPiece(socket, nullptr, &marker, 1);
  SendPiece(socket, nullptr, &client, 1);
  SendPiece(socket, nullptr, experiment, 2);
  SendPiece(socket, nullptr, seconds, 8);
}

void SimulatorClass::WriteObservationBlock(const int32_t* counts, const double* values, int numPVs,
                                           int rowStride) {
  std::uint32_t entries = 0;
  std::uint32_t observations = 0;
  for (int i = 0; i < numPVs; ++i) {
    if (counts[i] <= 0) continue;
    ++entries;
    observations += static_cast<std::uint32_t>(counts[i]);
  }
  QuelixSocket* socket = SimMgrSocket;
  std::ostream* file = BinaryFile.get();

  unsigned char length[4];
  const unsigned char client = static_cast<unsigned char>(ClientId);
  unsigned char experiment[2];
  unsigned char entryCount[2];
  BigEndian::PutU32(length, 9 + 7 * entries + 8 * observations);
  BigEndian::PutU16(experiment, static_cast<std::uint16_t>(Experiment));
  BigEndian::PutU16(entryCount, static_cast<std::uint16_t>(entries));
  SendPiece(socket, file, length, 4);
  SendPiece(socket, file, &client, 1);
  SendPiece(socket, file, experiment, 2);
  SendPiece(socket, file, entryCount, 2);

  for (int i = 0; i < numPVs; ++i) {
    if (counts[i] <= 0) continue;
    unsigned char index[2];
    const unsigned char kind = kObservedValues;
    unsigned char count[4];
    BigEndian::PutU16(index, static_cast<std::uint16_t>(i));
    BigEndian::PutU32(count, static_cast<std::uint32_t>(counts[i]));
    SendPiece(socket, file, index, 2);
    SendPiece(socket, file, &kind, 1);
    SendPiece(socket, file, count, 4);
    Output(socket, file, values + static_cast<std::size_t>(i) * rowStride, counts[i]);
  }
  if (file != nullptr) {
    errno = 0;
    file->flush();
    if (!BinaryFile->good()) ReportResultsFileFailure(BinaryFile, "binary", BinaryFileName);
  }
}

int SimulatorClass::Output(QuelixSocket* socket, std::ostream* stream, const double* values, int count) {
  if (count > bufferSize) bufferSize = count;
  if (buffer.size() < static_cast<std::size_t>(bufferSize) * 8) buffer.resize(static_cast<std::size_t>(bufferSize) * 8);
  for (int j = 0; j < count; ++j) BigEndian::PutDouble(&buffer[static_cast<std::size_t>(j) * 8], values[j]);
  return SendPiece(socket, stream, buffer.data(), count * 8);
}

// Repeats a short send until the whole piece is out: the manager parses a
// byte stream, and a piece sent in part would shift everything after it.
int SimulatorClass::SendPiece(QuelixSocket* socket, std::ostream* file, const unsigned char* bytes, int length) {
  if (length <= 0) return 0;
  if (socket != nullptr) {
    int sent = 0;
    while (sent < length) {
      const int result = socket->Send(bytes + sent, length - sent);
      if (result < 1) {
        if (!SimMgrSendFailed) {
          std::cerr << "ERROR: Sending to the simulation manager failed (errno=" << errno
                    << "); stopping the simulation" << std::endl;
        }
        SimMgrSendFailed = true;
        if (file != nullptr) BinaryFileCut = true;
        RunState = kStopped;
        return -1;
      }
      sent += result;
    }
  }
  if (file != nullptr && !BinaryFileCut) file->write(reinterpret_cast<const char*>(bytes), length);
  return length;
}
