// List<C> is a growable array of pointers to C with set semantics: an item is
// never held twice, and items keep their insertion order except where a
// removal moves the last item into the freed slot. Every action and
// state-variable list of the framework is one of these, and the simulator's
// affects relation and the reward set-up read them in this order.
//
// Ownership: the list owns its slot array, never the items.
// Growth doubles the capacity; a list never shrinks.
#ifndef LIST_H
#define LIST_H

#include <iostream>
#include <new>
#include <unordered_set>

#include "Cpp/BaseClasses/ErrorFunctions.h"
#include "Cpp/BaseClasses/QuelixAssert.h"

template <class C>
class List {
 public:
  List() : List(10) {}
  explicit List(int capacity) : Items(nullptr), NumItems(0), Capacity(capacity < 0 ? 0 : capacity) {
    Items = new (std::nothrow) C*[Capacity > 0 ? Capacity : 1]();
    if (Items == nullptr) MemoryAllocationError();
  }
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  ~List() { delete[] Items; }

  void append(C* x) {
    if (contains(x)) return;
    if (NumItems >= Capacity) grow(Capacity > 0 ? 2 * Capacity : 1);
    Items[NumItems++] = x;
  }

  // The items of xs not yet held, in order. A long run is checked against a
  // hash set of the items instead of a search per item, so that listing the
  // thousands of actions of a large model stays linear.
  void append(C** xs, int n) {
    if ((static_cast<long long>(NumItems) + n) * n <= kSearchLimit) {
      for (int i = 0; i < n; i++) append(xs[i]);
      return;
    }
    std::unordered_set<const C*> held(Items, Items + NumItems);
    for (int i = 0; i < n; i++) {
      if (!held.insert(xs[i]).second) continue;
      if (NumItems >= Capacity) grow(2 * (NumItems + n - i));
      Items[NumItems++] = xs[i];
    }
  }

  // Reserves twice the combined count at once rather than doubling per item.
  void append(List<C>* other) {
    int combined = NumItems + other->NumItems;
    if (combined > Capacity) grow(2 * combined);
    append(other->Items, other->NumItems);
  }

  // The last item fills the freed slot: order is not kept.
  void remove(C* x) {
    int i = indexOf(x);
    if (i < 0) return;
    Items[i] = Items[NumItems - 1];
    Items[--NumItems] = nullptr;
  }

  // When the replacement is already present the old item is simply removed,
  // so that the list still holds no item twice.
  void replaceItem(C* oldItem, C* newItem) {
    int i = indexOf(oldItem);
    if (i < 0) return;
    if (oldItem != newItem && contains(newItem)) {
      remove(oldItem);
    } else {
      Items[i] = newItem;
    }
  }

  bool contains(C* x) const { return indexOf(x) >= 0; }

  // REQUIRES: room for one more item (the list does not grow here).
  void insertItem(C* x) {
    if (contains(x)) return;
    QUELIX_ASSERT(NumItems < Capacity, "List");
    Items[NumItems++] = x;
  }

  void increaseArraySize(int n) {
    if (n > Capacity) grow(n);
  }

  C* getItem(int i) const { return Items[i]; }
  C* operator[](int i) const { return Items[i]; }
  int getNumItems() const { return NumItems; }
  int getCapacity() const { return Capacity; }
  C** getList() const { return Items; }
  void clearList() { NumItems = 0; }

  void printList() const {
    if (NumItems == 0) {
      std::cout << "No items in the list" << std::endl;
      return;
    }
    for (int i = 0; i < NumItems; i++)
      std::cout << "[" << i << "] " << static_cast<const void*>(Items[i]) << std::endl;
  }

 private:
  int indexOf(C* x) const {
    for (int i = 0; i < NumItems; i++)
      if (Items[i] == x) return i;
    return -1;
  }

  void grow(int newCapacity) {
    C** bigger = new (std::nothrow) C*[newCapacity]();
    if (bigger == nullptr) {
      std::cerr << "!! Crtical error in List<C>::append(List*) do to insufficient memory...exiting" << std::endl;
      MemoryAllocationError();
    }
    for (int i = 0; i < NumItems; i++) bigger[i] = Items[i];
    delete[] Items;
    Items = bigger;
    Capacity = newCapacity;
  }

  // Above this many comparisons a bulk append uses a hash set.
  static constexpr long long kSearchLimit = 4096;

  C** Items;
  int NumItems;
  int Capacity;
};

#endif
