// The reward model of the GPU model: its six variables, their description
// file, and what firings of the composed model earn.
#include "generated/GPU_COMPOSED_REWARDPVModel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "generated/GPURJ.h"
#include "generated/GPU_COMPOSED_STUDYSetStudy.h"
#include "rewards/PerformanceVariableNode.h"

namespace {

const char* const kNames[] = {"scheduling", "write_ok", "write_ko", "compute_ok", "compute_ko", "clock_steps"};

std::unique_ptr<GPU_COMPOSED_REWARDPVModel> MakeRewardModel(bool expand = true) {
  size = 13;
  auto model = std::make_unique<GPU_COMPOSED_REWARDPVModel>(expand);
  model->ConsiderOnly(nullptr, 0);
  return model;
}

GPURJ* Join(GPU_COMPOSED_REWARDPVModel& m) { return static_cast<GPURJ*>(m.ChildModel); }

// Fires the actions at time 0, as the simulator does, then closes the
// observation at the horizon.
void RunFirings(GPU_COMPOSED_REWARDPVModel& m, std::initializer_list<BaseActionClass*> actions) {
  m.PVReset();
  for (BaseActionClass* a : actions) {
    m.Accumulate(0.0);
    m.FireAction(a, 0.0);
  }
  m.EndAccumulate(m.Horizon);
}

TEST(GPU_COMPOSED_REWARDPVModelTest, SixIntervalVariablesOverTheFirstTimeUnit) {
  for (bool expand : {true, false}) {
    auto m = MakeRewardModel(expand);
    EXPECT_STREQ(m->getName(), "GPU_COMPOSED_REWARDPVModel");
    ASSERT_EQ(m->NumPVs, 6);
    for (int i = 0; i < 6; i++) {
      PerformanceVariableNode* node = m->PVList[i];
      EXPECT_STREQ(node->GetName(), kNames[i]);
      EXPECT_EQ(node->ID, i);
      EXPECT_EQ(node->GetRewardType(), 1);
      EXPECT_EQ(node->GetNumTimePoints(), 1);
      EXPECT_EQ(node->GetStartTime(0), 0.0);
      EXPECT_EQ(node->GetStopTime(0), 1.0);
      EXPECT_EQ(node->NumImpulses, i == 5 ? 11 : 1);
    }
    EXPECT_EQ(m->Horizon, 1.0);
    EXPECT_EQ(m->createPVNode(6, 0), nullptr);
    EXPECT_EQ(m->createPVNode(-1, 0), nullptr);
  }
}

TEST(GPU_COMPOSED_REWARDPVModelTest, TakesOverTheComposedModelAndItsLastActionIndex) {
  auto m = MakeRewardModel();
  EXPECT_EQ(m->NumActions, 20);
  EXPECT_EQ(m->NumGroups, 18);
  EXPECT_EQ(m->getNumStateVariables(), 23);
  EXPECT_EQ(m->StoreLastAction, 1);
  EXPECT_EQ(m->StateSize(), Join(*m)->StateSize() + 1);  // 20 actions fit one byte
}

TEST(GPU_COMPOSED_REWARDPVModelTest, DescriptionFileListsTheSixVariables) {
  auto m = MakeRewardModel();
  const std::string path = testing::TempDir() + "gpu_pv_types_" + std::to_string(getpid()) + ".txt";
  m->WritePVTypeFile(const_cast<char*>(path.c_str()));
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string expected = "Version:1\nNumPV:6\n";
  for (const char* name : kNames) expected += std::string("Name:") + name + "\nType:1\nNumTimes:1\nStart:0\nStop:1\n";
  EXPECT_EQ(text.str(), expected);
  std::remove(path.c_str());
}

TEST(GPU_COMPOSED_REWARDPVModelTest, ThreeDispatchesAloneGiveThreeSchedulingsAndThreeClockSteps) {
  auto m = MakeRewardModel();
  BaseActionClass* dispatcher = &Join(*m)->COMPUTE_UNIT->DISPATCHER;
  RunFirings(*m, {dispatcher, dispatcher, dispatcher});
  const double expected[] = {3, 0, 0, 0, 0, 3};
  for (int i = 0; i < 6; i++) EXPECT_EQ(m->PVList[i]->Value, expected[i]) << kNames[i];
  // Each impulse worker's total is squared on its own: 3 x 3.
  EXPECT_EQ(m->PVList[0]->SquaredValue, 9.0);
  EXPECT_EQ(m->PVList[5]->SquaredValue, 9.0);
}

TEST(GPU_COMPOSED_REWARDPVModelTest, EveryActionEarnsItsImpulses) {
  auto m = MakeRewardModel();
  GPURJ* j = Join(*m);
  RunFirings(*m, {&j->COMPUTE_UNIT->DISPATCHER, &j->COMPUTE_UNIT->COMPUTE_WITH_OK_DATA,
                  &j->COMPUTE_UNIT->COMPUTE_WITH_KO_DATA, &j->COMPUTE_UNIT->Instantaneous_Activity1,
                  &j->TOTAL_MEMORY->READ_FROM_case1, &j->TOTAL_MEMORY->READ_FROM_case2,
                  &j->TOTAL_MEMORY->Instantaneous_Activity1, &j->TOTAL_MEMORY->Instantaneous_Activity2,
                  &j->OUTPUT_MEMORY->Instantaneous_Activity1, &j->OUTPUT_MEMORY->Instantaneous_Activity2,
                  &j->OUTPUT_MEMORY->Instantaneous_Activity12, &j->OUTPUT_MEMORY->Instantaneous_Activity3,
                  &j->RESULT_MEMORY->READ_FROM_case1, &j->RESULT_MEMORY->READ_FROM_case2,
                  &j->RESULT_MEMORY->WRITE_OK, &j->RESULT_MEMORY->WRITE_KO,
                  &j->RESULT_MEMORY->Instantaneous_Activity1, &j->RESULT_MEMORY->Instantaneous_Activity2,
                  &j->RESULT_MEMORY->Instantaneous_Activity3, &j->RESULT_MEMORY->Instantaneous_Activity4});
  // clock_steps: 2 (compute ok) + 2 (compute ko) + 64 + 64 (total reads)
  // + 32 + 32 (result reads) + 32 + 32 (result writes) + 1 (dispatch); the
  // two impulses named after output-memory actions that do not exist earn
  // nothing.
  const double expected[] = {1, 1, 1, 2, 0, 261};
  for (int i = 0; i < 6; i++) EXPECT_EQ(m->PVList[i]->Value, expected[i]) << kNames[i];
  EXPECT_EQ(m->PVList[5]->SquaredValue, 4 + 4 + 2 * 4096 + 4 * 1024 + 1);
}

TEST(GPU_COMPOSED_REWARDPVModelTest, FiringsAfterTheIntervalAreNotCounted) {
  auto m = MakeRewardModel();
  BaseActionClass* dispatcher = &Join(*m)->COMPUTE_UNIT->DISPATCHER;
  m->PVReset();
  m->Accumulate(0.5);
  m->FireAction(dispatcher, 0.5);
  m->Accumulate(1.5);  // credits the firing at 0.5 and closes every variable
  m->FireAction(dispatcher, 1.5);
  m->EndAccumulate(m->Horizon);
  EXPECT_EQ(m->PVList[0]->Value, 1.0);
  EXPECT_EQ(m->PVList[5]->Value, 1.0);
}

}  // namespace
