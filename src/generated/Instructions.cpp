#include "generated/Instructions.h"

Instructions::Instructions(int n) : ArrayStateVariable<ExtendedPlace<short> >("SCHEDULER", "", SHORT_ARRAY_TYPE, n) {
  appendElements(n, static_cast<short>(0));
}

Instructions::~Instructions() { deleteElements(); }
