#include <gtest/gtest.h>

#include "Cpp/BaseClasses/ErrorFunctions.h"
#include "Cpp/BaseClasses/FastSet.h"
#include "Cpp/BaseClasses/List.h"

namespace {

struct Item {};

TEST(ListTest, GrowsByDoublingAndNeverHoldsAnItemTwice) {
  Item items[11];
  List<Item> list;
  EXPECT_EQ(list.getCapacity(), 10);
  for (Item& it : items) list.append(&it);
  EXPECT_EQ(list.getNumItems(), 11);
  EXPECT_EQ(list.getCapacity(), 20);
  list.append(&items[3]);
  EXPECT_EQ(list.getNumItems(), 11);
  EXPECT_EQ(list.getCapacity(), 20);
  for (int i = 0; i < 11; i++) EXPECT_EQ(list[i], &items[i]);
}

TEST(ListTest, ZeroCapacityListStillGrows) {
  Item a, b;
  List<Item> list(0);
  list.append(&a);
  list.append(&b);
  EXPECT_EQ(list.getNumItems(), 2);
  EXPECT_EQ(list.getItem(1), &b);
}

TEST(ListTest, RemoveMovesTheLastItemIntoTheFreedSlot) {
  Item a, b, c;
  List<Item> list;
  list.append(&a);
  list.append(&b);
  list.append(&c);
  list.remove(&a);
  ASSERT_EQ(list.getNumItems(), 2);
  EXPECT_EQ(list[0], &c);
  EXPECT_EQ(list[1], &b);
  list.remove(&a);  // absent: nothing happens
  EXPECT_EQ(list.getNumItems(), 2);
}

TEST(ListTest, ReplaceItemKeepsTheSlotOrDropsTheOldItemWhenTheNewIsPresent) {
  Item a, b, c, d;
  List<Item> list;
  list.append(&a);
  list.append(&b);
  list.append(&c);
  list.replaceItem(&b, &d);  // d takes b's slot
  EXPECT_EQ(list[0], &a);
  EXPECT_EQ(list[1], &d);
  EXPECT_EQ(list[2], &c);
  list.replaceItem(&a, &c);  // c already present: a removed, c moves to slot 0
  ASSERT_EQ(list.getNumItems(), 2);
  EXPECT_EQ(list[0], &c);
  EXPECT_EQ(list[1], &d);
  list.replaceItem(&b, &a);  // b absent: nothing happens
  EXPECT_EQ(list.getNumItems(), 2);
  EXPECT_FALSE(list.contains(&a));
}

TEST(ListTest, AppendingAListSkipsDuplicatesAndKeepsOrder) {
  Item items[4];
  List<Item> x(2), y;
  x.append(&items[0]);
  x.append(&items[1]);
  y.append(&items[1]);
  y.append(&items[2]);
  y.append(&items[3]);
  x.append(&y);
  EXPECT_EQ(x.getCapacity(), 10);  // twice the combined count of 5
  ASSERT_EQ(x.getNumItems(), 4);
  for (int i = 0; i < 4; i++) EXPECT_EQ(x[i], &items[i]);
  x.append(&x);
  EXPECT_EQ(x.getNumItems(), 4);
}

TEST(ListTest, PrintListOfAnEmptyListSaysSo) {
  List<Item> list;
  testing::internal::CaptureStdout();
  list.printList();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "No items in the list\n");
}

TEST(FastSetTest, FillsAsATreeAndReadsFrozenInAscendingOrder) {
  int built = FastSet::number1, frozen = FastSet::number2;
  FastSet set;
  EXPECT_TRUE(set.empty());
  EXPECT_TRUE(set.insert(5));
  EXPECT_TRUE(set.insert(2));
  EXPECT_FALSE(set.insert(5));
  EXPECT_TRUE(set.insert(9));
  EXPECT_TRUE(set.find(2));
  EXPECT_FALSE(set.find(3));
  set.NoMoreModifications();
  ASSERT_EQ(set.size(), 3);
  EXPECT_EQ(set[0], 2);
  EXPECT_EQ(set[1], 5);
  EXPECT_EQ(set[2], 9);
  EXPECT_EQ(FastSet::number1, built + 1);
  EXPECT_EQ(FastSet::number2, frozen + 1);
  set.clear();
  EXPECT_EQ(set.size(), 0);
  EXPECT_TRUE(set.isFrozen());
}

TEST(FastSetDeathTest, UsingTheWrongFormFailsItsAssertion) {
  FastSet tree;
  EXPECT_DEATH(tree.size(), "Assertion failed: is_vec_rep, file FastSet, line 70");
  EXPECT_DEATH(tree[0], "Assertion failed: is_vec_rep, file FastSet, line 65");
  FastSet frozen;
  frozen.NoMoreModifications();
  EXPECT_DEATH(frozen.insert(1), "Assertion failed: !is_vec_rep, file FastSet, line 49");
  EXPECT_DEATH(frozen.find(1), "line 55");
  EXPECT_DEATH(frozen.empty(), "line 60");
  EXPECT_DEATH(frozen.NoMoreModifications(), "line 75");
}

TEST(ErrorFunctionsTest, WriteTheirFixedTexts) {
  testing::internal::CaptureStderr();
  MemoryError();
  ErrorEmptyParameter("Rate");
  SyncError::WrongDistributionType();
  SyncError::NoAction();
  ArrayTypeMismatchError("a", "b");
  InvalidStructType();
  ArrayOutOfBoundsError("here");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Memory Error\n"
            "Rate: Parameter was an empty reference\n"
            "You can only synchronize actions from one type,either exponential or instantenous\n"
            " no Action found in model\n"
            "Array types for equivalence sharing do not match for state variables: \n"
            "  a\n"
            "  b\n"
            "ArrayType is invalid for struct element\n"
            "preparing to segfault\n"
            "Array out of bounds error at here\n");
}

TEST(ErrorFunctionsDeathTest, MemoryAllocationErrorEndsWithStatusOne) {
  EXPECT_EXIT(MemoryAllocationError(), testing::ExitedWithCode(1),
              "Insufficient Memory to allocate dynamic data structures from heap memory\n"
              "Exiting program...\n");
}

}  // namespace
