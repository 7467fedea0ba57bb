#include "results/AsciiValue.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace ascii_value {

namespace {

// Below this every integral double is exact in a long long and prints
// without an exponent.
constexpr double kIntegralLimit = 1e15;

int FormatIntegral(double value, char* out) {
  char* at = out;
  // -0.0 prints as "-0.0" with printf too.
  if (std::signbit(value)) *at++ = '-';
  const long long magnitude = static_cast<long long>(std::fabs(value));
  at = std::to_chars(at, out + kMaxText, magnitude).ptr;
  *at++ = '.';
  *at++ = '0';
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
  if (std::fabs(value) < kIntegralLimit && value == std::trunc(value)) return FormatIntegral(value, out);
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
