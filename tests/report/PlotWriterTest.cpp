#include "report/PlotWriter.h"

#include <gtest/gtest.h>

// A title keeps its start and its end (the file names that tell pictures
// apart) and loses its middle.
TEST(PlotWriterTest, ALongTitleLosesItsMiddle) {
  const struct {
    std::string text;
    std::size_t maxLength;
    std::string shortened;
  } cases[] = {
      {"short", 10, "short"},
      {"exactly10!", 10, "exactly10!"},
      {"/a/long/path/to/results.bin", 15, "/a/lon...ts.bin"},
      {"abcdefghij", 9, "abc...hij"},
  };
  for (const auto& c : cases) {
    const std::string got = ShortenedInTheMiddle(c.text, c.maxLength);
    EXPECT_EQ(got, c.shortened) << c.text;
    EXPECT_LE(got.size(), c.maxLength) << c.text;
  }
}
