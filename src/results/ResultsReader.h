// ResultsReader reads a results file written by the simulator and hands every
// observation, in file order, to a callback. It reads both kinds of file and
// tells them apart by their first bytes:
//   binary: a 256-byte text header, then observation blocks, each starting
//           with its own big-endian 32-bit length;
//   ASCII:  '#' header and trailer lines around "pv,value" lines.
//
// Memory stays bounded whatever the file says: a binary file is read front
// to back in chunks of 1 MiB, a block is checked in place and its values
// are streamed (a length field cannot make the reader hold more than the
// chunk), and an ASCII line longer than kMaxLineLength is a fault, not an
// allocation. The stream must be seekable (a file). Reading takes time in
// proportion to the file's size, whatever the size of its blocks.
//
// A value that is not a finite number (NaN, an infinity) makes its block or
// line corrupt: no simulator writes one.
//
// The reader tells a complete file from a damaged one (Damaged()):
//   - a cut last block or an unterminated last line is skipped (Truncated());
//   - any other malformed block or line stops the reading (Error()); the
//     observations delivered before it stay delivered, and a corrupt block
//     contributes nothing;
//   - a file read to its end must also account for itself (CountProblem()):
//     its batch count (binary header, ASCII trailer) equals the largest
//     number of observations any one variable has, and an ASCII file ends
//     with its trailer.
// A file that cannot be opened or is not a results file is unreadable:
// GetFormat() stays kUnknown.
//
// Not thread-safe; one reader reads one file.
#ifndef RESULTS_READER_H
#define RESULTS_READER_H

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <string>
#include <vector>

class ResultsReader {
 public:
  enum class Format { kUnknown, kBinary, kAscii };
  using ObservationFn = std::function<void(int pvIndex, double value)>;

  static constexpr std::size_t kMaxLineLength = 1024;

  // Returns true when the file was read to its end without a malformed block
  // or line (a cut last block or line included). Never throws.
  bool ReadFile(const std::string& path, const ObservationFn& onObservation);
  bool Read(std::istream& in, const ObservationFn& onObservation);

  Format GetFormat() const { return format_; }
  // The header's "KEY=value" fields; for ASCII files also the trailer's.
  // Empty when the key is absent.
  std::string HeaderField(const std::string& key) const;
  // Complete observation blocks (binary) or data lines (ASCII) read.
  std::int64_t Records() const { return records_; }
  std::int64_t Observations() const { return observations_; }
  bool Truncated() const { return truncatedBytes_ > 0; }
  std::int64_t TruncatedBytes() const { return truncatedBytes_; }
  const std::string& Error() const { return error_; }
  // Why a file read to its end does not account for its observations; empty
  // when it does, or when the reading stopped early.
  const std::string& CountProblem() const { return countProblem_; }
  // A results file that is cut, corrupt or does not match its own count.
  bool Damaged() const {
    return format_ != Format::kUnknown && (Truncated() || !error_.empty() || !countProblem_.empty());
  }

 private:
  bool ReadBinary(std::istream& in, const ObservationFn& onObservation);
  bool ReadAscii(std::istream& in, const ObservationFn& onObservation);
  // The bytes [at, at + size) of the file, size at most the chunk; nullptr
  // when the file ends first. Valid until the next call.
  const unsigned char* Bytes(std::istream& in, std::int64_t at, std::size_t size);
  // Checks the block of the given length at offset_, values included.
  bool CheckBlock(std::istream& in, std::uint32_t length);
  void DeliverBlock(std::istream& in, const ObservationFn& onObservation);
  bool BlockError(const std::string& what);
  bool DeliverLine(const std::string& line, std::int64_t lineNumber, const ObservationFn& onObservation);
  void Deliver(int pvIndex, double value, const ObservationFn& onObservation);
  void CheckCounts();
  void ParseFields(const std::string& text);
  bool SetError(const std::string& message);

  Format format_ = Format::kUnknown;
  std::map<std::string, std::string> fields_;
  std::map<int, std::int64_t> perVariable_;
  std::int64_t records_ = 0;
  std::int64_t observations_ = 0;
  std::int64_t truncatedBytes_ = 0;
  std::int64_t offset_ = 0;
  bool sawTrailer_ = false;
  std::vector<unsigned char> chunk_;
  std::int64_t chunkStart_ = 0;
  std::size_t chunkFill_ = 0;
  std::string error_;
  std::string countProblem_;
};

#endif
