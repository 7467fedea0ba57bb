// Instructions is the compute unit's program array SCHEDULER: n places of
// class ExtendedPlace<short>, element i named "i" with the prefix "SCHEDULER",
// all starting at 0. Elements are read and written only through the array's
// bounds-checked index, so an index outside 0..n-1 reports the array's name
// and bounds and ends the process.
//
// Ownership: the array owns its elements and deletes them before its base
// part (which frees only the element sequence) is destroyed.
#ifndef GENERATED_INSTRUCTIONS_H
#define GENERATED_INSTRUCTIONS_H

#include "Cpp/BaseClasses/state/ArrayStateVariable.h"
#include "Cpp/BaseClasses/state/ExtendedPlace.h"

class Instructions : public ArrayStateVariable<ExtendedPlace<short> > {
 public:
  explicit Instructions(int n);
  Instructions(const Instructions&) = delete;
  Instructions& operator=(const Instructions&) = delete;
  ~Instructions() override;
};

#endif
