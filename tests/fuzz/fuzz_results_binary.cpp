// The results reader on binary-file input (the seed corpus holds binary
// files). Memory is bounded by the input, whatever its length fields say.
#include "ResultsReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzzsupport::FuzzResultsReader(data, size);
}
