#include "results/ResultsReader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "results/BigEndian.h"

namespace {

constexpr int kBinaryHeaderSize = 256;
constexpr char kBinaryMagic[] = "QUELIX_SIM_BIN_FILE,";
constexpr char kAsciiMagic[] = "#QUELIX_SIM_ASCII_FILE,";
constexpr char kAsciiTrailer[] = "#META_DATA,";
constexpr std::uint32_t kBlockPrefix = 9;  // length, client, experiment, entries
constexpr std::uint32_t kEntryPrefix = 7;  // PV index, kind, count
constexpr unsigned char kObservedValues = 1;
// Values checked or delivered per piece of a block.
constexpr std::int32_t kValuesPerRead = 4096;
// Bytes read from the file at once.
constexpr std::size_t kChunkBytes = 1 << 20;
constexpr char kBatchesKey[] = "BATCHES";

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A whole decimal count of at most 18 digits, or -1.
std::int64_t ParseCount(const std::string& text) {
  if (text.empty() || text.size() > 18) return -1;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

bool ResultsReader::ReadFile(const std::string& path, const ObservationFn& onObservation) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return SetError("cannot open " + path + ": " + std::strerror(errno));
  return Read(in, onObservation);
}

bool ResultsReader::Read(std::istream& in, const ObservationFn& onObservation) {
  std::string start(std::strlen(kAsciiMagic), '\0');
  in.read(&start[0], static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<std::size_t>(in.gcount()));
  in.clear();
  in.seekg(0);
  bool read = false;
  if (StartsWith(start, kBinaryMagic)) {
    format_ = Format::kBinary;
    read = ReadBinary(in, onObservation);
  } else if (StartsWith(start, kAsciiMagic)) {
    format_ = Format::kAscii;
    read = ReadAscii(in, onObservation);
  } else {
    return SetError("not a results file: no binary or ASCII results header");
  }
  if (read && !Truncated()) CheckCounts();
  return read;
}

std::string ResultsReader::HeaderField(const std::string& key) const {
  const auto found = fields_.find(key);
  return found == fields_.end() ? std::string() : found->second;
}

bool ResultsReader::SetError(const std::string& message) {
  error_ = message;
  return false;
}

void ResultsReader::ParseFields(const std::string& text) {
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    const std::string field = text.substr(begin, end - begin);
    const std::size_t equals = field.find('=');
    if (equals != std::string::npos) fields_[field.substr(0, equals)] = field.substr(equals + 1);
    begin = end + 1;
  }
}

void ResultsReader::Deliver(int pvIndex, double value, const ObservationFn& onObservation) {
  onObservation(pvIndex, value);
  ++perVariable_[pvIndex];
  ++observations_;
}

// The batch count is the largest number of observations of one variable:
// every replication gives each variable one, a steady-state batch the
// variable whose batch it is.
void ResultsReader::CheckCounts() {
  const std::string where = format_ == Format::kBinary ? "header" : "trailer";
  if (format_ == Format::kAscii && !sawTrailer_) {
    countProblem_ = "the file ends without its trailer (#META_DATA,BATCHES=...)";
    return;
  }
  const std::string text = HeaderField(kBatchesKey);
  const std::int64_t batches = ParseCount(text);
  if (batches < 0) {
    countProblem_ = "the " + where + " has no batch count";
    if (!text.empty()) countProblem_ += " ('" + text + "' is not one)";
    return;
  }
  std::int64_t most = 0;
  for (const auto& entry : perVariable_) most = std::max(most, entry.second);
  if (most != batches) {
    countProblem_ = "the " + where + " counts " + std::to_string(batches) + " batches but the file holds " +
                    std::to_string(most) + " observations of a variable";
  }
}

bool ResultsReader::ReadBinary(std::istream& in, const ObservationFn& onObservation) {
  std::string header(kBinaryHeaderSize, '\0');
  in.read(&header[0], kBinaryHeaderSize);
  if (in.gcount() < kBinaryHeaderSize) {
    return SetError("binary header is shorter than " + std::to_string(kBinaryHeaderSize) + " bytes");
  }
  ParseFields(header.substr(0, header.find('\0')));
  in.seekg(0, std::ios::end);
  const std::int64_t fileSize = static_cast<std::int64_t>(in.tellg());
  if (fileSize < 0) return SetError("cannot tell the length of the file: it must be a regular file");
  offset_ = kBinaryHeaderSize;

  while (offset_ < fileSize) {
    const std::int64_t remaining = fileSize - offset_;
    const unsigned char* lengthBytes = remaining < 4 ? nullptr : Bytes(in, offset_, 4);
    if (lengthBytes == nullptr) {
      truncatedBytes_ = remaining;
      return true;
    }
    const std::uint32_t length = BigEndian::GetU32(lengthBytes);
    if (length < kBlockPrefix) {
      return SetError("block at offset " + std::to_string(offset_) + " has length " + std::to_string(length) +
                      ", below the minimum of 9");
    }
    // A block cannot be longer than the file that holds it: what is left is
    // a cut block, or a length the reader must not believe.
    if (length > remaining) {
      truncatedBytes_ = remaining;
      return true;
    }
    if (!CheckBlock(in, length)) return false;
    DeliverBlock(in, onObservation);
    offset_ += length;
    ++records_;
  }
  return true;
}

// The file is read in chunks of kChunkBytes, front to back: a block of any
// size is walked in pieces of at most kValuesPerRead values, and the walks
// of a block that fits in the chunk (every block a simulator writes) read
// nothing twice.
const unsigned char* ResultsReader::Bytes(std::istream& in, std::int64_t at, std::size_t size) {
  const std::int64_t end = at + static_cast<std::int64_t>(size);
  if (at < chunkStart_ || end > chunkStart_ + static_cast<std::int64_t>(chunkFill_)) {
    if (chunk_.empty()) chunk_.resize(kChunkBytes);
    in.clear();
    in.seekg(at);
    in.read(reinterpret_cast<char*>(chunk_.data()), static_cast<std::streamsize>(chunk_.size()));
    chunkStart_ = at;
    chunkFill_ = static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0));
    if (size > chunkFill_) return nullptr;
  }
  return chunk_.data() + (at - chunkStart_);
}

bool ResultsReader::BlockError(const std::string& what) {
  return SetError("block at offset " + std::to_string(offset_) + ": " + what);
}

// Walks the block's entries and values before any is delivered, so that a
// corrupt block (a bad entry, a value that is not a finite number) is
// refused whole.
bool ResultsReader::CheckBlock(std::istream& in, std::uint32_t length) {
  const unsigned char* prefix = Bytes(in, offset_ + 4, kBlockPrefix - 4);
  if (prefix == nullptr) return BlockError("cannot be read");
  const unsigned entries = BigEndian::GetU16(prefix + 3);
  std::uint32_t position = kBlockPrefix;
  for (unsigned e = 0; e < entries; ++e) {
    const auto which = [e] { return "entry " + std::to_string(e); };
    if (length - position < kEntryPrefix) return BlockError(which() + " is cut off");
    const unsigned char* entry = Bytes(in, offset_ + position, kEntryPrefix);
    if (entry == nullptr) return BlockError("cannot be read");
    if (entry[2] != kObservedValues) return BlockError(which() + " has unknown kind " + std::to_string(entry[2]));
    const unsigned pvIndex = BigEndian::GetU16(entry);
    const std::int32_t count = static_cast<std::int32_t>(BigEndian::GetU32(entry + 3));
    position += kEntryPrefix;
    if (count < 0 || static_cast<std::uint64_t>(count) * 8 > length - position) {
      return BlockError(which() + " has a bad count " + std::to_string(count));
    }
    for (std::int32_t done = 0; done < count;) {
      const std::int32_t step = std::min<std::int32_t>(count - done, kValuesPerRead);
      const unsigned char* values = Bytes(in, offset_ + position + std::int64_t(done) * 8, std::size_t(step) * 8);
      if (values == nullptr) return BlockError("cannot be read");
      for (std::int32_t j = 0; j < step; ++j) {
        const double value = BigEndian::GetDouble(values + 8 * j);
        if (!std::isfinite(value)) {
          return BlockError("variable " + std::to_string(pvIndex) + " has the value " +
                            (std::isnan(value) ? "NaN" : "infinity") + ", not a finite number");
        }
      }
      done += step;
    }
    position += static_cast<std::uint32_t>(count) * 8;
  }
  if (position != length) {
    return BlockError("length " + std::to_string(length) + " does not match its entries (" + std::to_string(position) +
                      " bytes)");
  }
  return true;
}

// REQUIRES: CheckBlock accepted the block at offset_.
void ResultsReader::DeliverBlock(std::istream& in, const ObservationFn& onObservation) {
  const unsigned entries = BigEndian::GetU16(Bytes(in, offset_ + 4, kBlockPrefix - 4) + 3);
  std::int64_t position = offset_ + kBlockPrefix;
  for (unsigned e = 0; e < entries; ++e) {
    const unsigned char* entry = Bytes(in, position, kEntryPrefix);
    const int pvIndex = BigEndian::GetU16(entry);
    const std::int32_t count = static_cast<std::int32_t>(BigEndian::GetU32(entry + 3));
    position += kEntryPrefix;
    for (std::int32_t done = 0; done < count;) {
      const std::int32_t step = std::min<std::int32_t>(count - done, kValuesPerRead);
      const unsigned char* values = Bytes(in, position, std::size_t(step) * 8);
      for (std::int32_t j = 0; j < step; ++j) Deliver(pvIndex, BigEndian::GetDouble(values + 8 * j), onObservation);
      position += std::int64_t(step) * 8;
      done += step;
    }
  }
}

// Lines are read into a fixed buffer: a line longer than the longest a
// writer produces is a fault, however long it is.
bool ResultsReader::ReadAscii(std::istream& in, const ObservationFn& onObservation) {
  std::vector<char> buffer(kMaxLineLength + 1);
  std::int64_t lineNumber = 0;
  for (;;) {
    in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (in.eof()) {
      // A last line without its newline: the writer was stopped in the middle of it.
      truncatedBytes_ = static_cast<std::int64_t>(got);
      return true;
    }
    ++lineNumber;
    if (in.fail()) {
      return SetError("line " + std::to_string(lineNumber) + " is longer than " + std::to_string(kMaxLineLength) +
                      " bytes");
    }
    const std::string line(buffer.data(), got - 1);
    if (!DeliverLine(line, lineNumber, onObservation)) return false;
  }
}

bool ResultsReader::DeliverLine(const std::string& line, std::int64_t lineNumber, const ObservationFn& onObservation) {
  const std::string where = "line " + std::to_string(lineNumber);
  if (line.empty()) return true;
  if (line[0] == '#') {
    if (StartsWith(line, kAsciiTrailer)) sawTrailer_ = true;
    ParseFields(line.substr(1));
    return true;
  }
  if (sawTrailer_) return SetError(where + " follows the trailer: " + line);
  const char* text = line.c_str();
  const char* lineEnd = text + line.size();
  char* end = nullptr;
  errno = 0;
  const long pvIndex = std::strtol(text, &end, 10);
  if (end == text || *end != ',' || pvIndex < 0 || pvIndex > 65535 || errno != 0) {
    return SetError(where + " is not \"pv,value\": " + line);
  }
  const char* valueText = end + 1;
  const double value = std::strtod(valueText, &end);
  if (end == valueText || end != lineEnd) return SetError(where + " has a bad value: " + line);
  if (!std::isfinite(value)) {
    return SetError(where + ": variable " + std::to_string(pvIndex) + " has the value " + (std::isnan(value) ? "NaN" : "infinity") +
                    ", not a finite number");
  }
  Deliver(static_cast<int>(pvIndex), value, onObservation);
  ++records_;
  return true;
}
