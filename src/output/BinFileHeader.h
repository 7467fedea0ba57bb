// The 256-byte text header of a binary results file: comma-separated fields
// naming the run, a closing comma, then NUL bytes up to 256. Readers find the
// first block at offset 256 and the batch count in the BATCHES field, which
// the simulator rewrites as the run goes on.
#ifndef BIN_FILE_HEADER_H
#define BIN_FILE_HEADER_H

#include <cstdint>
#include <string>

struct BinFileHeader {
  static constexpr int kSize = 256;

  unsigned int experiment = 0;
  unsigned int seed = 31415;      // 0 is shown as 31415, the seed then used
  std::string generatorName = "Lagged Fibonacci";
  std::int64_t batches = 0;

  // Exactly kSize bytes. The seed, generator and batch fields each appear only
  // while the text stays within kSize - 1 characters; the first that does not
  // fit ends the text.
  std::string Build(int fileVersion) const;
};

#endif
