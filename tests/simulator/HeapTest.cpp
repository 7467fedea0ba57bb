#include "simulator/Heap.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

TEST(HeapTest, MinimumFollowsInsertionsAndKeyChanges) {
  Heap<double> heap(2);
  heap.Insert(110.0, 0);
  heap.Insert(50.0, 3);
  heap.Insert(70.0, 1);  // grows past the initial capacity
  EXPECT_EQ(heap.MinId(), 3);
  EXPECT_EQ(heap.MinKey(), 50.0);
  EXPECT_GE(heap.GetCapacity(), 3);

  heap.ChangeKey(3, 200.0);  // sinks
  EXPECT_EQ(heap.MinId(), 1);
  heap.ChangeKey(0, 10.0);   // rises
  EXPECT_EQ(heap.MinId(), 0);
  EXPECT_EQ(heap.KeyOf(3), 200.0);
}

TEST(HeapTest, EqualKeysKeepTheirPlaces) {
  // Batch counters tie all the time; the first inserted stays on top.
  Heap<int> counts(4);
  for (int id = 0; id < 4; ++id) counts.Insert(0, id);
  EXPECT_EQ(counts.MinId(), 0);
  counts.ChangeKey(0, 1);
  EXPECT_EQ(counts.MinKey(), 0);
  EXPECT_NE(counts.MinId(), 0);
}

TEST(HeapTest, AgreesWithAReferenceUnderRandomKeyChanges) {
  std::mt19937 rng(7);
  const int n = 40;
  Heap<int> heap(1);
  std::map<int, int> reference;
  for (int id = 0; id < n; ++id) {
    int key = static_cast<int>(rng() % 100) - 1;
    heap.Insert(key, id);
    reference[id] = key;
  }
  for (int step = 0; step < 5000; ++step) {
    int id = static_cast<int>(rng() % n);
    int key = static_cast<int>(rng() % 100) - 1;
    heap.ChangeKey(id, key);
    reference[id] = key;
    int smallest = reference.begin()->second;
    for (auto& kv : reference) smallest = std::min(smallest, kv.second);
    ASSERT_EQ(heap.MinKey(), smallest);
    ASSERT_EQ(reference[heap.MinId()], smallest);
    ASSERT_EQ(heap.KeyOf(id), key);
  }
}

TEST(HeapDeathTest, ReadingTheMinimumOfAnEmptyHeapIsAnError) {
  Heap<double> heap(0);
  EXPECT_DEATH(heap.MinKey(), "Assertion failed: size > 0, file Heap, line");
}
