// The three memory SANs on their own: reads with their 0.5/0.5 outcome,
// writes that wait for a result token, and the output memory that never
// completes a write in the composed model.
#include <gtest/gtest.h>

#include <memory>

#include "generated/OUTPUT_MEMORY_MODELSAN.h"
#include "generated/RESULT_MEMORY_MODELSAN.h"
#include "generated/TOTAL_MEMORY_MODELSAN.h"
#include "random/UserDistributions.h"

namespace {

template <class Model>
int CountEnabledGroups(Model& m) {
  int n = 0;
  for (int g = 0; g < m.NumGroups; g++) n += m.Groups[g]->Enabled() ? 1 : 0;
  return n;
}

TEST(MemoryModelsTest, TotalMemoryShape) {
  TOTAL_MEMORY_MODELSAN tm;
  EXPECT_STREQ(tm.getName(), "TOTAL_MEMORY_MODEL");
  EXPECT_EQ(tm.getNumStateVariables(), 6);
  EXPECT_EQ(tm.NumActions, 4);
  ASSERT_EQ(tm.NumGroups, 3);
  EXPECT_EQ(tm.Groups[0], &tm.READ_FROMGroup);
  EXPECT_STREQ(tm.READ_FROMGroup.getName(), "READ_FROMGroup");
  EXPECT_EQ(tm.READ_FROMGroup.NumMembers, 2);
  EXPECT_EQ(tm.READ_FROM_case1.GroupID, 0);
  EXPECT_EQ(tm.READ_FROM_case2.GroupID, 0);
  EXPECT_EQ(tm.READ_FROM_case1.Weight(), 0.5);
  EXPECT_EQ(tm.READ_FROM_case2.Weight(), 0.5);
  EXPECT_EQ(tm.Instantaneous_Activity2.GroupID, 2);
  EXPECT_EQ(CountEnabledGroups(tm), 0);
}

TEST(MemoryModelsTest, TotalMemoryReadReportsExactlyOneOutcome) {
  TheDistribution->getGenerator()->srnd(11);
  TOTAL_MEMORY_MODELSAN tm;
  tm.READ_TOTAL_MEMORY.setMark(1);
  ASSERT_TRUE(tm.READ_FROMGroup.Enabled());
  BaseActionClass* fired = tm.READ_FROMGroup.Fire();
  ASSERT_TRUE(fired == &tm.READ_FROM_case1 || fired == &tm.READ_FROM_case2);
  EXPECT_EQ(tm.READ_TOTAL_MEMORY.getMark(), 0);
  EXPECT_EQ(tm.MEMORY_OK.getMark() + tm.MEMORY_KO.getMark(), 1);
  const bool ok = tm.MEMORY_OK.getMark() == 1;
  EXPECT_EQ(ok, fired == &tm.READ_FROM_case1);

  ASSERT_EQ(CountEnabledGroups(tm), 1);
  (ok ? static_cast<BaseActionClass&>(tm.Instantaneous_Activity1) : tm.Instantaneous_Activity2).Fire();
  EXPECT_EQ(tm.MEM_OP_COMPLETE.getMark(), 1);
  EXPECT_EQ(tm.OK_READ.getMark(), ok ? 1 : 0);
  EXPECT_EQ(tm.KO_READ.getMark(), ok ? 0 : 1);
  EXPECT_EQ(CountEnabledGroups(tm), 0);
}

TEST(MemoryModelsTest, ReadsSucceedAboutHalfTheTime) {
  // 20000 reads: the fraction of successes has standard error
  // sqrt(0.25 / 20000) ~ 0.0035; allow five of them.
  TheDistribution->getGenerator()->srnd(2024);
  TOTAL_MEMORY_MODELSAN tm;
  RESULT_MEMORY_MODELSAN rm;
  const int n = 20000;
  int totalOk = 0, resultOk = 0;
  for (int i = 0; i < n; i++) {
    tm.READ_TOTAL_MEMORY.setMark(1);
    totalOk += tm.READ_FROMGroup.Fire() == &tm.READ_FROM_case1 ? 1 : 0;
    rm.READ_RESULT_MEMORY.setMark(1);
    resultOk += rm.READ_FROMGroup.Fire() == &rm.READ_FROM_case1 ? 1 : 0;
  }
  EXPECT_NEAR(totalOk / static_cast<double>(n), 0.5, 5 * 0.0036);
  EXPECT_NEAR(resultOk / static_cast<double>(n), 0.5, 5 * 0.0036);
  EXPECT_EQ(tm.MEMORY_OK.getMark(), totalOk);
  EXPECT_EQ(rm.MEMORY_KO.getMark(), n - resultOk);
}

TEST(MemoryModelsTest, OutputMemoryWithoutItsOwnResultTokensDoesNothing) {
  OUTPUT_MEMORY_MODELSAN om;
  EXPECT_STREQ(om.getName(), "OUTPUT_MEMORY_MODEL");
  EXPECT_EQ(om.NumActions, 4);
  EXPECT_EQ(om.NumGroups, 4);
  om.WRITE_OUTPUT_MEMORY.setMark(1);
  EXPECT_EQ(CountEnabledGroups(om), 0);

  om.RESULT_KO.setMark(1);
  ASSERT_TRUE(om.Instantaneous_Activity3.Enabled());
  EXPECT_FALSE(om.Instantaneous_Activity12.Enabled());
  om.Instantaneous_Activity3.Fire();
  EXPECT_EQ(om.KO_CONTENT.getMark(), 1);
  ASSERT_TRUE(om.Instantaneous_Activity2.Enabled());
  om.Instantaneous_Activity2.Fire();
  EXPECT_EQ(om.MEM_OP_COMPLETE.getMark(), 1);
  EXPECT_EQ(om.WRITE_OUTPUT_MEMORY.getMark() + om.RESULT_KO.getMark() + om.KO_CONTENT.getMark(), 0);
}

TEST(MemoryModelsTest, ResultMemoryShape) {
  RESULT_MEMORY_MODELSAN rm;
  EXPECT_STREQ(rm.getName(), "RESULT_MEMORY_MODEL");
  EXPECT_EQ(rm.getNumStateVariables(), 11);
  EXPECT_EQ(rm.NumActions, 8);
  ASSERT_EQ(rm.NumGroups, 7);
  EXPECT_EQ(rm.Groups[0], &rm.READ_FROMGroup);
  const int groupIds[] = {0, 0, 1, 2, 3, 4, 5, 6};
  for (int a = 0; a < 8; a++) EXPECT_EQ(rm.Actions[a]->GroupID, groupIds[a]) << a;
  EXPECT_EQ(CountEnabledGroups(rm), 0);
}

TEST(MemoryModelsTest, ResultMemoryWriteConsumesTheResultAndCompletes) {
  RESULT_MEMORY_MODELSAN rm;
  rm.WRITE_RESULT_MEMORY.setMark(1);
  EXPECT_EQ(CountEnabledGroups(rm), 0);  // no result token yet
  rm.RESULT_OK.setMark(1);
  ASSERT_TRUE(rm.WRITE_OK.Enabled());
  EXPECT_FALSE(rm.WRITE_KO.Enabled());
  rm.WRITE_OK.Fire();
  ASSERT_TRUE(rm.Instantaneous_Activity1.Enabled());
  rm.Instantaneous_Activity1.Fire();
  EXPECT_EQ(rm.MEM_OP_COMPLETE.getMark(), 1);
  EXPECT_EQ(rm.WRITE_RESULT_MEMORY.getMark() + rm.RESULT_OK.getMark() + rm.OK_CONTENT.getMark(), 0);
  EXPECT_EQ(CountEnabledGroups(rm), 0);
}

TEST(MemoryModelsTest, ResultMemoryWriteTakesOneOfTwoResults) {
  RESULT_MEMORY_MODELSAN rm;
  rm.WRITE_RESULT_MEMORY.setMark(1);
  rm.RESULT_OK.setMark(1);
  rm.RESULT_KO.setMark(1);
  ASSERT_TRUE(rm.WRITE_OK.Enabled());
  ASSERT_TRUE(rm.WRITE_KO.Enabled());
  rm.WRITE_KO.Fire();
  EXPECT_TRUE(rm.WRITE_OK.EnablingChange());
  EXPECT_FALSE(rm.WRITE_OK.Enabled());
  EXPECT_EQ(rm.RESULT_OK.getMark(), 1);
  EXPECT_EQ(rm.KO_CONTENT.getMark(), 1);
}

TEST(MemoryModelsTest, ResultMemoryReadReportsThroughTheSharedPlaces) {
  TheDistribution->getGenerator()->srnd(5);
  RESULT_MEMORY_MODELSAN rm;
  rm.READ_RESULT_MEMORY.setMark(1);
  const bool ok = rm.READ_FROMGroup.Fire() == &rm.READ_FROM_case1;
  ASSERT_EQ(CountEnabledGroups(rm), 1);
  (ok ? static_cast<BaseActionClass&>(rm.Instantaneous_Activity3) : rm.Instantaneous_Activity4).Fire();
  EXPECT_EQ(rm.MEM_OP_COMPLETE.getMark(), 1);
  EXPECT_EQ(rm.OK_READ.getMark() + rm.KO_READ.getMark(), 1);
  EXPECT_EQ(rm.OK_READ.getMark(), ok ? 1 : 0);
}

}  // namespace
