// The ASCII value text against what snprintf("%.10lf") prints, trimmed the
// same way, for hand-picked edge cases and a large sample of doubles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "results/AsciiValue.h"

namespace {

std::string ByPrintf(double value) {
  char text[ascii_value::kMaxText];
  std::snprintf(text, sizeof text, "%.10lf", value);
  if (char* point = std::strchr(text, '.')) {
    char* end = text + std::strlen(text);
    while (end > point + 2 && end[-1] == '0') --end;
    *end = '\0';
  }
  return text;
}

std::string ByFormat(double value) {
  char text[ascii_value::kMaxText];
  return std::string(text, static_cast<size_t>(ascii_value::Format(value, text)));
}

TEST(AsciiValueTest, EdgeCasesPrintAsPrintfDoes) {
  const double inf = std::numeric_limits<double>::infinity();
  const double cases[] = {
      0.0, -0.0, 1.0, -1.0, 467.0, 0.5, -3.25, 1e-12, -1e-12, 5e-11, 4.9999999999e-11, 0.00048828125,
      0.00146484375, 2.5e-10, 7.5e-10, 0.12345678905, 999999999999999.0, 1e15, -1e15, 1e15 + 1, 1e20,
      9007199254740993.0, 123456789.0000000001, std::nextafter(1.0, 0.0), std::nextafter(1e15, 0.0),
      std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
      std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(), inf, -inf,
      std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
  for (double v : cases) EXPECT_EQ(ByFormat(v), ByPrintf(v)) << "value " << v;
}

// Random bit patterns cover every exponent; exact binary fractions with
// eleven or more decimals put the tenth decimal on a rounding tie; values
// near integers and small counts cover the everyday outputs.
TEST(AsciiValueTest, ManyValuesPrintAsPrintfDoes) {
  std::mt19937_64 random(20261207);
  for (int k = 0; k < 200000; ++k) {
    double v;
    const uint64_t bits = random();
    switch (k % 4) {
      case 0:
        std::memcpy(&v, &bits, sizeof v);
        break;
      case 1:
        v = std::ldexp(static_cast<double>(bits >> 30), -static_cast<int>(bits % 48));
        break;
      case 2:
        v = static_cast<double>(static_cast<int64_t>(bits >> 40) - (1 << 23)) / (1 << (bits % 20));
        break;
      default:
        v = std::nextafter(std::round(static_cast<double>(bits % 2000) - 1000.0), (bits & 1) ? 1e9 : -1e9);
        break;
    }
    ASSERT_EQ(ByFormat(v), ByPrintf(v)) << "value bits 0x" << std::hex << bits;
  }
}

// A value whose fraction has exactly eleven bits lies on a tie of the tenth
// decimal (twelve bits put it beside one); fractions just
// below a whole round up into it.
TEST(AsciiValueTest, TiesAndCarriesPrintAsPrintfDoes) {
  const double wholes[] = {0.0, 1.0, 2.0, 99.0, 123456789.0, 2199023255552.0};
  for (double whole : wholes) {
    for (int j = 1; j < 4096; j += 2) {
      const double below = whole + std::ldexp(j, -12);
      const double tie = whole + std::ldexp(j, -11);
      for (double v : {below, tie, -below, -tie, std::nextafter(whole + 1.0, 0.0), whole + 0.99999999995})
        ASSERT_EQ(ByFormat(v), ByPrintf(v)) << "value " << v;
    }
  }
}

}  // namespace
