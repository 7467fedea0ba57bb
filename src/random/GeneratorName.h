// The display names of the generator types, as the results files, the
// simulator's output and the manager print them. A module of its own so that
// tools that print a name need neither the simulator nor a compiled model.
#ifndef GENERATOR_NAME_H
#define GENERATOR_NAME_H

#include <string>

#include "random/RandomNumberGenerator.h"

// "Lagged Fibonacci", "Tausworthe", "Mersenne Twister", or "Unknown" for any
// other number.
std::string to_string(RandomNumberGeneratorType type);

#endif
