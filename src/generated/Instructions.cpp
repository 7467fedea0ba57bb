#include "generated/Instructions.h"

#include <cstdio>

Instructions::Instructions(int n) : ArrayStateVariable<ExtendedPlace<short> >("SCHEDULER", "", 0, n) {
  char name[16];
  for (int i = 0; i < n; i++) {
    std::snprintf(name, sizeof name, "%d", i);
    ExtendedPlace<short>* element = new ExtendedPlace<short>();
    element->SetName(name);
    element->SetPrefix("SCHEDULER");
    *element->Value = 0;
    fields.push_back(element);
  }
}

Instructions::~Instructions() {
  for (BaseStateVariableClass* element : fields) delete element;
  fields.clear();
}
