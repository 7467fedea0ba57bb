#include "Cpp/BaseClasses/state/Place.h"

Place::Place() : Place("default", 0) {}

Place::Place(const char* name) : Place(name, 0) {}

Place::Place(const char* name, short initialMarking) : Mark(Value) {
  registerPointer(&Mark, nullptr);
  SetName(name);
  *Mark = initialMarking;
}
