#include "simulator/StopSignals.h"

#include <gtest/gtest.h>

#include <csignal>

TEST(StopSignalsTest, ASignalBeforeANestedGuardIsKeptUntilTheOutermostEnds) {
  {
    StopSignals outer;
    EXPECT_FALSE(StopSignals::Requested());
    std::raise(SIGINT);  // once only: the handler is one-shot
    EXPECT_TRUE(StopSignals::Requested());
    {
      StopSignals nested;  // as a loop inside main's guard
      EXPECT_TRUE(StopSignals::Requested());
    }
    EXPECT_TRUE(StopSignals::Requested());
  }
  EXPECT_FALSE(StopSignals::Requested()) << "a later wait starts afresh";
}
