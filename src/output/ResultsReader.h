// ResultsReader reads a results file written by the simulator and hands every
// observation, in file order, to a callback. It reads both kinds of file and
// tells them apart by their first bytes:
//   binary: a 256-byte text header, then observation blocks, each starting
//           with its own big-endian 32-bit length;
//   ASCII:  '#' header and trailer lines around "pv,value" lines.
//
// A short last block (or an unterminated last line), as left by a run that
// was stopped while writing, is not an error: it is skipped and reported by
// Truncated(). Anything else malformed stops the reading with Error() set;
// the observations delivered before it stay delivered.
#ifndef RESULTS_READER_H
#define RESULTS_READER_H

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <string>

class ResultsReader {
 public:
  enum class Format { kUnknown, kBinary, kAscii };
  using ObservationFn = std::function<void(int pvIndex, double value)>;

  // Returns true when the whole file was read (a short last block included).
  bool ReadFile(const std::string& path, const ObservationFn& onObservation);
  bool Read(std::istream& in, const ObservationFn& onObservation);

  Format GetFormat() const { return format_; }
  // The header's "KEY=value" fields; for ASCII files also the trailer's.
  // Empty when the key is absent.
  std::string HeaderField(const std::string& key) const;
  // Complete observation blocks (binary) or data lines (ASCII) read.
  long Records() const { return records_; }
  long Observations() const { return observations_; }
  bool Truncated() const { return truncatedBytes_ > 0; }
  long TruncatedBytes() const { return truncatedBytes_; }
  const std::string& Error() const { return error_; }

 private:
  bool ReadBinary(std::istream& in, const ObservationFn& onObservation);
  bool ReadAscii(std::istream& in, const ObservationFn& onObservation);
  bool DeliverBlock(const unsigned char* block, std::uint32_t length, const ObservationFn& onObservation);
  void ParseFields(const std::string& text);
  bool SetError(const std::string& message);

  Format format_ = Format::kUnknown;
  std::map<std::string, std::string> fields_;
  long records_ = 0;
  long observations_ = 0;
  long truncatedBytes_ = 0;
  long offset_ = 0;
  std::string error_;
};

#endif
