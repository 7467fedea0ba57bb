// Shared by the libFuzzer targets: silences the standard streams the code
// under test writes its messages to, so that a run is limited by the parser
// and not by the terminal.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <iostream>
#include <sstream>

namespace fuzzsupport {

// Discards everything written to std::cout and std::cerr from the first call
// on, for the rest of the process.
inline void SilenceStandardStreams() {
  static std::ostringstream sink;
  static const bool done = [] {
    sink.setstate(std::ios::badbit);
    std::cout.rdbuf(sink.rdbuf());
    std::cerr.rdbuf(sink.rdbuf());
    return true;
  }();
  (void)done;
}

}  // namespace fuzzsupport

#endif
