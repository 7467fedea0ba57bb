// The simulation-manager side of SimulatorClass: connection set-up, command
// polling and the messages sent to the manager.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "output/QuelixSocket.h"
#include "protocol/WireFormat.h"
#include "simulator/SimulatorClass.h"

namespace {

constexpr int kListenBacklog = 100;
constexpr int kFileCommandLength = static_cast<int>(protocol::kHandOverTextLimit);
// Longest single sleep of a wait on the manager: a stop signal that arrives
// just before a poll is noticed within this time.
constexpr int kWaitSliceMs = 100;
constexpr int kRunning = 0;
constexpr int kStopped = 2;

using protocol::kAcceptMarker;
using protocol::kQuitMarker;

// Doubles converted to big-endian by Output, kept between calls.
std::vector<unsigned char> buffer;
int bufferSize = 100;

using Clock = std::chrono::steady_clock;

int MillisecondsSince(Clock::time_point start) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string WaitText(int milliseconds) {
  if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
  return std::to_string(milliseconds) + " ms";
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

  const Clock::time_point start = Clock::now();
  for (;;) {
    if (RunState != kRunning || StopRequested()) break;
    int slice = std::min(AcceptPollMs, kWaitSliceMs);
    if (timeoutMs != -1) {
      const int remaining = timeoutMs - MillisecondsSince(start);
      if (remaining <= 0) break;
      slice = std::min(slice, remaining);
    }
    if (ListenSocket->Select(slice) && ListenSocket->Accept(connection)) {
      if (SendBufferBytes > 0) connection->SetSendBuffer(SendBufferBytes);
      SendReply(connection, kAcceptMarker, 1);
      return connection;
    }
  }
  delete connection;
  return nullptr;
}

void SimulatorClass::ConnectToSimMgr() {
  SimMgrSocket = WaitForSimMgrConnection(SimMgrWaitMs);
  if (SimMgrSocket != nullptr) return;
  RunState = kStopped;
  if (StopRequested()) {
    std::cerr << "Stopped by a signal while waiting for the simulation manager; nothing is simulated" << std::endl;
    return;
  }
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
      Port = bound;
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
      EndSimMgrConnection(socket, "The connection to the simulation manager failed", true);
    }
    return;
  }
  unsigned char command = 0;
  if (socket->RecvBlock(&command, 1) < 1) {
    if (socket->GetErrorString() != nullptr) {
      const bool reset = socket->ErrorNumber() == ECONNRESET;
      std::cout << "Error reading socket 'read'... Exiting." << std::endl;
      EndSimMgrConnection(socket,
                          reset ? "The simulation manager reset the connection"
                                : "Reading from the simulation manager failed",
                          true);
    } else {
      // Readable yet nothing to read: the manager has closed the connection,
      // and no report sent from now on could reach it.
      std::cout << "Simulation manager closed the connection... Exiting." << std::endl;
      EndSimMgrConnection(socket, "The simulation manager closed the connection", true);
    }
    return;
  }

  switch (command) {
    case protocol::kStatusCommand:
      SendReply(socket, kAcceptMarker, 1);
      break;
    case protocol::kQuitCommand:
      std::cout << "SOCKET::Quit" << std::endl;
      SendReply(socket, kQuitMarker, 2);
      // Nothing more is sent: the reports still held back go to the files.
      EndSimMgrConnection(socket, nullptr, false);
      break;
    case protocol::kHandOverCommand:
      HandleFileCommand(socket);
      break;
    default:
      std::cerr << "!! Invalid Response Received by Client " << std::endl;
      std::cerr << "!! Simulation" << std::endl;
      break;
  }
}

void SimulatorClass::EndSimMgrConnection(QuelixSocket* socket, const char* why, bool managerFault) {
  if (why != nullptr && !SimMgrSendFailed) {
    std::cerr << (managerFault ? "ERROR: " : "") << why << "; stopping the simulation" << std::endl;
  }
  SimMgrSendFailed = true;
  RunState = kStopped;
  if (managerFault) ExitStatus = 1;
  if (socket != nullptr && socket == SimMgrSocket) {
    // Kept open until the simulator ends, so the manager sees the end of
    // the connection only once the files are complete.
    delete RetiredSimMgrSocket;
    RetiredSimMgrSocket = SimMgrSocket;
    SimMgrSocket = nullptr;
  }
}

// "name;count;;": the run goes on alone, writing to the named binary file
// unless one was configured already. The connection is closed either way.
// A command that does not arrive whole within FileCommandWaitMs is a failed
// hand-over, as is a file that command 3 must not overwrite.
void SimulatorClass::HandleFileCommand(QuelixSocket* socket) {
  std::unique_ptr<QuelixSocket> connection(socket);
  if (socket == SimMgrSocket) SimMgrSocket = nullptr;
  char text[kFileCommandLength + 1];
  const std::string failure = ReadFileCommandText(socket, text);
  if (!failure.empty()) {
    // A stop signal is the user's; anything else is the manager's fault.
    EndSimMgrConnection(nullptr, failure.c_str(), !StopRequested());
    return;
  }
  // The run no longer depends on the manager: a reply that cannot be
  // delivered changes nothing.
  SendReply(socket, kAcceptMarker, 3, false);

  if (BinaryFileName.empty()) {
    const protocol::HandOver handOver = protocol::ParseHandOver(text);
    OpenManagerResultsFile(handOver.fileName, handOver.batches);
  }
}

// Reads up to the ";;" that ends command 3, or kFileCommandLength bytes,
// one byte at a time so that nothing after the terminator is consumed.
// Returns "" when the text is complete, else why it is not (a text with a
// NUL byte is malformed).
std::string SimulatorClass::ReadFileCommandText(QuelixSocket* socket, char* text) {
  const Clock::time_point start = Clock::now();
  int total = 0;
  text[0] = '\0';
  while (total < kFileCommandLength) {
    if (StopRequested()) return "A stop signal interrupted command 3 from the simulation manager";
    const int remaining = FileCommandWaitMs - MillisecondsSince(start);
    if (remaining <= 0) {
      return "The simulation manager left command 3 unfinished for " + WaitText(FileCommandWaitMs);
    }
    if (!socket->Select(std::min(remaining, kWaitSliceMs))) {
      if (socket->GetErrorString() != nullptr) return "The connection to the simulation manager failed";
      continue;
    }
    if (socket->Recv(text + total, 1) <= 0) {
      return "The simulation manager closed the connection in the middle of command 3";
    }
    text[++total] = '\0';
    if (total >= 2 && text[total - 2] == ';' && text[total - 1] == ';') break;
  }
  // A NUL byte would cut the name and drop the count that follows it.
  if (std::strlen(text) != static_cast<std::size_t>(total)) {
    return "The simulation manager sent command 3 with a NUL byte in it";
  }
  return std::string();
}

// A count of 0 or less (or none) keeps the run's own limit: the manager may
// only end the run sooner, never lift the limit the user set.
void SimulatorClass::OpenManagerResultsFile(const std::string& name, int batchLimit) {
  if (batchLimit > 0) MaxBatches = batchLimit;
  BinaryFileName = name;
  // The file holds only what follows the hand-over; its batch count says so.
  BinaryFileBatchBase = ManagerBatches;
  if (!name.empty()) {
    std::string refusal;
    BinaryFile = CreateManagerBinFile(name, &refusal);
    if (BinaryFile) {
      WriteCompanion(name);
      return;
    }
    std::cerr << "ERROR: Cannot open the binary results file '" << name << "' named by the simulation manager: "
              << refusal << std::endl;
    BinaryFileName.clear();
  } else if (AsciiFile) {
    return;  // no binary file, but the ASCII file still receives the reports
  } else {
    std::cerr << "ERROR: The simulation manager handed the run over without naming a results file" << std::endl;
  }
  // The hand-over failed: with the manager gone, every further report would
  // be lost or go elsewhere than the manager asked.
  std::cerr << "ERROR: Stopping the simulation: the hand-over to a results file failed" << std::endl;
  RunState = kStopped;
  ExitStatus = 1;
}

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

void SimulatorClass::SendReply(QuelixSocket* socket, unsigned char marker, unsigned char code, bool mustArrive) {
  unsigned char reply[protocol::kReplySize];
  protocol::EncodeReply({marker, code, static_cast<std::uint32_t>(::getpid())}, reply);
  MessageStart = Clock::now();
  if (mustArrive) {
    SendPiece(socket, nullptr, reply, sizeof reply);
  } else {
    SendWithinLimit(socket, reply, sizeof reply);
  }
}

void SimulatorClass::OutputCPUTime(QuelixSocket* socket, double cpuSeconds) {
  MessageStart = Clock::now();
  // One piece per field: length, marker, client, experiment, seconds.
  unsigned char message[protocol::kCPUTimeSize];
  protocol::EncodeCPUTime({static_cast<unsigned>(ClientId), Experiment, cpuSeconds}, message);
  SendPiece(socket, nullptr, message, 4);
  SendPiece(socket, nullptr, message + 4, 1);
  SendPiece(socket, nullptr, message + 5, 1);
  SendPiece(socket, nullptr, message + 6, 2);
  SendPiece(socket, nullptr, message + 8, 8);
}

void SimulatorClass::WriteObservationBlock(const int32_t* counts, const double* values, int numPVs,
                                           int rowStride) {
  MessageStart = Clock::now();
  const protocol::BlockShape shape = protocol::ShapeOfRows(counts, numPVs);
  QuelixSocket* socket = SimMgrSocket;
  std::ostream* file = BinaryFile.get();

  // One piece per field: length, client, experiment, entry count; then per
  // entry its index, kind and count, and its values as one piece.
  unsigned char header[protocol::kBlockHeaderSize];
  protocol::EncodeBlockHeader(protocol::BlockLength(shape.entries, shape.observations), static_cast<unsigned>(ClientId),
                              Experiment, shape.entries, header);
  SendPiece(socket, file, header, 4);
  SendPiece(socket, file, header + 4, 1);
  SendPiece(socket, file, header + 5, 2);
  SendPiece(socket, file, header + 7, 2);

  for (int i = 0; i < numPVs; ++i) {
    if (counts[i] <= 0) continue;
    unsigned char entry[protocol::kEntryHeaderSize];
    protocol::EncodeEntryHeader(static_cast<unsigned>(i), counts[i], entry);
    SendPiece(socket, file, entry, 2);
    SendPiece(socket, file, entry + 2, 1);
    SendPiece(socket, file, entry + 3, 4);
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
  protocol::EncodeValues(values, count, buffer.data());
  return SendPiece(socket, stream, buffer.data(), count * 8);
}

// The file receives every piece, whatever becomes of the connection: a
// block cut off on the wire is still whole in the file, so the file always
// matches its header.
int SimulatorClass::SendPiece(QuelixSocket* socket, std::ostream* file, const unsigned char* bytes, int length) {
  if (length <= 0) return 0;
  int result = length;
  if (socket != nullptr) {
    if (SimMgrSendFailed) {
      result = -1;
    } else {
      const std::string failure = SendWithinLimit(socket, bytes, length);
      if (!failure.empty()) {
        EndSimMgrConnection(socket, failure.c_str(), !StopRequested());
        result = -1;
      }
    }
  }
  if (file != nullptr) file->write(reinterpret_cast<const char*>(bytes), length);
  return result;
}

// Repeats a short send until the whole piece is out: the manager parses a
// byte stream, and a piece sent in part would shift everything after it.
// A message not taken whole within SendWaitMs of MessageStart, or a stop
// signal while the connection is full, ends the attempt. Returns why it
// failed, or "".
std::string SimulatorClass::SendWithinLimit(QuelixSocket* socket, const unsigned char* bytes, int length) {
  int sent = 0;
  while (sent < length) {
    errno = 0;
    const int result = socket->SendNow(bytes + sent, length - sent);
    if (result > 0) {
      sent += result;
      continue;
    }
    const int error = errno;
    if (result == 0 || (error != EAGAIN && error != EWOULDBLOCK)) {
      if (error == ECONNRESET) return "Sending to the simulation manager failed: it reset the connection";
      if (error == EPIPE) return "Sending to the simulation manager failed: it closed the connection";
      return "Sending to the simulation manager failed (errno=" + std::to_string(error) + ")";
    }
    if (StopRequested()) return "Sending to the simulation manager was interrupted by a stop signal";
    const int waited = MillisecondsSince(MessageStart);
    if (waited >= SendWaitMs) {
      return "Sending to the simulation manager failed: it did not take a message within " + WaitText(SendWaitMs);
    }
    socket->WaitWritable(std::min(SendWaitMs - waited, kWaitSliceMs));
  }
  return std::string();
}

void SimulatorClass::ApplyPeerTestSettings(const char* waitMs, const char* sendBufferBytes) {
  const int wait = waitMs != nullptr ? std::atoi(waitMs) : 0;
  if (wait > 0) {
    FileCommandWaitMs = wait;
    SendWaitMs = wait;
  }
  const int buffer = sendBufferBytes != nullptr ? std::atoi(sendBufferBytes) : 0;
  if (buffer > 0) SendBufferBytes = buffer;
}
