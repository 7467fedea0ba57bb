#include "simulator/GroupPrefetch.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Cpp/BaseClasses/BaseGroupClass.h"

namespace {

class LinesGroup : public BaseGroupClass {
 public:
  explicit LinesGroup(unsigned lines) : Lines(lines) {}
  unsigned HotLines() override { return Lines; }

 private:
  unsigned Lines;
};

// The two further lines are those the most groups name (the lower of
// equals), never the first two, which are always asked for; with none named
// the second line stands in for both.
TEST(GroupPrefetchTest, LearnsTheTwoLinesMostGroupsName) {
  struct Case {
    std::vector<unsigned> lines;
    int first;
    int second;
  };
  const Case cases[] = {
      {{}, 64, 64},
      {{0u, 0u}, 64, 64},
      {{0x3u}, 64, 64},                                   // the first two only
      {{1u << 7 | 1u << 8, 1u << 7 | 1u << 8}, 448, 512},  // an interpreted activity's
      {{1u << 9}, 576, 64},
      {{1u << 5, 1u << 9, 1u << 9, 1u << 31}, 576, 320},
      {{1u << 4 | 1u << 6 | 1u << 8, 1u << 6 | 1u << 8}, 384, 512},
  };
  for (const Case& c : cases) {
    std::vector<std::unique_ptr<LinesGroup>> owned;
    std::vector<BaseGroupClass*> groups;
    for (unsigned lines : c.lines) {
      owned.push_back(std::make_unique<LinesGroup>(lines));
      groups.push_back(owned.back().get());
    }
    GroupPrefetch ahead;
    ahead.Learn(groups.data(), static_cast<int>(groups.size()));
    EXPECT_EQ(ahead.ExtraOffset(0), c.first) << c.lines.size();
    EXPECT_EQ(ahead.ExtraOffset(1), c.second) << c.lines.size();
  }
}

}  // namespace
