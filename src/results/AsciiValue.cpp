#include "results/AsciiValue.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace ascii_value {

namespace {

// Below this every integral double is exact in a long long and prints
// without an exponent.
constexpr double kIntegralLimit = 1e15;

// whole is value, already converted: |value| < kIntegralLimit.
int FormatIntegral(double value, long long whole, char* out) {
  char* at = out;
  // -0.0 prints as "-0.0" with printf too.
  if (std::signbit(value)) *at++ = '-';
  const long long magnitude = whole < 0 ? -whole : whole;
  at = std::to_chars(at, out + kMaxText, magnitude).ptr;
  *at++ = '.';
  *at++ = '0';
  return static_cast<int>(at - out);
}

constexpr int kDecimals = 10;
constexpr std::uint64_t kDecimalScale = 10000000000ULL;  // 10^kDecimals

// A finite value below kIntegralLimit with a fraction, from its exact binary
// form m * 2^-shift: the fraction's bits times 10^10 fit in 128 bits, so
// the ten decimals come out exactly, rounded half to even as printf rounds
// the exact value, with no division wider than 64 bits.
int FormatFixed(double value, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased != 0) mantissa |= std::uint64_t{1} << 52;
  // Non-integral, so the value has fraction bits: shift >= 1.
  const int shift = (biased != 0 ? 1075 - biased : 1074);
  std::uint64_t whole = shift < 64 ? mantissa >> shift : 0;
  const std::uint64_t fraction = shift < 64 ? mantissa & ((std::uint64_t{1} << shift) - 1) : mantissa;
  std::uint64_t decimals = 0;
  // Below 2^-88 of a unit even the largest fraction is under half of the
  // last decimal: it rounds to zero.
  if (shift < 88) {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(fraction) * kDecimalScale;
    decimals = static_cast<std::uint64_t>(scaled >> shift);
    const unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << shift) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (decimals & 1) != 0)) ++decimals;
    if (decimals == kDecimalScale) {
      decimals = 0;
      ++whole;
    }
  }
  char* at = out;
  if ((bits >> 63) != 0) *at++ = '-';
  at = std::to_chars(at, out + kMaxText, whole).ptr;
  *at++ = '.';
  char* const first = at;
  for (int k = kDecimals - 1; k >= 0; --k) {
    first[k] = static_cast<char>('0' + decimals % 10);
    decimals /= 10;
  }
  at = first + kDecimals;
  while (at > first + 1 && at[-1] == '0') --at;
  return static_cast<int>(at - out);
}

// Drops trailing zeros after the point, keeping the first decimal.
int TrimZeros(const char* out, int length) {
  const char* point = static_cast<const char*>(std::memchr(out, '.', static_cast<size_t>(length)));
  if (point == nullptr) return length;
  const int keep = static_cast<int>(point - out) + 2;
  while (length > keep && out[length - 1] == '0') --length;
  return length;
}

}  // namespace

int Format(double value, char* out) {
  if (std::fabs(value) < kIntegralLimit) {
    // Exact below kIntegralLimit, and cheaper than std::trunc, which without
    // the processor's rounding instruction is a call.
    const long long whole = static_cast<long long>(value);
    return static_cast<double>(whole) == value ? FormatIntegral(value, whole, out) : FormatFixed(value, out);
  }
  int length;
  if (std::isfinite(value)) {
    const std::to_chars_result r = std::to_chars(out, out + kMaxText, value, std::chars_format::fixed, 10);
    length = static_cast<int>(r.ptr - out);
  } else {
    char text[16];
    length = std::snprintf(text, sizeof text, "%.10lf", value);
    std::memcpy(out, text, static_cast<size_t>(length));
  }
  return TrimZeros(out, length);
}

}  // namespace ascii_value
