// MersenneTwister is the 32-bit MT19937 generator. rnd() maps each 32-bit
// output to the centre of its 2^-32-wide cell, so values lie strictly
// between 0 and 1. An unseeded twister seeds itself with 18671867 on first
// use.
//
// Not thread-safe: used by the simulation thread only.
#ifndef MERSENNE_TWISTER_H
#define MERSENNE_TWISTER_H

#include <cstdint>

#include "random/RandomNumberGenerator.h"

class MersenneTwister : public RandomNumberGenerator {
 public:
  static constexpr int N = 624;
  static constexpr int M = 397;

  MersenneTwister();
  ~MersenneTwister() override;

  double rnd() override;
  void srnd(unsigned long seed) override;

  // The next tempered 32-bit output.
  std::uint32_t rnd_int32();
  // The twist matrix term for the low bit of a word.
  static std::uint32_t getMatrixA(std::uint32_t bit);

 private:
  void Regenerate();

  std::uint32_t mt_[N];
  int index_;
  bool seeded_;
};

#endif
