// Shared by the libFuzzer targets: discards what the code under test writes
// to the standard streams, so that a run is limited by the parser and not by
// the terminal, and a long run does not keep its messages.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <iostream>
#include <streambuf>

namespace fuzzsupport {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Discards everything written to std::cout and std::cerr from the first call
// on, for the rest of the process.
inline void SilenceStandardStreams() {
  static NullBuffer sink;
  std::cout.rdbuf(&sink);
  std::cerr.rdbuf(&sink);
}

}  // namespace fuzzsupport

#endif
