#include "protocol/WireFormat.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "results/BigEndian.h"

namespace protocol {

void EncodeReply(const Reply& reply, unsigned char (&out)[kReplySize]) {
  BigEndian::PutU32(out, kReplySize);
  out[4] = static_cast<unsigned char>(reply.marker);
  out[5] = static_cast<unsigned char>(reply.code);
  BigEndian::PutU32(out + 6, reply.processId);
}

void EncodeCPUTime(const CPUTime& message, unsigned char (&out)[kCPUTimeSize]) {
  BigEndian::PutU32(out, kCPUTimeLengthField);
  out[4] = kCPUTimeMarker;
  out[5] = static_cast<unsigned char>(message.client);
  BigEndian::PutU16(out + 6, static_cast<std::uint16_t>(message.experiment));
  BigEndian::PutDouble(out + 8, message.seconds);
}

BlockShape ShapeOfRows(const std::int32_t* counts, int rows) {
  BlockShape shape;
  for (int i = 0; i < rows; ++i) {
    if (counts[i] <= 0) continue;
    ++shape.entries;
    shape.observations += static_cast<std::uint32_t>(counts[i]);
  }
  return shape;
}

std::uint32_t BlockLength(std::uint32_t entries, std::uint32_t observations) {
  return static_cast<std::uint32_t>(kBlockHeaderSize + kEntryHeaderSize * entries + kValueSize * observations);
}

void EncodeBlockHeader(std::uint32_t length, unsigned client, unsigned experiment, unsigned entries,
                       unsigned char (&out)[kBlockHeaderSize]) {
  BigEndian::PutU32(out, length);
  out[4] = static_cast<unsigned char>(client);
  BigEndian::PutU16(out + 5, static_cast<std::uint16_t>(experiment));
  BigEndian::PutU16(out + 7, static_cast<std::uint16_t>(entries));
}

void EncodeEntryHeader(unsigned pv, std::int32_t count, unsigned char (&out)[kEntryHeaderSize]) {
  BigEndian::PutU16(out, static_cast<std::uint16_t>(pv));
  out[2] = kObservedValues;
  BigEndian::PutU32(out + 3, static_cast<std::uint32_t>(count));
}

void EncodeValues(const double* values, int count, unsigned char* out) {
  for (int j = 0; j < count; ++j) BigEndian::PutDouble(out + static_cast<std::size_t>(j) * kValueSize, values[j]);
}

std::string EncodeBlock(unsigned client, unsigned experiment, const std::int32_t* counts, const double* values,
                        int rows, int rowStride) {
  const BlockShape shape = ShapeOfRows(counts, rows);
  std::string block(BlockLength(shape.entries, shape.observations), '\0');
  unsigned char* out = reinterpret_cast<unsigned char*>(&block[0]);
  unsigned char header[kBlockHeaderSize];
  EncodeBlockHeader(static_cast<std::uint32_t>(block.size()), client, experiment, shape.entries, header);
  out = std::copy(header, header + kBlockHeaderSize, out);
  for (int i = 0; i < rows; ++i) {
    if (counts[i] <= 0) continue;
    unsigned char entry[kEntryHeaderSize];
    EncodeEntryHeader(static_cast<unsigned>(i), counts[i], entry);
    out = std::copy(entry, entry + kEntryHeaderSize, out);
    EncodeValues(values + static_cast<std::size_t>(i) * rowStride, counts[i], out);
    out += static_cast<std::size_t>(counts[i]) * kValueSize;
  }
  return block;
}

std::string EncodeHandOver(const std::string& fileName, int batches) {
  return std::string(1, static_cast<char>(kHandOverCommand)) + fileName + ";" + std::to_string(batches) + ";;";
}

bool DecodeReply(const unsigned char* bytes, Reply& reply) {
  if (BigEndian::GetU32(bytes) != kReplySize) return false;
  if (bytes[4] != kAcceptMarker && bytes[4] != kQuitMarker) return false;
  reply.marker = bytes[4];
  reply.code = bytes[5];
  reply.processId = BigEndian::GetU32(bytes + 6);
  return true;
}

bool DecodeCPUTime(const unsigned char* bytes, CPUTime& message) {
  if (BigEndian::GetU32(bytes) != kCPUTimeLengthField || bytes[4] != kCPUTimeMarker) return false;
  message.client = bytes[5];
  message.experiment = BigEndian::GetU16(bytes + 6);
  message.seconds = BigEndian::GetDouble(bytes + 8);
  return true;
}

bool DecodeBlock(const unsigned char* bytes, std::size_t size, BlockView& view, std::string& error) {
  view.entries.clear();
  if (size < kBlockHeaderSize) {
    error = "block of " + std::to_string(size) + " bytes is shorter than its header";
    return false;
  }
  if (BigEndian::GetU32(bytes) != size) {
    error = "block length field " + std::to_string(BigEndian::GetU32(bytes)) + " does not match its " +
            std::to_string(size) + " bytes";
    return false;
  }
  view.client = bytes[4];
  view.experiment = BigEndian::GetU16(bytes + 5);
  const unsigned entries = BigEndian::GetU16(bytes + 7);
  std::size_t at = kBlockHeaderSize;
  for (unsigned e = 0; e < entries; ++e) {
    if (size - at < kEntryHeaderSize) {
      error = "entry " + std::to_string(e) + " of " + std::to_string(entries) + " runs past the block's end";
      return false;
    }
    BlockEntry entry;
    entry.pv = BigEndian::GetU16(bytes + at);
    const unsigned kind = bytes[at + 2];
    entry.count = static_cast<std::int32_t>(BigEndian::GetU32(bytes + at + 3));
    at += kEntryHeaderSize;
    if (kind != kObservedValues) {
      error = "entry for PV " + std::to_string(entry.pv) + " has kind " + std::to_string(kind) + ", not 1";
      return false;
    }
    if (entry.count < 0 || static_cast<std::size_t>(entry.count) > (size - at) / kValueSize) {
      error = "entry for PV " + std::to_string(entry.pv) + " claims " + std::to_string(entry.count) +
              " values, which do not fit in the block";
      return false;
    }
    entry.values = bytes + at;
    at += static_cast<std::size_t>(entry.count) * kValueSize;
    view.entries.push_back(entry);
  }
  if (at != size) {
    error = std::to_string(size - at) + " bytes follow the block's last entry";
    return false;
  }
  return true;
}

double DecodeValue(const unsigned char* bytes) { return BigEndian::GetDouble(bytes); }

// The batch count is read like atoi, but saturates instead of overflowing.
HandOver ParseHandOver(const std::string& text) {
  HandOver handOver;
  const std::size_t nameEnd = text.find(';');
  handOver.fileName = text.substr(0, nameEnd);
  if (nameEnd == std::string::npos) return handOver;
  const std::string count = text.substr(nameEnd + 1, text.find(';', nameEnd + 1) - nameEnd - 1);
  const long long value = std::strtoll(count.c_str(), nullptr, 10);
  handOver.batches = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
  return handOver;
}

}  // namespace protocol
