#include "manager/RemoteSimulator.h"

#include <cstdlib>

#include "manager/CommandRunner.h"

namespace {
const char kPlacedMarker[] = "GPUSIM_PLACED:";
}

std::string RemoteSimulator::PlacementScript(const std::string& facts) {
  return std::string("echo \"") + kPlacedMarker + " $$ " + facts + "\"; exec \"$0\" \"$@\"";
}

RemoteSimulator::RemoteSimulator(std::unique_ptr<LaunchedSimulator> client) : client_(std::move(client)) {}

void RemoteSimulator::ObserveOutputLine(const std::string& line) {
  client_->ObserveOutputLine(line);
  if (IsPlaced() || line.compare(0, sizeof kPlacedMarker - 1, kPlacedMarker) != 0) return;
  std::vector<std::string> words = SplitWords(line.substr(sizeof kPlacedMarker - 1));
  if (words.empty()) return;
  // A carriage return is left by a terminal that translates newlines.
  if (!words.back().empty() && words.back().back() == '\r') words.back().pop_back();
  const long pid = std::strtol(words.front().c_str(), nullptr, 10);
  if (pid <= 0) return;
  remotePid_ = pid;
  Placed(std::vector<std::string>(words.begin() + 1, words.end()));
}
