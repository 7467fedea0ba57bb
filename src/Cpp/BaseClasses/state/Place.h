// Place is a SAN place: a shareable state variable whose marking is a short.
// Generated activities read and write the marking through Mark, an alias of
// Value that is registered with the sharing group, so a merge redirects it
// too (an unshared place therefore has SharingCount 2).
#ifndef PLACE_H
#define PLACE_H

#include "Cpp/BaseClasses/state/SharableSV.h"

class Place : public SharableSV<short> {
 public:
  Place();
  explicit Place(const char* name);
  Place(const char* name, short initialMarking);

  short getMark() const { return *Mark; }
  void setMark(short m) { *Mark = m; }
  void test() {}

  short* Mark;
};

#endif
