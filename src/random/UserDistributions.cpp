#include "random/UserDistributions.h"

#include "random/LaggedFibonacci.h"
#include "random/Tausworthe.h"

UserDistributions::UserDistributions() { setGenerator(new LaggedFibonacci()); }

UserDistributions::UserDistributions(int type, long seed) {
  if (type == static_cast<int>(RandomNumberGeneratorType::Tausworthe)) {
    setGenerator(new Tausworthe());
  } else {
    setGenerator(new LaggedFibonacci());
  }
  generator->srnd(static_cast<unsigned long>(seed));
}

UserDistributions::~UserDistributions() = default;

UserDistributions TheGenerator(0, 31415);
UserDistributions* TheDistribution = &TheGenerator;
