#include <gtest/gtest.h>

#include <cmath>

#include "Cpp/BaseClasses/PostselectGroup.h"
#include "Cpp/BaseClasses/PreselectGroup.h"
#include "Cpp/TestModels.h"

namespace {

using testmodels::MoveActivity;
using testmodels::ScriptedUniforms;

// Two cases on one input place, as a generated SAN builds them.
struct TwoCases : testing::Test {
  TwoCases() : in("IN", 1), a("CASE_A", 0, 1, 1, 0.3), b("CASE_B", 0, 1, 1, 0.7) {
    for (MoveActivity* c : {&a, &b}) {
      c->From = &in;
      c->LinkVariables();
    }
    group.initialize(2, "CASES");
    group.appendGroup(&a);
    group.appendGroup(&b);
  }
  Place in;
  MoveActivity a, b;
  PostselectGroup group;
};

TEST_F(TwoCases, TheDrawIsScaledByTheTotalWeightOfTheCandidates) {
  ScriptedUniforms u({0.2, 0.5});
  EXPECT_EQ(group.MemberCapacity, 2);
  EXPECT_TRUE(group.SelectAction());
  EXPECT_EQ(group.getSelectedAction(), &a);  // 0.2 < 0.3
  EXPECT_TRUE(group.SelectAction());
  EXPECT_EQ(group.getSelectedAction(), &b);  // 0.5 >= 0.3
  EXPECT_EQ(u.draws(), 2);
}

TEST_F(TwoCases, PostselectFiringChoosesClearsAndReturnsTheCase) {
  ScriptedUniforms u({0.9});
  EXPECT_EQ(group.Fire(), &b);
  EXPECT_EQ(group.getSelectedAction(), nullptr);
  EXPECT_EQ(b.FireCount, 1);
  EXPECT_EQ(in.getMark(), 0);
}

TEST_F(TwoCases, PostselectWeightAndRankIgnoreTheMembers) {
  a.TheRank = 5;
  EXPECT_EQ(group.Weight(), 1.0);
  EXPECT_EQ(group.Rank(), 1);
  b.TheDelay = 2.5;
  a.TheDelay = 1.5;
  EXPECT_EQ(group.SampleDistribution(), 1.5);  // the first member's
}

TEST_F(TwoCases, NoEnabledMemberTakesOneDrawAndSelectsNothing) {
  in.setMark(0);
  ScriptedUniforms u({0.0});
  EXPECT_EQ(group.CalculateWeightDistribution(), -1.0);
  EXPECT_FALSE(group.SelectAction());  // also with u = 0
  EXPECT_EQ(group.getSelectedAction(), nullptr);
  EXPECT_EQ(u.draws(), 1);
  EXPECT_TRUE(a.Disabled);
  EXPECT_TRUE(b.Disabled);
  EXPECT_FALSE(group.Enabled());
}

TEST_F(TwoCases, OnlyTheHighestRankIsACandidate) {
  b.TheRank = 2;
  EXPECT_DOUBLE_EQ(group.CalculateWeightDistribution(), 0.7);
  EXPECT_EQ(group.NumCandidates, 1);
  EXPECT_EQ(group.MaxRank, 2);
  EXPECT_FALSE(b.Disabled);
  EXPECT_FALSE(a.Disabled);  // entered before the higher rank appeared: keeps its flag
  EXPECT_EQ(group.Probability(&b), 1.0);
  EXPECT_EQ(group.Probability(&a), 0.0);
  ScriptedUniforms u({0.0});
  group.SelectAction();
  EXPECT_EQ(group.getSelectedAction(), &b);
}

TEST_F(TwoCases, ALowerRankAfterTheFirstCandidateIsDisabled) {
  a.TheRank = 2;
  EXPECT_DOUBLE_EQ(group.CalculateWeightDistribution(), 0.3);
  EXPECT_TRUE(b.Disabled);
}

TEST_F(TwoCases, ProbabilityIsTheWeightShareOfTheSameRank) {
  EXPECT_DOUBLE_EQ(group.Probability(&a), 0.3);
  EXPECT_DOUBLE_EQ(group.Probability(&b), 0.7);
  MoveActivity stranger("STRANGER", 0, 1, 1);
  EXPECT_EQ(group.Probability(&stranger), 0.0);
}

TEST_F(TwoCases, ZeroTotalWeightIsReportedAndGivesNoNumber) {
  a.TheWeight = 0.0;
  b.TheWeight = 0.0;
  testing::internal::CaptureStdout();
  double p = group.Probability(&a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "BaseGroupClass::Probability() TotalWeight is zero.\n");
  EXPECT_FALSE(std::isfinite(p));
}

TEST_F(TwoCases, GroupNumbersGoToTheMembers) {
  group.setGroupId(6);
  EXPECT_EQ(a.GroupID, 6);
  EXPECT_EQ(b.GroupID, 6);
  EXPECT_TRUE(group.IsAMember(&b));
  EXPECT_FALSE(group.IsAMember(&group));
  EXPECT_EQ(group.getPrintedAction(), &a);
}

TEST(PreselectGroupTest, ChoosesOnTheFirstQuestionAndKeepsTheChoiceUntilFiring) {
  Place in("IN", 2);
  MoveActivity a("A", 0, 1, 1, 0.5), b("B", 0, 1, 1, 0.5);
  a.TheDelay = 1.0;
  b.TheDelay = 2.0;
  for (MoveActivity* c : {&a, &b}) {
    c->From = &in;
    c->LinkVariables();
  }
  PreselectGroup group(2);
  group.appendGroup(&a);
  group.appendGroup(&b);
  ScriptedUniforms u({0.75, 0.1});
  EXPECT_TRUE(group.Enabled());
  EXPECT_EQ(group.getSelectedAction(), &b);
  EXPECT_FALSE(group.SelectionPending);
  EXPECT_EQ(group.SampleDistribution(), 2.0);
  EXPECT_EQ(group.Rank(), 1);
  EXPECT_EQ(u.draws(), 1);
  EXPECT_EQ(group.Fire(), &b);
  EXPECT_TRUE(group.SelectionPending);
  EXPECT_EQ(group.SampleDistribution(), 1.0);  // a new choice: u = 0.1 -> a
  EXPECT_EQ(u.draws(), 2);
}

TEST(PreselectGroupTest, AFailedChoiceStaysPending) {
  Place in("IN", 0);
  MoveActivity a("A", 0, 1, 1);
  a.From = &in;
  a.LinkVariables();
  PreselectGroup group;
  group.appendGroup(&a);
  ScriptedUniforms u({0.5});
  EXPECT_FALSE(group.Enabled());
  EXPECT_TRUE(group.SelectionPending);
}

TEST(BaseGroupClassTest, ArraysGrowByExactlyOneAndSetMemberIsBoundsChecked) {
  MoveActivity a("A", 0, 0, 0), b("B", 0, 0, 0), c("C", 0, 0, 0);
  BaseGroupClass group;
  group.appendGroup(&a);
  EXPECT_EQ(group.MemberCapacity, 1);
  group.appendGroup(&b);
  EXPECT_EQ(group.MemberCapacity, 2);
  BaseGroupClass more;
  more.appendMembers(&group);
  EXPECT_EQ(more.MemberCapacity, 2);
  EXPECT_EQ(more.getMember(1), &b);
  group.setMember(&c, 1);
  EXPECT_EQ(group.getMember(1), &c);
  testing::internal::CaptureStderr();
  group.setMember(&a, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Array out of bounds error at Array out of bounds (BaseGroupClass::setMember()\n");
  group.replaceMember(&c, &b);
  EXPECT_EQ(group.getMember(1), &b);
  PostselectGroup sized(3);
  EXPECT_EQ(sized.getNumMembers(), 3);
  sized.setMember(&a, 2);
  EXPECT_EQ(sized.getMember(2), &a);
}

TEST(BaseGroupClassTest, NestedGroupChoosesAmongItsOwnMembers) {
  Place in("IN", 1);
  MoveActivity a("A", 0, 1, 1, 1.0), b("B", 0, 1, 1, 1.0), c("C", 0, 1, 1, 1.0);
  for (MoveActivity* x : {&a, &b, &c}) {
    x->From = &in;
    x->LinkVariables();
  }
  PostselectGroup inner;
  inner.initialize(2, "INNER");
  inner.appendGroup(&b);
  inner.appendGroup(&c);
  BaseGroupClass outer("OUTER", 0, INSTANTANEOUS, DEFAULT_POLICY, 0, 0, false, 2);
  outer.appendGroup(&a);
  outer.appendGroup(&inner);
  ScriptedUniforms u({0.9, 0.7});  // outer: inner (weight 1 of 2); inner: c
  EXPECT_TRUE(outer.SelectAction());
  EXPECT_EQ(outer.getSelectedAction(), &c);
  EXPECT_EQ(outer.Fire(), &c);
  EXPECT_EQ(outer.getSelectedAction(), nullptr);
}

// The choice descends into a member exactly when the member is a group.
TEST(BaseGroupClassTest, EveryKindOfGroupIsKnownAsOneAndAPlainActionIsNot) {
  BaseActionClass plain;
  BaseGroupClass group("G", 0, INSTANTANEOUS, DEFAULT_POLICY, 0, 0, false, 2);
  PostselectGroup post(2);
  PreselectGroup pre;
  MoveActivity activity("A", 0, 0, 0);
  EXPECT_EQ(plain.AsGroup, nullptr);
  EXPECT_EQ(group.AsGroup, &group);
  EXPECT_EQ(post.AsGroup, &post);
  EXPECT_EQ(pre.AsGroup, &pre);
  EXPECT_EQ(activity.AsGroup, &activity);
}

TEST(BaseGroupClassTest, PrintGroupIndentsNestedMembersUnderTheirPrefix) {
  MoveActivity a("A", 0, 0, 0), x("X", 0, 0, 0), y("Y", 0, 0, 0), z("Z", 0, 0, 0);
  PostselectGroup inner;
  inner.initialize(3, "INNER");
  for (MoveActivity* m : {&x, &y, &z}) inner.appendGroup(m);
  BaseGroupClass outer;
  outer.initialize(2, "OUTER");
  outer.appendGroup(&a);
  outer.appendGroup(&inner);
  testing::internal::CaptureStdout();
  outer.printGroup();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "** Members of Group OUTER\n"
            "[0] A\n"
            "[1] INNER\n"
            "  [1.0] X\n"
            "  [1.1] Y\n"
            "  [1.2] Z\n");
  testing::internal::CaptureStdout();
  outer.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "************ Group: OUTER ****************\n"
            "Contains the following actions:\n"
            "  A\n"
            "  INNER\n"
            "Selected Action = \n");
}

}  // namespace
