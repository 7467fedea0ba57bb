#include "random/GeneratorName.h"

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
