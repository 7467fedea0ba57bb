// The results reader on ASCII-file input (the seed corpus holds ASCII
// files). Memory stays bounded however long its lines are.
#include "ResultsReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzzsupport::FuzzResultsReader(data, size);
}
