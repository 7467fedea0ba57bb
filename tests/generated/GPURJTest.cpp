// The composed GPU model: its children, its action and group lists, the nine
// shared places and the saved-state layout.
#include "generated/GPURJ.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "generated/GPU_COMPOSED_STUDYSetStudy.h"

namespace {

class GPURJTest : public ::testing::Test {
 protected:
  void SetUp() override {
    size = 13;
    join = std::make_unique<GPURJ>();
  }
  std::unique_ptr<GPURJ> join;
};

TEST_F(GPURJTest, ChildrenInOrderWithTheirJoinNames) {
  ASSERT_EQ(join->GetNumberOfChildren(), 4);
  EXPECT_EQ(join->GetChild(0), join->COMPUTE_UNIT);
  EXPECT_EQ(join->GetChild(1), join->TOTAL_MEMORY);
  EXPECT_EQ(join->GetChild(2), join->OUTPUT_MEMORY);
  EXPECT_EQ(join->GetChild(3), join->RESULT_MEMORY);
  EXPECT_STREQ(join->getName(), "Join");
  EXPECT_STREQ(join->COMPUTE_UNIT->getName(), "COMPUTE_UNIT");
  EXPECT_STREQ(join->TOTAL_MEMORY->getName(), "TOTAL_MEMORY");
  EXPECT_STREQ(join->OUTPUT_MEMORY->getName(), "OUTPUT_MEMORY");
  EXPECT_STREQ(join->RESULT_MEMORY->getName(), "RESULT_MEMORY");
  EXPECT_EQ(join->GetModelType(), 2);
}

TEST_F(GPURJTest, TwentyActionsAndEighteenGroupsNumberedInChildOrder) {
  ASSERT_EQ(join->NumActions, 20);
  ASSERT_EQ(join->NumGroups, 18);
  // A case group passes its number on to its cases.
  for (int g = 0; g < 18; g++) EXPECT_EQ(join->Groups[g]->getPrintedAction()->GroupID, g) << g;
  // Each action carries the number of the group that contains it.
  const int actionGroups[] = {0, 1, 2, 3, 4, 4, 5, 6, 7, 8, 9, 10, 11, 11, 12, 13, 14, 15, 16, 17};
  for (int a = 0; a < 20; a++) EXPECT_EQ(join->Actions[a]->GroupID, actionGroups[a]) << a;
  EXPECT_EQ(join->Actions[0], &join->COMPUTE_UNIT->DISPATCHER);
  EXPECT_EQ(join->Actions[4], &join->TOTAL_MEMORY->READ_FROM_case1);
  EXPECT_EQ(join->Actions[12], &join->RESULT_MEMORY->READ_FROM_case1);
  EXPECT_EQ(join->Actions[19], &join->RESULT_MEMORY->Instantaneous_Activity4);
  EXPECT_EQ(join->Groups[4], &join->TOTAL_MEMORY->READ_FROMGroup);
  EXPECT_EQ(join->Groups[11], &join->RESULT_MEMORY->READ_FROMGroup);
}

TEST_F(GPURJTest, NinePlacesAreSharedAndTwentyThreeStateVariablesRemain) {
  EXPECT_EQ(join->NumSharedStateVariables, 9);
  EXPECT_EQ(join->getNumStateVariables(), 23);
  BaseStateVariableClass** shared = join->GetSharedStateVariables();
  for (int i = 0; i < 9; i++) {
    EXPECT_STREQ(shared[i]->getName(), GPURJ__SharedNames[i]);
    EXPECT_EQ(static_cast<Place*>(shared[i])->getMark(), 0);
    EXPECT_TRUE(shared[i]->getStored());
  }
  EXPECT_EQ(shared[1], join->MEM_OP_COMPLETE);
  // The merged child places have handed their cell to the join's place.
  EXPECT_FALSE(join->RESULT_MEMORY->MEM_OP_COMPLETE.getStored());
  EXPECT_TRUE(join->OUTPUT_MEMORY->RESULT_OK.getStored());
  EXPECT_EQ(join->COMPUTE_UNIT->MEM_OP_COMPLETE.Value, join->MEM_OP_COMPLETE->Value);
}

TEST_F(GPURJTest, MainSharedVariableOfChildPlaces) {
  EXPECT_EQ(join->getMainSharedVariable(&join->RESULT_MEMORY->OK_READ), join->OK_READ);
  EXPECT_EQ(join->getMainSharedVariable(&join->COMPUTE_UNIT->WRITE_RESULT_MEMORY), join->WRITE_RESULT_MEMORY);
  EXPECT_EQ(join->getMainSharedVariable(&join->OUTPUT_MEMORY->RESULT_OK), nullptr);
  EXPECT_EQ(join->getMainSharedVariable(&join->COMPUTE_UNIT->INST_COUNTER), nullptr);
}

TEST_F(GPURJTest, RightAfterConstructionOnlyTheDispatcherIsEnabled) {
  for (int g = 0; g < join->NumGroups; g++) EXPECT_EQ(join->Groups[g]->Enabled(), g == 0) << g;
}

TEST_F(GPURJTest, AReadRequestWrittenByTheComputeUnitEnablesTheTotalMemory) {
  join->COMPUTE_UNIT->READ_TOTAL_MEMORY.setMark(1);
  EXPECT_EQ(join->TOTAL_MEMORY->READ_TOTAL_MEMORY.getMark(), 1);
  EXPECT_EQ(join->READ_TOTAL_MEMORY->getMark(), 1);
  EXPECT_TRUE(join->TOTAL_MEMORY->READ_FROMGroup.Enabled());
  // The request is also one of the places the dispatcher affects, so the
  // affects relation reaches the memory's group through the merged lists.
  EXPECT_TRUE(join->READ_TOTAL_MEMORY->getEnabledActions()->contains(&join->TOTAL_MEMORY->READ_FROM_case1));
  EXPECT_TRUE(join->READ_TOTAL_MEMORY->getAffectingActions()->contains(&join->COMPUTE_UNIT->DISPATCHER));
}

TEST_F(GPURJTest, ActivitiesWriteThroughTheSharedCells) {
  join->COMPUTE_UNIT->DISPATCHER.Fire();
  EXPECT_EQ(join->READ_TOTAL_MEMORY->getMark(), 1);
  join->TOTAL_MEMORY->MEMORY_OK.setMark(1);
  join->TOTAL_MEMORY->Instantaneous_Activity1.Fire();
  EXPECT_EQ(join->COMPUTE_UNIT->OK_READ.getMark(), 1);
  EXPECT_EQ(join->RESULT_MEMORY->OK_READ.getMark(), 1);
  EXPECT_TRUE(join->COMPUTE_UNIT->Instantaneous_Activity1.Enabled());
}

TEST_F(GPURJTest, SavedStateIsTheChildrensOwnPlacesThenTheSharedOnes) {
  // COMPUTE_UNIT: INST_COUNTER, ALU_INSTRUCTION, INSTRUCTION_READY and the 13
  // program elements; 2 + 4 + 4 own places of the memories; 9 shared places.
  const int expected = (3 + 13) * 2 + 2 * 2 + 4 * 2 + 4 * 2 + 9 * 2;
  ASSERT_EQ(join->StateSize(), expected);
  std::vector<short> state(expected / 2);
  join->COMPUTE_UNIT->READ_RESULT_MEMORY.setMark(5);
  join->RESULT_MEMORY->KO_CONTENT.setMark(7);
  join->CurrentState(state.data());
  EXPECT_EQ(state[0], -1);  // INST_COUNTER
  EXPECT_EQ(state[2], 1);   // INSTRUCTION_READY
  const short program[] = {0, 0, 4, 2, 0, 1, 4, 2, 1, 0, 0, 4, 3};
  for (int i = 0; i < 13; i++) EXPECT_EQ(state[3 + i], program[i]);
  EXPECT_EQ(state[16 + 2 + 4 + 1], 7);  // RESULT_MEMORY's KO_CONTENT
  EXPECT_EQ(state[26 + 3], 5);          // shared READ_RESULT_MEMORY
  EXPECT_EQ(state[26 + 4], 0);

  // Restoring brings every cell back.
  std::vector<short> saved = state;
  join->COMPUTE_UNIT->DISPATCHER.Fire();
  join->SetState(saved.data());
  join->CurrentState(state.data());
  EXPECT_EQ(state, saved);
}

TEST(GPURJLongProgramTest, TheJoinBuildsWithALongerProgramArray) {
  size = 20;
  GPURJ join;
  EXPECT_EQ(join.getNumStateVariables(), 23);
  EXPECT_EQ(join.StateSize(), (3 + 20) * 2 + 2 * 2 + 4 * 2 + 4 * 2 + 9 * 2);
  size = 13;
}

}  // namespace
