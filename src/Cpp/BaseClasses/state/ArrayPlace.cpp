#include "Cpp/BaseClasses/state/ArrayPlace.h"

#include "Cpp/BaseClasses/state/ArrayType.h"

ArrayPlace::ArrayPlace(const char* name, int n)
    : ArrayStateVariable<ExtendedPlace<short> >(name, "", SHORT_ARRAY_TYPE, n) {
  appendElements(n, static_cast<short>(0));
}

ArrayPlace::~ArrayPlace() { deleteElements(); }
