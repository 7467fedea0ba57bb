// ArrayPlace is an array place of a model: n extended places of the marking
// type, named "0" to "n-1" after the array, all starting at 0. Elements are
// reached through index(i) or, faster, through the cells the model caches;
// arrays are never shared, so an element's cell stays where it is.
//
// Ownership: the array owns its elements and deletes them before its base
// part (which frees only the element sequence) is destroyed.
#ifndef ARRAY_PLACE_H
#define ARRAY_PLACE_H

#include <vector>

#include "Cpp/BaseClasses/state/ArrayStateVariable.h"
#include "Cpp/BaseClasses/state/ExtendedPlace.h"

class ArrayPlace : public ArrayStateVariable<ExtendedPlace<short> > {
 public:
  // REQUIRES: n >= 1.
  ArrayPlace(const char* name, int n);
  ArrayPlace(const ArrayPlace&) = delete;
  ArrayPlace& operator=(const ArrayPlace&) = delete;
  ~ArrayPlace() override;

  // The marking cell of every element, in order.
  std::vector<short*> Cells() {
    std::vector<short*> cells;
    for (int k = 0; k < getSize(); ++k) cells.push_back(index(k)->Value);
    return cells;
  }
};

#endif
