#include "Cpp/BaseClasses/FastSet.h"

#include "Cpp/BaseClasses/QuelixAssert.h"

int FastSet::number1 = 0;
int FastSet::number2 = 0;

FastSet::FastSet() : is_vec_rep(false), tree(new std::set<int>), VecSize(0) { number1++; }

FastSet::~FastSet() = default;

bool FastSet::insert(const int& v) {
  QUELIX_ASSERT_AT(!is_vec_rep, "FastSet", 49);
  return tree->insert(v).second;
}

bool FastSet::find(const int& v) {
  QUELIX_ASSERT_AT(!is_vec_rep, "FastSet", 55);
  return tree->count(v) != 0;
}

bool FastSet::empty() const {
  QUELIX_ASSERT_AT(!is_vec_rep, "FastSet", 60);
  return tree->empty();
}

void FastSet::NoMoreModifications() {
  QUELIX_ASSERT_AT(!is_vec_rep, "FastSet", 75);
  VecSize = static_cast<int>(tree->size());
  vec.reset(new int[VecSize > 0 ? VecSize : 1]);
  int i = 0;
  for (int v : *tree) vec[i++] = v;
  tree.reset();
  is_vec_rep = true;
  number2++;
}

void FastSet::clear() {
  if (is_vec_rep) {
    vec.reset();
    VecSize = 0;
  } else {
    tree->clear();
  }
}
