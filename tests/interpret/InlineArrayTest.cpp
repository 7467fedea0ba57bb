#include "interpret/InlineArray.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using saninterp::InlineArray;

// Lengths up to the inline capacity stay in the object, longer ones move to
// the heap; reassigning either way keeps exactly the new contents (the data
// pointer must follow the storage, and the old heap block must go).
TEST(InlineArrayTest, HoldsItsContentsInlineOrOnTheHeapAcrossReassignments) {
  struct Case {
    std::vector<int> values;
    bool inlineExpected;
  };
  const Case cases[] = {
      {{}, true}, {{7}, true}, {{1, 2}, true}, {{1, 2, 3}, false}, {{4, 5}, true}, {{9, 8, 7, 6, 5}, false},
  };
  InlineArray<int, 2> array;
  for (const Case& c : cases) {
    array.assign(c.values);
    EXPECT_EQ(array.IsInline(), c.inlineExpected) << c.values.size();
    EXPECT_EQ(std::vector<int>(array.begin(), array.end()), c.values);
  }
  array.assign(3, 4);
  EXPECT_EQ(std::vector<int>(array.begin(), array.end()), (std::vector<int>{4, 4, 4}));
  array[1] = 0;
  EXPECT_EQ(array.data()[1], 0);
}

}  // namespace
