// RandomNumberGenerator is the interface of the run's single uniform source.
// Exactly one generator is installed per process, owned by the process-wide
// distributions object (see UserDistributions.h); everything random in a run
// (event tie-breaks, case selection, delay sampling) draws from it.
//
// The virtual operations keep this order: destructor, rnd, srnd.
// Not thread-safe: used by the simulation thread only.
#ifndef RANDOM_NUMBER_GENERATOR_H
#define RANDOM_NUMBER_GENERATOR_H

// Generator type numbers as selected on the command line (-r). Values outside
// the three named ones can occur (they display as "Unknown").
enum class RandomNumberGeneratorType : int {
  LaggedFibonacci = 0,
  Tausworthe = 1,
  MersenneTwister = 2,
};

class RandomNumberGenerator {
 public:
  RandomNumberGenerator() = default;
  RandomNumberGenerator(const RandomNumberGenerator&) = delete;
  RandomNumberGenerator& operator=(const RandomNumberGenerator&) = delete;
  virtual ~RandomNumberGenerator() = default;

  // The next uniform variate. The base class has no stream and returns 0.
  virtual double rnd() { return 0.0; }
  // Restarts the stream from a seed. The base class ignores it.
  virtual void srnd(unsigned long seed) { (void)seed; }
};

#endif
