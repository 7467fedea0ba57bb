// Heap<T> is an indexed binary min-heap: every key belongs to an element id (a
// small non-negative int), and an index from id to position lets the key of a
// given id be changed in place. The steady-state loop keeps two of them over
// its performance variables: the time of each one's next batch event and the
// number of batches each has completed.
//
// Equal keys are never swapped: a key moves up only while it is strictly less
// than its parent, down only while a child is strictly less than it, and the
// right child is preferred only when the left one is strictly greater.
//
// Ownership: the heap owns its three arrays; it grows by doubling when an
// insertion finds it full. Reading the minimum of an empty heap is a
// programming error and fails the assertion "size > 0".
//
// Not thread-safe: used by the simulation thread only.
#ifndef HEAP_H
#define HEAP_H

#include "Cpp/BaseClasses/QuelixAssert.h"

#include <utility>
#include <vector>

template <class T>
class Heap {
 public:
  explicit Heap(int n)
      : Capacity(n > 0 ? n : 0),
        Keys(Capacity, T()),
        PositionOf(Capacity, 0),
        ElementAt(Capacity, 0),
        IdCapacity(Capacity),
        Size(0) {}
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  // REQUIRES: id >= 0 and id is not already in the heap.
  void Insert(const T& key, int id) {
    QUELIX_ASSERT(id >= 0, "Heap");
    if (Size == Capacity) GrowSlots();
    while (id >= IdCapacity) GrowIds();
    Keys[Size] = key;
    ElementAt[Size] = id;
    PositionOf[id] = Size;
    ++Size;
    BubbleUp(Size - 1);
  }

  // Moves the key at position i down until no child is strictly less.
  void BubbleDown(int i) {
    for (;;) {
      int child = 2 * i + 1;
      if (child >= Size) return;
      if (child + 1 < Size && Keys[child] > Keys[child + 1]) ++child;
      if (!(Keys[child] < Keys[i])) return;
      Swap(i, child);
      i = child;
    }
  }

  // Moves the key at position i up while it is strictly less than its
  // parent's; returns its final position.
  int BubbleUp(int i) {
    while (i > 0) {
      int parent = (i - 1) / 2;
      if (!(Keys[i] < Keys[parent])) break;
      Swap(i, parent);
      i = parent;
    }
    return i;
  }

  // Replaces the key of an id already in the heap and restores the order.
  void ChangeKey(int id, const T& key) {
    int position = PositionOf[id];
    Keys[position] = key;
    if (BubbleUp(position) == position) BubbleDown(position);
  }

  const T& MinKey() const {
    RequireNotEmpty();
    return Keys[0];
  }
  int MinId() const {
    RequireNotEmpty();
    return ElementAt[0];
  }
  const T& KeyOf(int id) const { return Keys[PositionOf[id]]; }
  int GetSize() const { return Size; }
  int GetCapacity() const { return Capacity; }

 private:
  void RequireNotEmpty() const {
    const int size = Size;
    QUELIX_ASSERT(size > 0, "Heap");
  }

  void Swap(int a, int b) {
    std::swap(Keys[a], Keys[b]);
    std::swap(ElementAt[a], ElementAt[b]);
    PositionOf[ElementAt[a]] = a;
    PositionOf[ElementAt[b]] = b;
  }
  void GrowSlots() {
    Capacity = Capacity > 0 ? 2 * Capacity : 1;
    Keys.resize(Capacity, T());
    ElementAt.resize(Capacity, 0);
  }
  void GrowIds() {
    IdCapacity = IdCapacity > 0 ? 2 * IdCapacity : 1;
    PositionOf.resize(IdCapacity, 0);
  }

  int Capacity;
  std::vector<T> Keys;
  std::vector<int> PositionOf;
  std::vector<int> ElementAt;
  int IdCapacity;
  int Size;
};

#endif
