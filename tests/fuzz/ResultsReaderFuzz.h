// The checks both results-reader targets make on every input, whichever
// format their seed corpus steers them to: every observation the reader
// hands out is counted, a refusal always says why, and no input yields more
// observations than its bytes can hold. A failed check stops the run with a
// trap, which libFuzzer reports as a crash with its input.
#ifndef RESULTS_READER_FUZZ_H
#define RESULTS_READER_FUZZ_H

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "results/ResultsReader.h"

namespace fuzzsupport {

inline int FuzzResultsReader(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  ResultsReader reader;
  std::int64_t seen = 0;
  const bool read = reader.Read(in, [&seen](int, double) { ++seen; });
  if (seen != reader.Observations()) __builtin_trap();
  if (!read && reader.Error().empty()) __builtin_trap();
  // The shortest observation takes 8 bytes in a block and 4 on a line ("0,1\n").
  const std::size_t smallest = reader.GetFormat() == ResultsReader::Format::kBinary ? 8 : 4;
  if (static_cast<std::size_t>(seen) * smallest > size) __builtin_trap();
  return 0;
}

}  // namespace fuzzsupport

#endif
