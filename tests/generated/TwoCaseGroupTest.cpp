// The typed case group against the general group over the same two cases: the
// same answers, the same choices from the same stream, the same flags; and the
// general answers once its member array no longer holds the two cases.
#include <gtest/gtest.h>

#include "Cpp/BaseClasses/PostselectGroup.h"
#include "generated/TOTAL_MEMORY_MODELSAN.h"
#include "random/UserDistributions.h"

namespace {

// One step of a group over tm's two cases: what it answered and what fired
// (0 none, 1 or 2 the case).
struct Observation {
  bool Enabled;
  bool Change;
  int Fired;
  bool Disabled1;
  bool Disabled2;
  bool operator==(const Observation& o) const {
    return Enabled == o.Enabled && Change == o.Change && Fired == o.Fired && Disabled1 == o.Disabled1 &&
           Disabled2 == o.Disabled2;
  }
};

Observation Step(TOTAL_MEMORY_MODELSAN& tm, BaseGroupClass& group, short mark, UserDistributions* stream) {
  UserDistributions* saved = TheDistribution;
  TheDistribution = stream;
  tm.READ_TOTAL_MEMORY.setMark(mark);
  Observation o;
  o.Change = group.EnablingChange();
  o.Enabled = group.Enabled();
  BaseActionClass* fired = group.Fire();
  o.Fired = fired == nullptr ? 0 : fired == &tm.READ_FROM_case1 ? 1 : 2;
  o.Disabled1 = tm.READ_FROM_case1.Disabled;
  o.Disabled2 = tm.READ_FROM_case2.Disabled;
  TheDistribution = saved;
  return o;
}

TEST(TwoCaseGroupTest, AnswersAsTheGeneralGroupDoes) {
  TOTAL_MEMORY_MODELSAN typed;
  TOTAL_MEMORY_MODELSAN general;
  PostselectGroup reference;
  reference.initialize(2, "reference");
  reference.appendGroup(&general.READ_FROM_case1);
  reference.appendGroup(&general.READ_FROM_case2);
  // Two equal streams, one per group: each step draws the same from both.
  UserDistributions typedStream(1, 77), generalStream(1, 77);
  const short marks[] = {0, 1, 1, 0, 3, 0, 2, 2, 1};
  int fired[3] = {0, 0, 0};
  for (int step = 0; step < 60; ++step) {
    const short mark = marks[step % 9];
    const Observation a = Step(typed, typed.READ_FROMGroup, mark, &typedStream);
    const Observation b = Step(general, reference, mark, &generalStream);
    EXPECT_TRUE(a == b) << "step " << step << ", mark " << mark;
    ++fired[a.Fired];
  }
  EXPECT_GT(fired[1], 0);
  EXPECT_GT(fired[2], 0);
}

TEST(TwoCaseGroupTest, AReplacedMemberIsAskedThroughTheMemberArray) {
  TOTAL_MEMORY_MODELSAN tm;
  TOTAL_MEMORY_MODELSAN other;
  tm.READ_FROMGroup.replaceMember(&tm.READ_FROM_case2, &other.READ_FROM_case2);
  other.READ_TOTAL_MEMORY.setMark(1);
  EXPECT_TRUE(tm.READ_FROMGroup.Enabled());
  EXPECT_EQ(tm.READ_FROMGroup.Fire(), &other.READ_FROM_case2);
  EXPECT_EQ(other.MEMORY_KO.getMark(), 1);
}

}  // namespace
