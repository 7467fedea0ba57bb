// The results reader on binary-file input (the seed corpus holds binary
// files). Memory is bounded by the input, whatever its length fields say.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "output/ResultsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  ResultsReader reader;
  std::int64_t seen = 0;
  const bool read = reader.Read(in, [&seen](int, double) { ++seen; });
  if (seen != reader.Observations()) __builtin_trap();
  if (!read && reader.Error().empty()) __builtin_trap();
  if (static_cast<std::size_t>(seen) * 8 > size) __builtin_trap();
  return 0;
}
