// ArrayStateVariable<T> is an array state variable whose elements are of
// class T (for the generated program array, ExtendedPlace<short>). It adds the
// element creation generated code uses and the bounds-checked element read.
//
// Ownership: as BaseArrayStateVariable; a creator that calls appendElements
// deletes the elements (deleteElements) before the array is destroyed.
#ifndef ARRAY_STATE_VARIABLE_H
#define ARRAY_STATE_VARIABLE_H

#include <iostream>
#include <string>

#include "Cpp/BaseClasses/QuelixAssert.h"
#include "Cpp/BaseClasses/state/BaseArrayStateVariable.h"

template <class T>
class ArrayStateVariable : public BaseArrayStateVariable {
 public:
  ArrayStateVariable() = default;
  ArrayStateVariable(const char* name, const char* prefix) : BaseArrayStateVariable(name, prefix) {}
  ArrayStateVariable(const char* name, const char* prefix, ArrayType type, int n)
      : BaseArrayStateVariable(name, prefix, type, n) {}

  // Appends n new elements named "0", "1", ... with the array's name as
  // prefix, each holding initial.
  template <class V>
  void appendElements(int n, V initial) {
    for (int i = 0; i < n; i++) {
      T* e = new T();
      e->SetName(std::to_string(i).c_str());
      e->SetPrefix(Name.c_str());
      *e->Value = initial;
      fields.push_back(e);
    }
  }

  // Element i. An index outside 0 .. getSize()-1 is a fault of the model: it
  // is reported with the array's name and bounds, then the assertion fails.
  T* index(int i) {
    if (i < 0 || i >= getSize()) {
      ReportOutOfBounds(i);
      QUELIX_ASSERT_AT(0, "state/ArrayStateVariable", 211);
    }
    return static_cast<T*>(fields[i]);
  }
  T* operator[](int i) { return index(i); }

  // Names the array, its bounds and the index i on the error stream.
  void ReportOutOfBounds(int i) const {
    std::cerr << "Runtime error: index out of bounds. " << Name << "[0.." << getSize() - 1 << "] indexed with " << i
              << "\n"
              << std::flush;
  }
};

#endif
