// FastSet is a set of ints built in two phases: while it is being filled it is
// an ordered tree (insert, find, empty); NoMoreModifications() freezes it into
// a plain sorted array that is read by index (operator[], size) with no tree
// walk. The reward model fills its per-action sets once and then reads them on
// every firing.
//
// Using an operation of the other form is a programming error and fails an
// assertion citing FastSet. clear() works in either form and keeps the form.
//
// Ownership: the set owns its tree or its array. Not copyable.
#ifndef FAST_SET_H
#define FAST_SET_H

#include <memory>
#include <set>

#include "Cpp/BaseClasses/QuelixAssert.h"

class FastSet {
 public:
  FastSet();
  FastSet(const FastSet&) = delete;
  FastSet& operator=(const FastSet&) = delete;
  ~FastSet();

  // Tree form only.
  bool insert(const int& v);  // true when v was not yet present
  bool find(const int& v);
  bool empty() const;
  void NoMoreModifications();

  // Array form only. Defined here: the reward model reads them on every
  // firing, and a call per element cost more than the read.
  int& operator[](int i) {
    QUELIX_ASSERT_AT(is_vec_rep, "FastSet", 65);
    return vec[i];
  }
  int size() const {
    QUELIX_ASSERT_AT(is_vec_rep, "FastSet", 70);
    return VecSize;
  }

  void clear();
  bool isFrozen() const { return is_vec_rep; }

  static int number1;  // sets constructed
  static int number2;  // sets frozen

 private:
  bool is_vec_rep;
  std::unique_ptr<std::set<int>> tree;
  std::unique_ptr<int[]> vec;
  int VecSize;
};

#endif
