#include "manager/ReceiveBuffer.h"

#include <gtest/gtest.h>

namespace {

// A connection's share of the budget, within its bounds, cut to what the
// system allows, and nothing when even the smallest share is not allowed.
TEST(ReceiveBufferTest, EachConnectionGetsItsShareOfTheBudgetWithinWhatTheSystemAllows) {
  constexpr long kMB = 1L << 20;
  struct Case {
    int simulators;
    long systemLargest;
    long expected;
  };
  const Case cases[] = {
      {1, 4 * kMB, 4 * kMB},      {64, 4 * kMB, 4 * kMB},      {128, 4 * kMB, 2 * kMB},
      {512, 4 * kMB, kMB / 2},    {4096, 4 * kMB, kMB / 2},    {64, 32 * kMB, 4 * kMB},
      {64, 3 * kMB, 3 * kMB},     {64, 212992, 0},             {64, 0, 0},
      {0, 4 * kMB, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(receive_buffer::BytesFor(c.simulators, c.systemLargest), c.expected)
        << c.simulators << " simulators, system largest " << c.systemLargest;
  }
}

}  // namespace
