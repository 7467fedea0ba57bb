#include "Cpp/BaseClasses/QuelixAssert.h"

#include <gtest/gtest.h>

TEST(QuelixAssertDeathTest, ReportsExpressionSourceAndLine) {
  EXPECT_DEATH(QUELIX_ASSERT_AT(1 + 1 == 3, "state/SharableSV", 42),
               "Assertion failed: 1 \\+ 1 == 3, file state/SharableSV, line 42");
}

TEST(QuelixAssertDeathTest, PassingAssertionDoesNothing) {
  QUELIX_ASSERT(2 > 1, "Join");
  SUCCEED();
}
