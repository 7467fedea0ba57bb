#include "output/ResultsReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "output/BigEndian.h"

namespace {

constexpr int kBinaryHeaderSize = 256;
constexpr char kBinaryMagic[] = "QUELIX_SIM_BIN_FILE,";
constexpr char kAsciiMagic[] = "#QUELIX_SIM_ASCII_FILE,";
constexpr std::uint32_t kBlockPrefix = 9;  // length, client, experiment, entries
constexpr std::uint32_t kEntryPrefix = 7;  // PV index, kind, count
constexpr unsigned char kObservedValues = 1;
// Bytes of a block read per step, so that a corrupt length cannot make the
// reader reserve more memory than the file actually holds.
constexpr std::size_t kReadChunk = 1 << 20;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Reads up to count bytes, appending them to out; returns the number read.
std::size_t ReadUpTo(std::istream& in, std::vector<unsigned char>& out, std::size_t count) {
  std::size_t total = 0;
  while (total < count && in) {
    const std::size_t step = std::min(kReadChunk, count - total);
    const std::size_t oldSize = out.size();
    out.resize(oldSize + step);
    in.read(reinterpret_cast<char*>(out.data() + oldSize), static_cast<std::streamsize>(step));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    out.resize(oldSize + got);
    total += got;
    if (got < step) break;
  }
  return total;
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
  if (StartsWith(start, kBinaryMagic)) {
    format_ = Format::kBinary;
    return ReadBinary(in, onObservation);
  }
  if (StartsWith(start, kAsciiMagic)) {
    format_ = Format::kAscii;
    return ReadAscii(in, onObservation);
  }
  return SetError("not a results file: no binary or ASCII results header");
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

bool ResultsReader::ReadBinary(std::istream& in, const ObservationFn& onObservation) {
  std::string header(kBinaryHeaderSize, '\0');
  in.read(&header[0], kBinaryHeaderSize);
  if (in.gcount() < kBinaryHeaderSize) {
    return SetError("binary header is shorter than " + std::to_string(kBinaryHeaderSize) + " bytes");
  }
  ParseFields(header.substr(0, header.find('\0')));
  offset_ = kBinaryHeaderSize;

  std::vector<unsigned char> block;
  for (;;) {
    block.clear();
    const std::size_t got = ReadUpTo(in, block, 4);
    if (got == 0) return true;
    if (got < 4) {
      truncatedBytes_ = static_cast<long>(got);
      return true;
    }
    const std::uint32_t length = BigEndian::GetU32(block.data());
    if (length < kBlockPrefix) {
      return SetError("block at offset " + std::to_string(offset_) + " has length " +
                      std::to_string(length) + ", below the minimum of 9");
    }
    const std::size_t rest = ReadUpTo(in, block, length - 4);
    if (rest < length - 4) {
      truncatedBytes_ = static_cast<long>(4 + rest);
      return true;
    }
    if (!DeliverBlock(block.data(), length, onObservation)) return false;
    offset_ += length;
    ++records_;
  }
}

// Checks the whole block before delivering any of it, so that a corrupt block
// contributes nothing.
bool ResultsReader::DeliverBlock(const unsigned char* block, std::uint32_t length,
                                 const ObservationFn& onObservation) {
  const std::string where = "block at offset " + std::to_string(offset_);
  const unsigned entries = BigEndian::GetU16(block + 7);
  std::uint32_t position = kBlockPrefix;
  for (unsigned e = 0; e < entries; ++e) {
    if (length - position < kEntryPrefix) return SetError(where + ": entry " + std::to_string(e) + " is cut off");
    if (block[position + 2] != kObservedValues) {
      return SetError(where + ": entry " + std::to_string(e) + " has unknown kind " +
                      std::to_string(block[position + 2]));
    }
    const std::int32_t count = static_cast<std::int32_t>(BigEndian::GetU32(block + position + 3));
    position += kEntryPrefix;
    if (count < 0 || static_cast<std::uint64_t>(count) * 8 > length - position) {
      return SetError(where + ": entry " + std::to_string(e) + " has a bad count " + std::to_string(count));
    }
    position += static_cast<std::uint32_t>(count) * 8;
  }
  if (position != length) {
    return SetError(where + ": length " + std::to_string(length) + " does not match its entries (" +
                    std::to_string(position) + " bytes)");
  }

  position = kBlockPrefix;
  for (unsigned e = 0; e < entries; ++e) {
    const int pvIndex = BigEndian::GetU16(block + position);
    const std::uint32_t count = BigEndian::GetU32(block + position + 3);
    position += kEntryPrefix;
    for (std::uint32_t j = 0; j < count; ++j, position += 8) {
      onObservation(pvIndex, BigEndian::GetDouble(block + position));
    }
    observations_ += count;
  }
  return true;
}

bool ResultsReader::ReadAscii(std::istream& in, const ObservationFn& onObservation) {
  std::string line;
  long lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (in.eof()) {
      // The last line has no newline: the writer was stopped in the middle of it.
      truncatedBytes_ = static_cast<long>(line.size());
      return true;
    }
    if (line.empty()) continue;
    if (line[0] == '#') {
      ParseFields(line.substr(1));
      continue;
    }
    const char* text = line.c_str();
    char* end = nullptr;
    errno = 0;
    const long pvIndex = std::strtol(text, &end, 10);
    if (end == text || *end != ',' || pvIndex < 0 || pvIndex > 65535 || errno != 0) {
      return SetError("line " + std::to_string(lineNumber) + " is not \"pv,value\": " + line);
    }
    const char* valueText = end + 1;
    const double value = std::strtod(valueText, &end);
    if (end == valueText || *end != '\0') {
      return SetError("line " + std::to_string(lineNumber) + " has a bad value: " + line);
    }
    onObservation(static_cast<int>(pvIndex), value);
    ++observations_;
    ++records_;
  }
  return true;
}
