// The generator's name as the results files and the manager print it. In a
// file of its own: tools that print it (the manager) need not link the
// simulator, and with it a compiled model.
#include "simulator/SimulatorClass.h"

std::string to_string(RandomNumberGeneratorType type) {
  switch (type) {
    case RandomNumberGeneratorType::LaggedFibonacci:
      return "Lagged Fibonacci";
    case RandomNumberGeneratorType::Tausworthe:
      return "Tausworthe";
    case RandomNumberGeneratorType::MersenneTwister:
      return "Mersenne Twister";
  }
  return "Unknown";
}
