// The compute unit on its own: its places, its program, its dispatcher and
// the bounds of SCHEDULER.
#include "generated/COMPUTE_UNITSAN.h"

#include <gtest/gtest.h>

#include <memory>

#include "generated/GPU_COMPOSED_STUDYSetStudy.h"

namespace {

std::unique_ptr<COMPUTE_UNITSAN> MakeComputeUnit(short programSize) {
  size = programSize;
  return std::make_unique<COMPUTE_UNITSAN>();
}

short Instruction(COMPUTE_UNITSAN& cu, int i) { return *cu.SCHEDULER.index(i)->Value; }

TEST(COMPUTE_UNITSANTest, PlacesActivitiesAndProgramAfterConstruction) {
  auto cu = MakeComputeUnit(13);
  EXPECT_STREQ(cu->getName(), "COMPUTE_UNIT");
  EXPECT_EQ(cu->getNumStateVariables(), 13);
  ASSERT_EQ(cu->NumActions, 4);
  ASSERT_EQ(cu->NumGroups, 4);
  const char* names[] = {"DISPATCHER", "COMPUTE_WITH_OK_DATA", "COMPUTE_WITH_KO_DATA", "Instantaneous_Activity1"};
  for (int i = 0; i < 4; i++) {
    EXPECT_STREQ(cu->Actions[i]->getName(), names[i]);
    EXPECT_EQ(cu->Actions[i]->GroupID, i);
    EXPECT_EQ(static_cast<BaseActionClass*>(cu->Groups[i]), cu->Actions[i]);
    EXPECT_EQ(cu->Actions[i]->DistributionType, INSTANTANEOUS);
    EXPECT_EQ(cu->Actions[i]->SampleDistribution(), 0.0);
    EXPECT_EQ(cu->Actions[i]->Rank(), 1);
    EXPECT_EQ(cu->Actions[i]->Weight(), 1.0);
  }
  EXPECT_EQ(cu->INST_COUNTER.getMark(), -1);
  EXPECT_EQ(cu->INSTRUCTION_READY.getMark(), 1);
  const short program[] = {0, 0, 4, 2, 0, 1, 4, 2, 1, 0, 0, 4, 3};
  ASSERT_EQ(cu->SCHEDULER.getSize(), 13);
  for (int i = 0; i < 13; i++) EXPECT_EQ(Instruction(*cu, i), program[i]) << i;
  // On its own nothing is shared: twelve places, then the 13 elements.
  EXPECT_EQ(cu->StateSize(), 12 * 2 + 13 * 2);
}

TEST(COMPUTE_UNITSANTest, ArcsReachEveryElementOfTheProgramArray) {
  auto cu = MakeComputeUnit(13);
  // Seven places and the 13 leaves of SCHEDULER.
  EXPECT_EQ(cu->DISPATCHER.AffectedSVs.getNumItems(), 7 + 13);
  EXPECT_EQ(cu->DISPATCHER.EnablingSVs.getNumItems(), 2);
  EXPECT_TRUE(cu->SCHEDULER.index(12)->getAffectingActions()->contains(&cu->DISPATCHER));
  EXPECT_TRUE(cu->INSTRUCTION_READY.getAffectingActions()->contains(&cu->Instantaneous_Activity1));
  EXPECT_TRUE(cu->INSTRUCTION_READY.getEnabledActions()->contains(&cu->DISPATCHER));
  EXPECT_EQ(cu->INSTRUCTION_READY.getNumEnabledActions(), 1);
}

TEST(COMPUTE_UNITSANTest, OnlyTheDispatcherStartsEnabledAndItDispatchesTheFirstRead) {
  auto cu = MakeComputeUnit(13);
  EXPECT_TRUE(cu->DISPATCHER.Enabled());
  EXPECT_FALSE(cu->COMPUTE_WITH_OK_DATA.Enabled());
  EXPECT_FALSE(cu->COMPUTE_WITH_KO_DATA.Enabled());
  EXPECT_FALSE(cu->Instantaneous_Activity1.Enabled());

  EXPECT_EQ(cu->DISPATCHER.Fire(), &cu->DISPATCHER);
  EXPECT_EQ(cu->INST_COUNTER.getMark(), 0);
  EXPECT_EQ(cu->INSTRUCTION_READY.getMark(), 0);
  EXPECT_EQ(cu->READ_TOTAL_MEMORY.getMark(), 1);
  EXPECT_FALSE(cu->DISPATCHER.Enabled());
  EXPECT_FALSE(cu->DISPATCHER.EnablingChange());
}

TEST(COMPUTE_UNITSANTest, EachCodeRequestsItsOperationAndUnknownCodesNothing) {
  auto cu = MakeComputeUnit(13);
  struct Expectation {
    short code;
    Place* place;
  } cases[] = {{0, &cu->READ_TOTAL_MEMORY},  {1, &cu->READ_RESULT_MEMORY}, {2, &cu->WRITE_RESULT_MEMORY},
               {3, &cu->WRITE_OUTPUT_MEMORY}, {4, &cu->ALU_INSTRUCTION},   {5, nullptr},
               {-1, nullptr}};
  Place* requests[] = {&cu->READ_TOTAL_MEMORY, &cu->READ_RESULT_MEMORY, &cu->WRITE_RESULT_MEMORY,
                       &cu->WRITE_OUTPUT_MEMORY, &cu->ALU_INSTRUCTION};
  for (const Expectation& e : cases) {
    for (Place* p : requests) p->setMark(0);
    cu->INST_COUNTER.setMark(-1);
    cu->INSTRUCTION_READY.setMark(1);
    *cu->SCHEDULER.index(0)->Value = e.code;
    cu->DISPATCHER.Fire();
    for (Place* p : requests) EXPECT_EQ(p->getMark(), p == e.place ? 1 : 0) << "code " << e.code;
  }
}

TEST(COMPUTE_UNITSANTest, TheLastInstructionIsAWriteToTheOutputMemory) {
  auto cu = MakeComputeUnit(13);
  cu->INST_COUNTER.setMark(11);
  cu->INSTRUCTION_READY.setMark(1);
  ASSERT_TRUE(cu->DISPATCHER.Enabled());
  cu->DISPATCHER.Fire();
  EXPECT_EQ(cu->WRITE_OUTPUT_MEMORY.getMark(), 1);
  cu->INSTRUCTION_READY.setMark(1);
  EXPECT_EQ(cu->INST_COUNTER.getMark(), 12);
  EXPECT_FALSE(cu->DISPATCHER.Enabled());
}

TEST(COMPUTE_UNITSANTest, ComputationsNeedAReadTokenOfTheirKind) {
  auto cu = MakeComputeUnit(13);
  cu->INSTRUCTION_READY.setMark(0);
  cu->ALU_INSTRUCTION.setMark(1);
  // No read token: the compute unit stops.
  EXPECT_FALSE(cu->COMPUTE_WITH_OK_DATA.Enabled());
  EXPECT_FALSE(cu->COMPUTE_WITH_KO_DATA.Enabled());
  EXPECT_FALSE(cu->DISPATCHER.Enabled());

  cu->KO_READ.setMark(1);
  EXPECT_FALSE(cu->COMPUTE_WITH_OK_DATA.Enabled());
  ASSERT_TRUE(cu->COMPUTE_WITH_KO_DATA.Enabled());
  cu->COMPUTE_WITH_KO_DATA.Fire();
  EXPECT_EQ(cu->ALU_INSTRUCTION.getMark(), 0);
  EXPECT_EQ(cu->KO_READ.getMark(), 0);
  EXPECT_EQ(cu->RESULT_KO.getMark(), 1);
  EXPECT_EQ(cu->INSTRUCTION_READY.getMark(), 1);

  cu->MEM_OP_COMPLETE.setMark(1);
  ASSERT_TRUE(cu->Instantaneous_Activity1.Enabled());
  cu->Instantaneous_Activity1.Fire();
  EXPECT_EQ(cu->MEM_OP_COMPLETE.getMark(), 0);
  EXPECT_EQ(cu->INSTRUCTION_READY.getMark(), 2);
}

TEST(COMPUTE_UNITSANTest, ALongerSchedulerKeepsItsTailAtZero) {
  auto cu = MakeComputeUnit(20);
  ASSERT_EQ(cu->SCHEDULER.getSize(), 20);
  EXPECT_EQ(Instruction(*cu, 12), 3);
  for (int i = 13; i < 20; i++) EXPECT_EQ(Instruction(*cu, i), 0) << i;
  cu->INST_COUNTER.setMark(18);
  EXPECT_TRUE(cu->DISPATCHER.Enabled());
  cu->INST_COUNTER.setMark(19);
  EXPECT_FALSE(cu->DISPATCHER.Enabled());
}

TEST(COMPUTE_UNITSANDeathTest, ReadingPastTheProgramReportsTheIndex) {
  auto cu = MakeComputeUnit(13);
  EXPECT_DEATH(Instruction(*cu, 13),
               "Runtime error: index out of bounds\\. SCHEDULER\\[0\\.\\.12\\] indexed with 13\n"
               "Assertion failed: 0, file state/ArrayStateVariable, line 211");
  EXPECT_DEATH(Instruction(*cu, -1), "SCHEDULER\\[0\\.\\.12\\] indexed with -1");
}

TEST(COMPUTE_UNITSANDeathTest, AProgramArrayTooShortForTheProgramEndsConstruction) {
  EXPECT_EXIT(MakeComputeUnit(12), testing::ExitedWithCode(1),
              "Runtime error: index out of bounds\\. SCHEDULER\\[0\\.\\.11\\] indexed with 12\n$");
}

}  // namespace
