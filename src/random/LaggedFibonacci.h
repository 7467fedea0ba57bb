// LaggedFibonacci is the default uniform generator: the floating-point lagged
// Fibonacci recurrence X[j] = (X[j-100] + X[j-37]) mod 1, seeded by the
// original (pre-revision) seeding routine, values in [0, 1).
//
// Shared state: the recurrence state (ran_u) and the read position are
// process-wide, so every LaggedFibonacci object draws from one stream; only
// the 100-value output buffer belongs to the object. Seeding does not reset
// the read position.
//
// Not thread-safe: used by the simulation thread only.
#ifndef LAGGED_FIBONACCI_H
#define LAGGED_FIBONACCI_H

#include "random/RandomNumberGenerator.h"

// The package interface of the recurrence. ranf_array fills aa[0..n-1] with
// the next n outputs and advances the process-wide state; REQUIRES: n >= 100.
void ranf_array(double aa[], int n);
// Initialises the process-wide state from a seed, taken as a 32-bit integer.
// The seeding loop halves the seed until it reaches 0, which a negative value
// never does; the sign bit is therefore cleared first. Every non-negative
// seed keeps its stream.
void ranf_start(long seed);

class LaggedFibonacci : public RandomNumberGenerator {
 public:
  static constexpr int kBufferSize = 100;

  LaggedFibonacci();
  ~LaggedFibonacci() override;

  // A buffer read; every 100th call refills the buffer from the recurrence.
  double rnd() override;
  // Seeds the shared state, then discards one buffer's worth of outputs: the
  // buffer holds the second hundred, which rnd() returns from here on.
  void srnd(unsigned long seed) override;

  // The shared read position (0..100) into the buffers; for diagnostics.
  static int SharedPosition();

 private:
  double buffer_[kBufferSize];
};

#endif
