// UserDistributions is the distributions object the rest of the system
// holds. TheGenerator is the process-wide instance, built before main as a
// lagged Fibonacci generator seeded with 31415; TheDistribution points at the
// instance in use (normally TheGenerator) and owns nothing.
//
// Not thread-safe: used by the simulation thread only.
#ifndef USER_DISTRIBUTIONS_H
#define USER_DISTRIBUTIONS_H

#include "random/Distributions.h"

class UserDistributions : public Distributions {
 public:
  // A fresh, unseeded LaggedFibonacci.
  UserDistributions();
  // A Tausworthe generator for type 1, a LaggedFibonacci for every other
  // type (a Mersenne Twister is installed only by the simulator), seeded
  // with seed.
  UserDistributions(int type, long seed);
  ~UserDistributions() override;
};

extern UserDistributions TheGenerator;
extern UserDistributions* TheDistribution;

#endif
