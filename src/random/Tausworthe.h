// Tausworthe is a 31-bit shift-register generator with one 32-bit word of
// state. A state of 0 is a fixed point: once there, every variate is 0.
//
// Not thread-safe: used by the simulation thread only.
#ifndef TAUSWORTHE_H
#define TAUSWORTHE_H

#include <cstdint>

#include "random/RandomNumberGenerator.h"

class Tausworthe : public RandomNumberGenerator {
 public:
  Tausworthe() = default;
  ~Tausworthe() override;

  // The new 31-bit state scaled by the double nearest to 1/(2^31 - 1).
  double rnd() override;
  // The state becomes the low 32 bits of the seed.
  void srnd(unsigned long seed) override;

 private:
  std::uint32_t state_ = 0;
};

#endif
