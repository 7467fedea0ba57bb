// Big-endian (network order) encoding of the integers and doubles that go to
// the simulation manager and into the binary results file, and the matching
// decoding for readers. Doubles are IEEE 754 binary64, most significant byte
// first, whatever the host's byte order.
#ifndef BIG_ENDIAN_H
#define BIG_ENDIAN_H

#include <cstdint>
#include <cstring>

namespace BigEndian {

inline void PutU16(unsigned char* out, std::uint16_t value) {
  out[0] = static_cast<unsigned char>(value >> 8);
  out[1] = static_cast<unsigned char>(value);
}

inline void PutU32(unsigned char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

inline void PutU64(unsigned char* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(value >> (56 - 8 * i));
}

inline void PutDouble(unsigned char* out, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutU64(out, bits);
}

inline std::uint16_t GetU16(const unsigned char* in) {
  return static_cast<std::uint16_t>((in[0] << 8) | in[1]);
}

inline std::uint32_t GetU32(const unsigned char* in) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | in[i];
  return value;
}

// One whole load and the processor's byte swap: the manager decodes every
// value it receives with this.
inline std::uint64_t GetU64(const unsigned char* in) {
  std::uint64_t value;
  std::memcpy(&value, in, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  value = __builtin_bswap64(value);
#elif !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_BIG_ENDIAN__
  value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | in[i];
#endif
  return value;
}

inline double GetDouble(const unsigned char* in) {
  const std::uint64_t bits = GetU64(in);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace BigEndian

#endif
