// ExtendedPlace<T> is a shareable place of value type T without the Mark
// alias; it is the element type of array state variables. Its Value address
// is registered a second time, with no owner, so an unshared ExtendedPlace
// has SharingCount 2 like a Place.
#ifndef EXTENDED_PLACE_H
#define EXTENDED_PLACE_H

#include "Cpp/BaseClasses/state/SharableSV.h"

template <class T>
class ExtendedPlace : public SharableSV<T> {
 public:
  ExtendedPlace() { this->registerPointer(&this->Value, nullptr); }

  int StateSize() override { return sizeof(T); }
  void SetState(void* from) override { *this->Value = *static_cast<T*>(from); }
  void CurrentState(void* to) override { *static_cast<T*>(to) = *this->Value; }
  // SetState is SharableSV's copy, so its cells are SharableSV's.
  bool ListStateCells(int offset, std::vector<StateCell>* out) override {
    return SharableSV<T>::ListStateCells(offset, out);
  }
};

#endif
