// The study of the GPU model: its one global variable, its one experiment,
// the override string and the reward model it makes.
#include "generated/GPU_COMPOSED_STUDYSetStudy.h"

#include <gtest/gtest.h>

#include "rewards/PVModel.h"

namespace {

class StudyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DestructStudy();
    size = 0;
  }
  void TearDown() override {
    DestructStudy();
    size = 13;
  }
};

TEST_F(StudyTest, OneShortGlobalVariableAndOneExperiment) {
  BaseStudyClass* study = GenerateStudy();
  EXPECT_EQ(study, GlobalStudyPtr);
  EXPECT_EQ(GenerateStudy(), study);
  EXPECT_EQ(study->GetNumGVs(), 1);
  EXPECT_EQ(study->GetNumExps(), 1);
  EXPECT_STREQ(study->GetGVName(0), "size");
  EXPECT_STREQ(study->GetGVType(0), "short");
  EXPECT_STREQ(study->GetDefaultQuelixRoot(), "c:/Quelix-2.5/");
  EXPECT_EQ(size, 0);  // set only by SetGVs
  study->SetGVs(0);
  EXPECT_EQ(size, 13);
}

TEST_F(StudyTest, OverrideStringChangesSize) {
  BaseStudyClass* study = GenerateStudy();
  study->SetGVs(0);
  study->overrideGVs("s:size:20");
  EXPECT_EQ(size, 20);
  EXPECT_EQ(study->GetGVValue("size"), &size);
  study->SetGVs(0);
  EXPECT_EQ(size, 13);
}

TEST_F(StudyTest, UnknownNamesAreReportedAndChangeNothing) {
  BaseStudyClass* study = GenerateStudy();
  study->SetGVs(0);
  short twenty = 20;
  testing::internal::CaptureStderr();
  study->OverrideGVValue("Size", &twenty);
  EXPECT_EQ(study->GetGVValue("sizes"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! GPU_COMPOSED_STUDYSetStudy::OverrideGVValue: Global Variable Size does not exist.\n"
            "!! GPU_COMPOSED_STUDYSetStudy::GetGVValue: Global Variable sizes does not exist.\n");
  EXPECT_EQ(size, 13);
}

TEST_F(StudyTest, PrintGlobalValuesSetsAndShowsTheExperiment) {
  BaseStudyClass* study = GenerateStudy();
  testing::internal::CaptureStdout();
  study->PrintGlobalValues(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "The Global Variable values for experiment Experiment 1 are:\n"
            "size\tshort\t13\n");
  EXPECT_EQ(size, 13);
}

TEST_F(StudyTest, AnExperimentTheStudyDoesNotHaveEndsTheProcess) {
  BaseStudyClass* study = GenerateStudy();
  EXPECT_EXIT(study->SetGVs(1), testing::ExitedWithCode(1),
              "!! GPU_COMPOSED_STUDYSetStudy::SetGVs: Experiment number 1 does not exist; the study has 1 "
              "experiment\\(s\\), numbered from 0\\.");
  EXPECT_EXIT(study->SetGVs(-1), testing::ExitedWithCode(1), "Experiment number -1 does not exist");
}

TEST_F(StudyTest, EachRewardModelReplacesTheLastOne) {
  BaseStudyClass* study = GenerateStudy();
  study->SetGVs(0);
  PVModel* first = study->GetPVModel(true);
  ASSERT_NE(first, nullptr);
  PVModel* second = study->GetPVModel(true);
  ASSERT_NE(second, nullptr);
  // The model that replaced the first one is fully usable: its variables
  // are numbered from 0 again.
  EXPECT_EQ(second->NumPVs, 6);
  for (int i = 0; i < second->NumPVs; i++) EXPECT_EQ(second->PVList[i]->ID, i);
}

}  // namespace
