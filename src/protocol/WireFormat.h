// The bytes exchanged between a simulator and its simulation manager, in one
// place for both ends. Every multi-byte field is big-endian; a double is IEEE
// 754 binary64, most significant byte first.
//
// Simulator to manager:
//   reply (and greeting), 10 bytes: length 10 (u32), marker (u8: 255, or 254
//     for the reply to command 2), code (u8), process id (u32);
//   CPU-time message, 16 bytes: length 12 (u32: the bytes after it), marker
//     254 (u8), client (u8), experiment (u16), CPU seconds (double);
//   observation block: length (u32, the whole block), client (u8),
//     experiment (u16), entries E (u16), then E entries of PV index (u16),
//     kind 1 (u8), count n (signed 32), n doubles. Length = 9 + 7E + 8N.
// Manager to simulator: one command byte (1 status, 2 quit, 3 hand-over);
// a hand-over is followed by "<file>;<batches>;;", at most 512 bytes.
//
// The encoders write into caller-provided buffers and allocate nothing, so
// the simulator can send each field as a piece of its own. The decoders read
// from caller-provided bytes, never trust a length or count they were given
// and never allocate more than the caller's entry vector.
#ifndef PROTOCOL_WIRE_FORMAT_H
#define PROTOCOL_WIRE_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace protocol {

constexpr std::size_t kReplySize = 10;
constexpr std::size_t kCPUTimeSize = 16;
constexpr std::uint32_t kCPUTimeLengthField = 12;
constexpr std::size_t kBlockHeaderSize = 9;
constexpr std::size_t kEntryHeaderSize = 7;
constexpr std::size_t kValueSize = 8;
constexpr std::size_t kHandOverTextLimit = 512;

constexpr unsigned char kAcceptMarker = 255;
constexpr unsigned char kQuitMarker = 254;
constexpr unsigned char kCPUTimeMarker = 254;
constexpr unsigned char kObservedValues = 1;

enum Command : unsigned char { kStatusCommand = 1, kQuitCommand = 2, kHandOverCommand = 3 };

struct Reply {
  unsigned marker = 0;
  unsigned code = 0;
  std::uint32_t processId = 0;
};

struct CPUTime {
  unsigned client = 0;      // low 8 bits of the client id
  unsigned experiment = 0;  // low 16 bits of the experiment
  double seconds = 0.0;
};

// One entry of a decoded block; values points at its count big-endian
// doubles inside the block.
struct BlockEntry {
  unsigned pv = 0;
  std::int32_t count = 0;
  const unsigned char* values = nullptr;
};

struct BlockView {
  unsigned client = 0;
  unsigned experiment = 0;
  std::vector<BlockEntry> entries;  // reused between decodes
};

struct HandOver {
  std::string fileName;
  int batches = 0;  // 0 when missing or not a number; saturates at the int range
};

// --- Encoding --------------------------------------------------------------

void EncodeReply(const Reply& reply, unsigned char (&out)[kReplySize]);
void EncodeCPUTime(const CPUTime& message, unsigned char (&out)[kCPUTimeSize]);
// What a block made from rows of counts carries: an entry per row with a
// count above zero, and the values of those rows together.
struct BlockShape {
  std::uint32_t entries = 0;
  std::uint32_t observations = 0;
};
BlockShape ShapeOfRows(const std::int32_t* counts, int rows);
// The length field of a block with these many non-empty entries and values.
std::uint32_t BlockLength(std::uint32_t entries, std::uint32_t observations);
void EncodeBlockHeader(std::uint32_t length, unsigned client, unsigned experiment, unsigned entries,
                       unsigned char (&out)[kBlockHeaderSize]);
void EncodeEntryHeader(unsigned pv, std::int32_t count, unsigned char (&out)[kEntryHeaderSize]);
// REQUIRES: out holds count * 8 bytes.
void EncodeValues(const double* values, int count, unsigned char* out);
// A whole block from rows of values (row i holds counts[i] values starting
// at values + i * rowStride); rows with a count of zero or less are skipped.
std::string EncodeBlock(unsigned client, unsigned experiment, const std::int32_t* counts, const double* values,
                        int rows, int rowStride);
// The command byte 3 followed by "<file>;<batches>;;".
std::string EncodeHandOver(const std::string& fileName, int batches);

// --- Decoding --------------------------------------------------------------

// REQUIRES: bytes holds kReplySize (kCPUTimeSize) bytes. False when the
// length or marker fields are not those of the message.
bool DecodeReply(const unsigned char* bytes, Reply& reply);
bool DecodeCPUTime(const unsigned char* bytes, CPUTime& message);
// Checks a whole block of size bytes (length field included): the length
// field equals size, every entry has kind 1, a count of at least 0 and its
// values inside the block, and nothing follows the last entry. On failure
// returns false with error naming the fault.
bool DecodeBlock(const unsigned char* bytes, std::size_t size, BlockView& view, std::string& error);
double DecodeValue(const unsigned char* bytes);
// The text after command byte 3: "<file>;<batches>;;".
HandOver ParseHandOver(const std::string& text);

}  // namespace protocol

#endif
