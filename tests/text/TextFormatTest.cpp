#include "text/TextFormat.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(TextFormatTest, NumbersKeepTenSignificantDigits) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{0.1, "0.1"}, {-2.5, "-2.5"}, {1e20, "1e+20"}, {1.0 / 3.0, "0.3333333333"}, {0.0, "0"}};
  for (const auto& c : cases) EXPECT_EQ(NumberText(c.value), c.text) << c.text;
}

TEST(TextFormatTest, NonFiniteNumbersAreTheCallersMissingText) {
  EXPECT_EQ(NumberText(-kInf), "-inf");
  EXPECT_EQ(FiniteNumberText(2.0, "null"), "2");
  for (const double value : {kNaN, kInf, -kInf}) EXPECT_EQ(FiniteNumberText(value, "null"), "null");
}

TEST(TextFormatTest, StringsEscapeQuotesAndBackslashesAndTreatControlsByForm) {
  const std::string text = std::string("a\"b\\c\nd\x1f") + '\0' + "\xc3\xa9";
  EXPECT_EQ(JsonString(text), "\"a\\\"b\\\\c\\u000ad\\u001f\\u0000\xc3\xa9\"");
  EXPECT_EQ(QuotedWithoutControls(text), "\"a\\\"b\\\\cd\xc3\xa9\"");
}

}  // namespace
