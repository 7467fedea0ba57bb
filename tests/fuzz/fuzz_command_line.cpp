// The simulator's command line: the input is split at NUL bytes into
// arguments after the program name, and parsed on a configuration-only
// simulator. Every outcome must be a clean accept or refusal.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/SimulatorClass.h"

namespace {
constexpr std::size_t kMaxArguments = 64;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words{"gpusim"};
  std::string current;
  for (std::size_t i = 0; i < size && words.size() < kMaxArguments; ++i) {
    if (data[i] == '\0') {
      words.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty()) words.push_back(current);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  std::ostringstream out, err;
  SimulatorClass simulator(out, err);
  const short result = simulator.ParseCommandLineOptions(static_cast<int>(words.size()), argv.data());
  if (result == 0 && simulator.ReportSize < 1) __builtin_trap();
  if (result == 0 && (simulator.RNGType < 0 || simulator.RNGType > 2)) __builtin_trap();
  return 0;
}
