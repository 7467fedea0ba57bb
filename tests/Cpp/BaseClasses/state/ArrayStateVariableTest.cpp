#include <gtest/gtest.h>

#include <sstream>

#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/ArrayStateVariable.h"
#include "Cpp/BaseClasses/state/BaseStructStateVariable.h"
#include "Cpp/BaseClasses/state/ExtendedPlace.h"
#include "Cpp/TestModels.h"

namespace {

using testmodels::MoveActivity;

// An array of short places that deletes its elements, as the generated
// program array does.
struct ShortArray : ArrayStateVariable<ExtendedPlace<short>> {
  ShortArray(const char* name, int n, short initial = 0) : ArrayStateVariable(name, "", SHORT_ARRAY_TYPE, n) {
    appendElements(n, initial);
  }
  ~ShortArray() override { deleteElements(); }
};

TEST(ArrayStateVariableTest, ElementsAreNamedByIndexAndPrefixedWithTheArray) {
  ShortArray scheduler("SCHEDULER", 13);
  ASSERT_EQ(scheduler.getSize(), 13);
  EXPECT_EQ(scheduler.getType(), SHORT_ARRAY_TYPE);
  ExtendedPlace<short>* e = scheduler[12];
  EXPECT_STREQ(e->getName(), "12");
  EXPECT_STREQ(e->getPrefix(), "SCHEDULER");
  EXPECT_EQ(e->getSharingCount(), 2);
  EXPECT_EQ(*e->Value, 0);
}

TEST(ArrayStateVariableTest, SavesThirteenShortsInIndexOrder) {
  ShortArray scheduler("SCHEDULER", 13);
  const short program[13] = {0, 0, 4, 2, 0, 1, 4, 2, 1, 0, 0, 4, 3};
  for (int i = 0; i < 13; i++) *scheduler[i]->Value = program[i];
  ASSERT_EQ(scheduler.StateSize(), 26);
  short saved[13];
  scheduler.CurrentState(saved);
  for (int i = 0; i < 13; i++) EXPECT_EQ(saved[i], program[i]) << i;
  short zeros[13] = {};
  scheduler.SetState(zeros);
  EXPECT_EQ(*scheduler[11]->Value, 0);
}

TEST(ArrayStateVariableTest, CompositeTypeTakesTheFirstElementsSize) {
  ArrayStateVariable<ExtendedPlace<short>> a("A", "");
  EXPECT_EQ(a.getType(), COMPOSITE_ARRAY_TYPE);
  EXPECT_EQ(a.StateSize(), 0);
  a.appendElements(3, static_cast<short>(5));
  EXPECT_EQ(a.StateSize(), 6);
  a.deleteElements();
}

TEST(ArrayStateVariableTest, AnEmptyArrayIsALeaf) {
  BaseArrayStateVariable empty("E", "");
  EXPECT_TRUE(empty.isLeafNode());
  EXPECT_EQ(empty.getNumLeafNodes(), 1);
  EXPECT_EQ(empty.StateSize(), 0);
}

TEST(ArrayStateVariableTest, LeafNodesAreTheElementsInOrder) {
  Place p0("P0"), p1("P1"), p2("P2");
  BaseArrayStateVariable a("A", "");
  a.fields = {&p0, &p1, &p2};
  EXPECT_FALSE(a.isLeafNode());
  EXPECT_EQ(a.getNumLeafNodes(), 3);
  List<BaseStateVariableClass>* leaves = a.getLeafNodes();
  ASSERT_EQ(leaves->getNumItems(), 3);
  EXPECT_EQ(leaves->getItem(0), &p0);
  EXPECT_EQ(leaves->getItem(2), &p2);
  delete leaves;
  BaseArrayStateVariable outer("OUTER", "");
  outer.fields = {&a, &p0};  // nested arrays contribute their leaves
  EXPECT_EQ(outer.getNumLeafNodes(), 4);
  List<BaseStateVariableClass>* all = outer.getLeafNodes();
  EXPECT_EQ(all->getNumItems(), 3);  // p0 appears once
  delete all;
}

TEST(ArrayStateVariableTest, ArcsReachEveryElement) {
  ShortArray a("A", 3);
  MoveActivity act("ACT", 0, 1, 1);
  SANModel model;
  model.AddEnableArc(&a, &act);
  ASSERT_EQ(act.EnablingSVs.getNumItems(), 3);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(act.EnablingSVs[i], a.fields[i]);
    EXPECT_EQ(a.fields[i]->getEnabledAction(0), &act);
  }
  EXPECT_EQ(a.getNumEnabledActions(), 1);
  model.AddAffectArc(&a, &act);
  EXPECT_EQ(act.AffectedSVs.getNumItems(), 3);
  EXPECT_EQ(a.fields[1]->getNumAffectingActions(), 1);
  EXPECT_EQ(a.getNumAffectingActions(), 0);  // the array's own list is not changed
  act.removeEnablingSV(&a);
  EXPECT_EQ(act.EnablingSVs.getNumItems(), 0);
}

TEST(ArrayStateVariableTest, SharingPairsTheElementsAndNotTheLists) {
  ShortArray a("A", 2, 1), b("B", 3, 7);
  MoveActivity onB("ON_B", 0, 1, 0);
  b.fields[0]->appendAffectingAction(&onB);
  a.share(&b);
  EXPECT_EQ(*a[0]->Value, 7);
  *b[1]->Value = 9;
  EXPECT_EQ(*a[1]->Value, 9);
  EXPECT_EQ(*b[2]->Value, 7);  // beyond a's size: untouched
  EXPECT_EQ(a.fields[0]->getNumAffectingActions(), 1);
  EXPECT_TRUE(a.getStored());
  EXPECT_TRUE(b.getStored());
  EXPECT_NE(a.getAffectingActions(), b.getAffectingActions());
}

TEST(ArrayStateVariableTest, PrintsNameThenElements) {
  ShortArray a("A", 2, 3);
  std::ostringstream out;
  a.printState(&out);
  EXPECT_EQ(out.str(), "A = {\n0 = 3\n1 = 3\n}\n");
}

TEST(ArrayStateVariableTest, AnArrayPlaceIsSavedWithItsSAN) {
  Place counter("COUNTER", -1);
  ShortArray program("PROGRAM", 3, 4);
  SANModel san;
  BaseStateVariableClass* places[] = {&counter, &program};
  san.initializeSANModelNow("CPU", 2, places, 0, nullptr, 0, nullptr, 0, nullptr);
  ASSERT_EQ(san.StateSize(), 8);
  short bytes[4];
  san.CurrentState(bytes);
  EXPECT_EQ(bytes[0], -1);
  EXPECT_EQ(bytes[3], 4);
  std::ostringstream out;
  san.printState(&out);
  EXPECT_EQ(out.str(), "Model: (" + std::to_string(san.ModelId) +
                           ")CPU\n  COUNTER = -1\n  PROGRAM = {\n0 = 4\n1 = 4\n2 = 4\n}\n");
}

TEST(ArrayStateVariableDeathTest, ReadingOutsideTheArrayReportsNameBoundsAndIndex) {
  ShortArray scheduler("SCHEDULER", 13);
  EXPECT_DEATH(scheduler[13],
               "Runtime error: index out of bounds. SCHEDULER\\[0..12\\] indexed with 13\n"
               "Assertion failed: 0, file state/ArrayStateVariable, line 211");
  EXPECT_DEATH(scheduler.index(-1), "indexed with -1");
}

TEST(ArrayStateVariableDeathTest, SharingNeedsAnArrayWithEnoughElements) {
  ShortArray a("A", 2), shorter("S", 1);
  Place p("P");
  EXPECT_DEATH(a.share(&p), "Assertion failed: otherArray, file ArrayStateVariable, line 96");
  EXPECT_DEATH(a.share(&shorter),
               "Assertion failed: otheri!=otherArray->fields.end\\(\\), file ArrayStateVariable, line 103");
  EXPECT_DEATH(a.appendAffectingAction(nullptr), "TheAction, file ArrayStateVariable, line 125");
  EXPECT_DEATH(a.appendEnabledAction(nullptr), "TheAction, file ArrayStateVariable, line 132");
}

struct PairStruct : BaseStructStateVariable {
  PairStruct(const char* name, short x, short y) : BaseStructStateVariable(name, "", kTypes, 2), X("X", x), Y("Y", y) {
    fields[0].variable = &X;
    fields[1].variable = &Y;
  }
  static constexpr ArrayType kTypes[2] = {SHORT_ARRAY_TYPE, SHORT_ARRAY_TYPE};
  Place X, Y;
};

TEST(StructStateVariableTest, SavesAndPrintsItsFieldsInOrder) {
  PairStruct s("S", 1, 2);
  EXPECT_EQ(s.CachedStateSize, -1);
  EXPECT_EQ(s.StateSize(), 4);
  EXPECT_EQ(s.CachedStateSize, 4);
  short bytes[2];
  s.CurrentState(bytes);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 2);
  short other[2] = {5, 6};
  s.SetState(other);
  EXPECT_EQ(s.Y.getMark(), 6);
  std::ostringstream out;
  s.printState(&out);
  EXPECT_EQ(out.str(), "S = {\n.X = 5\n.Y = 6\n}\n");
  EXPECT_EQ(s.getType(7), SHORT_ARRAY_TYPE);
  EXPECT_EQ(s.getNumLeafNodes(), 2);
  BaseStructStateVariable late;
  EXPECT_EQ(late.StateSize(), 0);
  ArrayType types[1] = {DOUBLE_ARRAY_TYPE};
  late.makeArrays(types, 1);
  EXPECT_EQ(late.calculateStateSize(), 8);
}

TEST(StructStateVariableTest, ArcsGoToTheFieldsAndTheStruct) {
  PairStruct s("S", 0, 0);
  MoveActivity act("ACT", 0, 1, 1);
  SANModel model;
  model.AddAffectArc(&s, &act);
  EXPECT_EQ(s.getNumAffectingActions(), 1);
  EXPECT_EQ(s.X.getNumAffectingActions(), 1);
  ASSERT_EQ(act.AffectedSVs.getNumItems(), 2);
  EXPECT_EQ(act.AffectedSVs[0], &s.X);
  model.AddEnableArc(&s, &act);
  EXPECT_EQ(s.Y.getNumEnabledActions(), 1);
  EXPECT_EQ(act.EnablingSVs.getNumItems(), 2);
}

TEST(StructStateVariableTest, SharingMergesFieldsAndTheStructsLists) {
  PairStruct a("A", 1, 2), b("B", 3, 4);
  MoveActivity onA("ON_A", 0, 1, 0), onB("ON_B", 1, 1, 0);
  a.appendAffectingAction(&onA);
  b.appendAffectingAction(&onB);
  a.share(&b);
  EXPECT_EQ(a.X.getMark(), 3);
  b.Y.setMark(8);
  EXPECT_EQ(a.Y.getMark(), 8);
  EXPECT_EQ(a.getAffectingActions(), b.getAffectingActions());
  EXPECT_EQ(a.getNumAffectingActions(), 2);
  EXPECT_FALSE(b.getStored());
  EXPECT_TRUE(b.getShared());
  a.ShareWith(&b);  // already one group: nothing changes
  EXPECT_EQ(a.getNumAffectingActions(), 2);
}

TEST(StructStateVariableDeathTest, SharingNeedsAStructWithEnoughFields) {
  PairStruct a("A", 0, 0);
  BaseStructStateVariable small("SMALL", "");
  Place p("P");
  EXPECT_DEATH(a.share(&p), "Assertion failed: otherStruct, file StructStateVariable, line 104");
  EXPECT_DEATH(a.share(&small),
               "Assertion failed: otheri!=otherStruct->fields.end\\(\\), file StructStateVariable, line 111");
}

TEST(ArrayTypeTest, SizesAndRawTransfers) {
  EXPECT_EQ(ArrayTypeSize(0), 2);
  EXPECT_EQ(ArrayTypeSize(1), 4);
  EXPECT_EQ(ArrayTypeSize(2), 1);
  EXPECT_EQ(ArrayTypeSize(3), 8);
  EXPECT_EQ(ArrayTypeSize(4), 4);
  char bytes[9];
  writeMemory<short>(-2, bytes + 1);  // unaligned
  short back = 0;
  readArray<short>(&back, bytes + 1, 1);
  EXPECT_EQ(back, -2);
  double values[2] = {1.5, -0.25}, copy[2] = {};
  readArray<double>(copy, values, 2);
  EXPECT_EQ(copy[1], -0.25);
}

}  // namespace
