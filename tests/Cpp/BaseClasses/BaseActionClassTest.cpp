#include <gtest/gtest.h>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/TestModels.h"

namespace {

using testmodels::MoveActivity;

TEST(BaseActionClassTest, NoArgumentActionHasTheDefaultsAndTheNextNumber) {
  BaseActionClass first;
  BaseActionClass second;
  EXPECT_STREQ(second.getName(), "default");
  EXPECT_EQ(second.DistributionType, EXPONENTIAL);
  EXPECT_EQ(second.ExecutionPolicy, DEFAULT_POLICY);
  EXPECT_EQ(second.Phase, 1);
  EXPECT_TRUE(second.Disabled);
  EXPECT_FALSE(second.Reactivation);
  EXPECT_EQ(second.AffectedActions, nullptr);
  EXPECT_EQ(second.ScheduleRecord, nullptr);
  EXPECT_EQ(second.ActionID, first.ActionID + 1);
  EXPECT_EQ(BaseActionClass::MaxID, second.ActionID + 1);
}

TEST(BaseActionClassTest, InitializationSetsNameNumberCodesAndReactivation) {
  BaseActionClass a("FIRE", 4, INSTANTANEOUS, DEFAULT_POLICY, 3, 2, true);
  EXPECT_STREQ(a.getName(), "FIRE");
  EXPECT_EQ(a.GroupID, 4);
  EXPECT_EQ(a.DistributionType, 18);
  EXPECT_TRUE(a.Reactivation);
  EXPECT_EQ(a.Probability(&a), 1.0);
  EXPECT_TRUE(a.IsAMember(&a));
  EXPECT_EQ(a.Fire(), nullptr);
}

TEST(BaseActionClassTest, StateVariablesAreAddedOnceAndRemovedByMovingTheLast) {
  Place p("P", 0), q("Q", 0), r("R", 0);
  BaseActionClass a;
  a.addEnablingSV(&p);
  a.addEnablingSV(&p);
  EXPECT_EQ(a.EnablingSVs.getNumItems(), 1);
  a.addAffectedSV(&p);
  a.addAffectedSV(&q);
  a.addAffectedSV(&r);
  a.removeAffectedSV(&p);
  ASSERT_EQ(a.AffectedSVs.getNumItems(), 2);
  EXPECT_EQ(a.AffectedSVs[0], &r);
  a.removeEnablingSV(&p);
  EXPECT_EQ(a.EnablingSVs.getNumItems(), 0);
}

TEST(BaseActionClassTest, PhaseCounting) {
  BaseActionClass a;
  EXPECT_TRUE(a.ReadyToFire());
  a.Age();
  EXPECT_EQ(a.Phase, 2);
  EXPECT_FALSE(a.ReadyToFire());
  a.ResetPhase();
  EXPECT_TRUE(a.ReadyToFire());
}

TEST(BaseActionClassTest, RewardStructuresAreCreatedEmptyAndFreed) {
  BaseActionClass a;
  EXPECT_FALSE(a.IsPVRateDSAllocated());
  EXPECT_FALSE(a.IsPVImpulseDSAllocated());
  a.AllocatePVRateDS(3);
  a.AllocatePVImpulseDS(2);
  ASSERT_TRUE(a.IsPVRateDSAllocated());
  ASSERT_TRUE(a.IsPVImpulseDSAllocated());
  EXPECT_TRUE(a.PVRateSets[2].empty());
  EXPECT_EQ(a.PVImpulseIndices[1], nullptr);
  EXPECT_EQ(a.PVImpulseCounts[1], nullptr);
  a.DeallocatePVRateDS();
  EXPECT_FALSE(a.IsPVRateDSAllocated());
  // The impulse structures are freed by the destructor.
}

TEST(BaseActionClassTest, AffectedActionsNodesAreOwnedByTheAction) {
  BaseActionClass target;
  BaseActionClass* a = new BaseActionClass;
  a->AffectedActions = new ActionListNode{&target, nullptr};
  a->AffectedActions = new ActionListNode{a, a->AffectedActions};
  delete a;  // frees both nodes (checked by the leak sanitizer)
}

TEST(BaseActionClassTest, PrintInfoListsVariablesAndCodes) {
  Place p("P", 0), q("Q", 0);
  BaseActionClass a("FIRE", 2, INSTANTANEOUS, DEFAULT_POLICY, 1, 1, false);
  a.addEnablingSV(&p);
  a.addAffectedSV(&q);
  testing::internal::CaptureStdout();
  a.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "********* FIRE**********\n\n"
            "Enabled by:\n\n"
            "           P\n"
            "Affects:\n\n"
            "           Q\n"
            "Group ID = 2\n"
            "Execution Policy = 1\n"
            "Disabled = 1\n"
            "Reactivation = 0\n"
            "DistributionType = 18\n");
}

TEST(ActivityTest, SelectsItselfAndHasProbabilityOneOnlyForItself) {
  Place from("FROM", 1);
  MoveActivity act("ACT", 3, 1, 1);
  act.From = &from;
  act.LinkVariables();
  MoveActivity other("OTHER", 4, 1, 1);
  EXPECT_EQ(act.getSelectedAction(), &act);
  EXPECT_EQ(act.Probability(&act), 1.0);
  EXPECT_EQ(act.Probability(&other), 0.0);
  EXPECT_TRUE(act.SelectAction());
  act.setGroupId(9);
  EXPECT_EQ(act.GroupID, 9);
  EXPECT_EQ(act.getPrintedAction(), &act);
  EXPECT_EQ(act.Fire(), &act);
  EXPECT_FALSE(act.SelectAction());
}

TEST(ActivityTest, EnablingChangeReportsOnlyTheStepThatChangedTheResult) {
  Place from("FROM", 1);
  MoveActivity act("ACT", 0, 1, 1);
  act.From = &from;
  act.LinkVariables();
  EXPECT_TRUE(act.EnablingChange());  // false -> true
  EXPECT_FALSE(act.EnablingChange());
  from.setMark(0);
  EXPECT_TRUE(act.EnablingChange());  // true -> false
  EXPECT_FALSE(act.EnablingChange());
}

TEST(ActivityTest, KnowsItsAffectingStateVariables) {
  Place p("P", 0), q("Q", 0);
  MoveActivity act("ACT", 0, 1, 1);
  act.addAffectedSV(&p);
  EXPECT_TRUE(act.IsAnAffectingStateVariable(&p));
  EXPECT_FALSE(act.IsAnAffectingStateVariable(&q));
}

}  // namespace
