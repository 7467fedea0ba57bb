// The reporting side of the simulator: report packets, the hand-over from
// the loops with its output throttle, the output step that drains the queue
// of full packets into the open sinks, and the ASCII results file.
#include "simulator/SimulatorClass.h"

#include "results/AsciiValue.h"
#include "output/QuelixSocket.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {
std::string Reason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

// Traces are flushed line by line, so a failed write shows in the stream's
// state by the next check.
bool IsBroken(const std::unique_ptr<TraceFile>& trace) {
  return trace && trace->getStream() != nullptr && trace->getStream()->fail();
}
}  // namespace

std::unique_ptr<DataPacket> SimulatorClass::CreateDataPacket(int numPVs) {
  std::unique_ptr<DataPacket> packet(new DataPacket(-1, -1, numPVs, ReportSize));
  packet->ClientId = ClientId;
  packet->Experiment = static_cast<int32_t>(Experiment);
  return packet;
}

bool SimulatorClass::CheckReportSize(double cpuSeconds) {
  if (SimMgrSocket != nullptr) ListenToSimMgr(SimMgrSocket);
  CheckStreams();
  const int count = OutputCount;
  FullPackets->Push(std::move(ValuePacket));
  FullPackets->Push(std::move(SquarePacket));
  ValuePacket = FreePackets->Pop();
  if (!ValuePacket) ValuePacket = CreateDataPacket(NumPVs);
  SquarePacket = FreePackets->Pop();
  if (!SquarePacket) SquarePacket = CreateDataPacket(NumPVs);

  // After ten output steps, while they come faster than one per 0.2 CPU
  // seconds, reports are held back until the queue is full; a report of a
  // finishing run is never held back.
  if (count > 10 && cpuSeconds / count < 0.2) {
    if (FullPackets->Count() < PacketQueueCapacity && RunState != 1) return false;
  }
  ++OutputCount;
  OutputThreadFunc();
  return true;
}

int SimulatorClass::OutputThreadFunc() {
  // A report goes out as many small pieces; gathered, they reach the manager
  // in a few segments rather than one wake-up each.
  QuelixSocket* const corked = SimMgrSocket;
  if (corked != nullptr) corked->SetCorked(true);
  for (;;) {
    std::unique_ptr<DataPacket> values = FullPackets->Pop();
    if (!values) break;
    std::unique_ptr<DataPacket> squares = FullPackets->Pop();
    // Only the value packet of a report is written; its square packet is
    // recycled with it.
    // Every report of one output step carries the same CPU time.
    if (SimMgrSocket != nullptr) OutputCPUTime(SimMgrSocket, CPUTime);
    if (SimMgrSocket != nullptr || BinaryFile) {
      WriteObservationBlock(values->Counts.data(), values->Values.data(), values->NumPVs,
                            values->MaxObservations);
    }
    if (SimMgrSocket != nullptr && !values->Counts.empty()) {
      ManagerBatches += *std::max_element(values->Counts.begin(), values->Counts.end());
    }
    if (AsciiFile) WriteAsciiLines(*values);
    FreePackets->Push(std::move(values));
    FreePackets->Push(std::move(squares));
  }
  if (corked != nullptr && corked == SimMgrSocket) corked->SetCorked(false);
  if (RunState == 1 && FullPackets->Count() == 0) RunState = 2;
  if (BinaryFile) UpdateBinFileHeader(*BinaryFile);
  return 0;
}

void SimulatorClass::HandOverHeldReports() {
  if (FullPackets && FullPackets->Count() > 0) OutputThreadFunc();
}

bool SimulatorClass::CheckStreams() {
  std::string broken;
  if (IsBroken(QuelixTraceFile)) {
    broken = TraceFileName.empty() ? "the trace on standard output" : "trace file '" + TraceFileName + ".txt'";
  } else if (IsBroken(XMLTraceFile)) {
    broken = TraceFileName.empty() ? "the trace on standard output" : "trace file '" + TraceFileName + ".xml'";
  } else if (std::cout.fail()) {
    broken = "standard output";
  }
  if (broken.empty()) return true;
  if (!StreamFailureReported) {
    std::cerr << "ERROR: Unable to write " << broken << "; stopping the run" << std::endl;
    StreamFailureReported = true;
  }
  RunState = 2;
  ExitStatus = 1;
  return false;
}

// ---------------------------------------------------------------------------
// The ASCII results file
// ---------------------------------------------------------------------------

std::unique_ptr<std::ofstream> SimulatorClass::CreateAsciiFile(const std::string& name) {
  errno = 0;
  std::unique_ptr<std::ofstream> file(new std::ofstream(name, std::ios::out | std::ios::trunc));
  if (!file->is_open()) {
    std::cout << std::flush;
    std::cerr << "ERROR: Unable to open ASCII results file '" << name << "': " << Reason(errno) << std::endl;
    std::exit(1);
  }
  const unsigned seed = Seed != 0 ? Seed : 31415u;
  *file << "#QUELIX_SIM_ASCII_FILE," << "QUELIX_VER=" << "Version 2.5" << "," << "FILE_VER=" << 1 << ","
        << "EXPERIMENTS=" << Experiment << "," << "SEED=" << seed << ","
        << "RANDOMGEN=" << to_string(static_cast<RandomNumberGeneratorType>(RNGType)) << "\n"
        << "#FORMAT: (PV ID Number),(PV Value)\n";
  // On disk at once: a run that ends early still leaves a readable file, and
  // a file that cannot take even its header is refused before the run.
  errno = 0;
  file->flush();
  if (!file->good()) {
    std::cout << std::flush;
    std::cerr << "ERROR: Unable to write ASCII results file '" << name << "': " << Reason(errno) << std::endl;
    std::exit(1);
  }
  return file;
}

void SimulatorClass::CloseAsciiFile(std::ofstream& stream) {
  stream << "#META_DATA," << "BATCHES=" << Batches << "\n";
  stream.close();
}

// The report's lines are composed in one buffer and handed to the stream in
// one piece: the stream's formatted insertions, even its writes line by
// line, cost more than the conversions. Each line is written in place at the
// buffer's end, which grows only when a line of the widest value might not
// fit, so a line costs its conversion and a few stores. The loop keeps the
// buffer's and the packet's addresses in locals: every character it stores
// might alias their fields, which the compiler would load again per line.
void SimulatorClass::WriteAsciiLines(const DataPacket& packet) {
  constexpr std::size_t kWidestLine = 16 + ascii_value::kMaxText;
  std::string& text = AsciiText;
  if (text.size() < 64 * kWidestLine) text.resize(64 * kWidestLine);
  char* at = &text[0];
  // A line that starts at or before this fits.
  char* lastStart = &text[0] + (text.size() - kWidestLine);
  for (int i = 0; i < packet.NumPVs; ++i) {
    char prefix[16];
    char* const prefixEnd = std::to_chars(prefix, prefix + sizeof prefix, i).ptr;
    *prefixEnd = ',';
    const std::size_t prefixLength = static_cast<std::size_t>(prefixEnd - prefix) + 1;
    const double* value = packet.Values.data() + static_cast<std::size_t>(i) * packet.MaxObservations;
    const double* const end = value + packet.Counts[static_cast<std::size_t>(i)];
    for (; value != end; ++value) {
      if (at > lastStart) {
        const std::size_t used = static_cast<std::size_t>(at - text.data());
        text.resize(std::max(2 * text.size(), used + 64 * kWidestLine));
        at = &text[0] + used;
        lastStart = &text[0] + (text.size() - kWidestLine);
      }
      // The whole prefix array in one fixed-size move; the value overwrites
      // what lies past its length.
      std::memcpy(at, prefix, sizeof prefix);
      at += prefixLength;
      at += ascii_value::Format(*value, at);
      *at++ = '\n';
    }
  }
  const std::size_t used = static_cast<std::size_t>(at - text.data());
  AsciiFile->write(text.data(), static_cast<std::streamsize>(used));
  errno = 0;
  AsciiFile->flush();
  if (!AsciiFile->good()) ReportResultsFileFailure(AsciiFile, "ASCII", AsciiFileName);
}

std::string SimulatorClass::AsciiValueText(double value) {
  char text[ascii_value::kMaxText];
  return std::string(text, static_cast<size_t>(ascii_value::Format(value, text)));
}

void SimulatorClass::ReportResultsFileFailure(std::unique_ptr<std::ofstream>& file, const std::string& kind,
                                              const std::string& name) {
  const int error = errno;
  std::cout << std::flush;
  std::cerr << "ERROR: Unable to write " << kind << " results file '" << name << "': " << Reason(error)
            << "; stopping the run" << std::endl;
  file->close();
  file.reset();
  RunState = 2;
  ExitStatus = 1;
}
