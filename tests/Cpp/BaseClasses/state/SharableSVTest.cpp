#include <gtest/gtest.h>

#include <sstream>

#include "Cpp/BaseClasses/state/Place.h"
#include "Cpp/TestModels.h"

namespace {

using testmodels::MoveActivity;

TEST(PlaceTest, UnsharedPlaceOwnsItsCellAndPrintsItsMarking) {
  Place p("P", 3);
  EXPECT_EQ(p.getMark(), 3);
  EXPECT_EQ(p.getSharingCount(), 2);
  EXPECT_TRUE(p.getStored());
  EXPECT_FALSE(p.getShared());
  EXPECT_EQ(p.StateSize(), 2);
  EXPECT_EQ(p.Mark, p.Value);
  std::ostringstream out;
  p.printState(&out);
  p.printStateVal(&out);
  EXPECT_EQ(out.str(), "P = 3\n3");
  Place unnamed;
  EXPECT_STREQ(unnamed.getName(), "default");
  EXPECT_EQ(unnamed.getMark(), 0);
}

TEST(PlaceTest, SavedStateBytesRoundTrip) {
  Place p("P", -2);
  short saved = 0;
  p.CurrentState(&saved);
  EXPECT_EQ(saved, -2);
  short restored = 9;
  p.SetState(&restored);
  EXPECT_EQ(p.getMark(), 9);
}

TEST(SharingTest, TwoFreshPlacesShareTheArgumentsValue) {
  Place a("A", 1), b("B", 4);
  a.ShareWith(&b);
  EXPECT_EQ(a.getMark(), 4);
  EXPECT_EQ(b.getMark(), 4);
  *b.Mark = 7;
  EXPECT_EQ(*a.Mark, 7);
  EXPECT_EQ(a.Value, b.Value);
  EXPECT_TRUE(a.getStored());
  EXPECT_FALSE(b.getStored());
  EXPECT_TRUE(a.getShared());
  EXPECT_TRUE(b.getShared());
  EXPECT_EQ(a.getSharingCount(), 4);
  EXPECT_EQ(b.getMainSV(), &a);
  EXPECT_EQ(b.getPointerList(), nullptr);
  EXPECT_EQ(a.getAffectingActions(), b.getAffectingActions());
  EXPECT_EQ(a.getEnabledActions(), b.getEnabledActions());
}

TEST(SharingTest, ThreeMergesIntoOneVariableTakeEachNewValue) {
  Place j("J", 0), p1("P1", 5), p2("P2", 6), p3("P3", 7);
  j.ShareWith(&p1);
  EXPECT_EQ(j.getMark(), 5);
  EXPECT_EQ(j.getSharingCount(), 4);
  j.ShareWith(&p2);
  EXPECT_EQ(j.getMark(), 6);
  EXPECT_EQ(j.getSharingCount(), 6);
  j.ShareWith(&p3);
  EXPECT_EQ(j.getMark(), 7);
  EXPECT_EQ(j.getSharingCount(), 8);
  *p1.Mark = 11;
  EXPECT_EQ(p2.getMark(), 11);
  EXPECT_EQ(p3.getMark(), 11);
  EXPECT_EQ(j.getMark(), 11);
}

TEST(SharingTest, MergingTwoGroupsAbsorbsTheSmallerAndKeepsItsValue) {
  Place a("A", 1), b("B", 2), c("C", 3), d("D", 4), e("E", 5);
  a.ShareWith(&b);  // group {A, B}: A main, value 2, count 4
  c.ShareWith(&d);
  c.ShareWith(&e);  // group {C, D, E}: C main, value 5, count 6
  b.ShareWith(&d);  // both members: the smaller group {A, B} is absorbed
  EXPECT_TRUE(c.getStored());
  EXPECT_FALSE(a.getStored());
  EXPECT_EQ(c.getSharingCount(), 10);
  for (Place* p : {&a, &b, &c, &d, &e}) {
    EXPECT_EQ(p->getMark(), 5) << p->getName();
    EXPECT_EQ(p->getMainSV(), &c) << p->getName();
    EXPECT_EQ(p->getAffectingActions(), c.getAffectingActions()) << p->getName();
  }
  *a.Mark = 8;
  EXPECT_EQ(e.getMark(), 8);
}

TEST(SharingTest, FourPlacesInTwoPairsEndInOneCell) {
  Place a("A", 1), b("B", 2), c("C", 3), d("D", 4);
  a.ShareWith(&b);
  c.ShareWith(&d);
  a.ShareWith(&c);  // both main variables: C's group joins A's, taking C's value
  EXPECT_EQ(a.getSharingCount(), 8);
  for (Place* p : {&a, &b, &c, &d}) EXPECT_EQ(p->getMark(), 4) << p->getName();
  EXPECT_EQ(d.getMainSV(), &a);
}

TEST(SharingTest, AFreshVariableJoiningAGroupThroughAMemberKeepsTheGroupsValue) {
  Place a("A", 1), b("B", 2), c("C", 9);
  a.ShareWith(&b);
  c.ShareWith(&b);  // c owns its cell, b does not: c joins a's group
  EXPECT_EQ(c.getMark(), 2);
  EXPECT_EQ(c.getMainSV(), &a);
  EXPECT_EQ(a.getSharingCount(), 6);
  Place f("F", 4);
  b.ShareWith(&f);  // the other way round
  EXPECT_EQ(f.getMark(), 2);
  EXPECT_EQ(a.getSharingCount(), 8);
}

TEST(SharingTest, MembersFollowTheirGroupWhenItsMainVariableIsAbsorbedLater) {
  Place a("A", 1), b("B", 2), c("C", 3), d("D", 4);
  a.ShareWith(&b);
  c.ShareWith(&a);  // a's whole group moves into c's
  EXPECT_EQ(b.getMainSV(), &c);
  d.ShareWith(&b);  // d joins through a member whose first main variable is gone
  EXPECT_EQ(d.getMainSV(), &c);
  *d.Mark = 6;
  EXPECT_EQ(a.getMark(), 6);
  EXPECT_EQ(c.getSharingCount(), 8);
}

TEST(SharingTest, SharingWithItselfOrItsOwnGroupChangesNothing) {
  Place a("A", 1), b("B", 2);
  a.ShareWith(&a);
  EXPECT_TRUE(a.getStored());
  EXPECT_FALSE(a.getShared());
  EXPECT_EQ(a.getSharingCount(), 2);
  a.ShareWith(&b);
  b.ShareWith(&a);
  a.share(&b);
  b.ShareWith(&b);
  EXPECT_EQ(a.getSharingCount(), 4);
  *b.Mark = 3;  // the cell is still alive and shared
  EXPECT_EQ(a.getMark(), 3);
}

TEST(SharingTest, ActionListsAreUnitedAndNameTheMainVariable) {
  Place a("A", 0), b("B", 0);
  MoveActivity onA("onA", 0, 1, 0), onB("onB", 1, 1, 1), onBoth("onBoth", 2, 2, 0);
  a.appendAffectingAction(&onA);
  onA.addAffectedSV(&a);
  b.appendAffectingAction(&onB);
  onB.addAffectedSV(&b);
  b.appendEnabledAction(&onB);
  onB.addEnablingSV(&b);
  for (Place* p : {&a, &b}) {
    p->appendAffectingAction(&onBoth);
    onBoth.addAffectedSV(p);
  }
  a.ShareWith(&b);
  List<BaseActionClass>* affecting = a.getAffectingActions();
  ASSERT_EQ(affecting->getNumItems(), 3);
  EXPECT_EQ(affecting->getItem(0), &onA);
  EXPECT_EQ(affecting->getItem(1), &onBoth);
  EXPECT_EQ(affecting->getItem(2), &onB);
  ASSERT_EQ(b.getNumEnabledActions(), 1);
  EXPECT_EQ(b.getEnabledAction(0), &onB);
  ASSERT_EQ(onB.AffectedSVs.getNumItems(), 1);
  EXPECT_EQ(onB.AffectedSVs[0], &a);
  EXPECT_EQ(onB.EnablingSVs[0], &a);
  ASSERT_EQ(onBoth.AffectedSVs.getNumItems(), 1);  // b dropped, a kept once
  EXPECT_EQ(onBoth.AffectedSVs[0], &a);
}

TEST(SharingTest, AppendingAnAffectingActionAddsItOncePerGroupAndNotThroughAMember) {
  Place a("A", 0), b("B", 0);
  a.ShareWith(&b);
  MoveActivity x("X", 0, 1, 0), y("Y", 1, 1, 0);
  a.appendAffectingAction(&x);
  EXPECT_EQ(b.getNumAffectingActions(), 1);
  b.appendAffectingAction(&y);
  EXPECT_EQ(a.getNumAffectingActions(), 1);
}

TEST(SharingTest, MergesRedirectActivitiesCachedMarkings) {
  Place from("FROM", 1), to("TO", 0), join("J", 0);
  MoveActivity move("MOVE", 0, 2, 1);
  move.From = &from;
  move.To = &to;
  move.LinkVariables();
  EXPECT_EQ(to.getSharingCount(), 3);
  join.ShareWith(&to);
  EXPECT_EQ(move.To_Mark, join.Value);
  ASSERT_TRUE(move.Enabled());
  move.Fire();
  EXPECT_EQ(join.getMark(), 1);
  EXPECT_EQ(from.getMark(), 0);
}

TEST(SharingTest, PointersRegisteredWithAMemberMoveWithTheGroup) {
  Place a("A", 0), b("B", 0), c("C", 5);
  a.ShareWith(&b);
  short* cached = b.Mark;
  b.registerPointer(&cached, nullptr);
  EXPECT_EQ(a.getSharingCount(), 5);
  c.ShareWith(&a);
  EXPECT_EQ(cached, c.Value);
  EXPECT_EQ(*cached, 0);
}

// A moved cell keeps the value, every pointer of the group follows it, a
// later merge still works, and no place frees it (the sanitizers check).
TEST(SharingTest, AMovedCellIsTheGroupsWithEveryPointerAndIsNotFreed) {
  short store[2] = {0, 0};
  {
    Place a("A", 0), b("B", 7), later("L", 3);
    a.ShareWith(&b);
    short* cached = b.Mark;
    b.registerPointer(&cached, nullptr);
    a.getMainSV()->MoveCellTo(&store[1]);
    EXPECT_EQ(store[1], 7);
    for (short* p : {a.Value, a.Mark, b.Value, b.Mark, cached}) EXPECT_EQ(p, &store[1]);
    b.setMark(9);
    EXPECT_EQ(a.getMark(), 9);
    later.ShareWith(&a);  // the group keeps its moved cell or takes later's
    EXPECT_EQ(later.Mark, a.Mark);
    EXPECT_EQ(*cached, 9);
  }
  EXPECT_EQ(store[0], 0);
}

TEST(SharingTest, MainAndMembersMayBeDestroyedInEitherOrder) {
  Place* main = new Place("MAIN", 0);
  Place* member1 = new Place("M1", 0);
  Place* member2 = new Place("M2", 0);
  main->ShareWith(member1);
  main->ShareWith(member2);
  delete member1;
  delete main;  // frees the cell and the lists; member2 never touches them again
  delete member2;
}

TEST(StateVariableTest, OutOfRangeActionIndexGivesNullAndAnErrorLine) {
  Place p("P", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(p.getEnabledAction(0), nullptr);
  EXPECT_EQ(p.getAffectingAction(-1), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! BaseStateVariableClass::getEnabledAction(int):  EnabledAction index out of bounds\n"
            "!! BaseStateVariableClass::getAffectingAction(int):  AffectingAction index out of bounds\n");
}

TEST(StateVariableTest, LeafOperationsAndActionListPrinting) {
  Place p("P", 0);
  EXPECT_TRUE(p.isLeafNode());
  EXPECT_EQ(p.getNumLeafNodes(), 1);
  List<BaseStateVariableClass>* leaves = p.getLeafNodes();
  ASSERT_EQ(leaves->getNumItems(), 1);
  EXPECT_EQ(leaves->getItem(0), &p);
  delete leaves;
  testing::internal::CaptureStdout();
  p.printEnabledActions();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Enabled actions for P:\nNo items in the list\n");
  p.SetPrefix("SCHED");
  EXPECT_STREQ(p.getPrefix(), "SCHED");
}

struct NotSharable : BaseStateVariableClass {
  int StateSize() override { return 0; }
  void SetState(void*) override {}
  void CurrentState(void*) override {}
  void share(BaseStateVariableClass*) override {}
};

TEST(SharingDeathTest, SharingWithAnotherKindOfVariableFails) {
  Place p("P", 0);
  NotSharable other;
  EXPECT_DEATH(p.share(&other), "Assertion failed: otherSV, file state/SharableSV, line [0-9]+");
}

// A main variable always holds at least its own Value pointer; absorbing one
// whose pointer list was lost is a programming error.
TEST(SharingDeathTest, AbsorbingAVariableWithoutPointersFails) {
  EXPECT_DEATH(
      {
        Place a("A", 0);
        Place b("B", 0);
        b.PointerList = nullptr;
        a.ShareWith(&b);
      },
      "Assertion failed: TheOtherPointer->getHead\\(\\), file state/SharableSV, line [0-9]+");
}

}  // namespace
