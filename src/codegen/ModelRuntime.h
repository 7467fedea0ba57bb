// ModelRuntime is what the code of a model from a file needs at run time,
// shared by the two back ends so that both give a model one meaning: the
// interpreter's compiled expressions and the C++ generated from the same
// file call the same functions.
//
// - Integer arithmetic is 64-bit two's complement that wraps on overflow
//   (never undefined behaviour); a store narrows to the target's type as C
//   does (a marking is a short).
// - Faults (division by zero, an index outside an array, a delay parameter
//   outside its distribution's domain) are reported through ModelFault with
//   the file, line, column and the quoted line, and give a harmless value.
//
// Thread rules: none beyond ModelFault's (the simulation thread).
#ifndef CODEGEN_MODELRUNTIME_H
#define CODEGEN_MODELRUNTIME_H

#include <cstdint>
#include <string>
#include <vector>

namespace modelrt {

// Where a construct is in the model's source: the file as given, the 1-based
// line and column, the construct's length, and the text of the line.
struct Site {
  const char* file;
  int line;
  int column;
  int length;
  const char* text;
};

// Ends the process with status 1 after reporting a model that cannot be
// built with the current global values (nothing has been simulated yet).
[[noreturn]] void BuildFault(const Site& site, const std::string& what);
// An initial marking, which must fit a short (else a build fault).
short InitialMarking(long long v, const Site& site, const char* what);
// An array length, which must be from 1 to 100000 (else a build fault).
int ArrayLength(long long v, const Site& site, const char* name);

// "file:line:column: error: what", the line and a caret.
std::string Describe(const Site& site, const std::string& what);
// Raises a ModelFault describing site (only the first fault of a run is
// reported).
[[gnu::cold, gnu::noinline]] void Fault(const Site& site, const std::string& what);

inline long long Add(long long a, long long b) {
  return static_cast<long long>(static_cast<unsigned long long>(a) + static_cast<unsigned long long>(b));
}
inline long long Sub(long long a, long long b) {
  return static_cast<long long>(static_cast<unsigned long long>(a) - static_cast<unsigned long long>(b));
}
inline long long Mul(long long a, long long b) {
  return static_cast<long long>(static_cast<unsigned long long>(a) * static_cast<unsigned long long>(b));
}
inline long long Neg(long long a) { return Sub(0, a); }
inline long long Abs(long long a) { return a < 0 ? Neg(a) : a; }
// REQUIRES: b != 0. The one quotient that overflows wraps as the others do.
inline long long DivUnchecked(long long a, long long b) { return b == -1 ? Neg(a) : a / b; }
inline long long ModUnchecked(long long a, long long b) { return b == -1 ? 0 : a % b; }
[[gnu::cold, gnu::noinline]] long long DivisionFault(const Site& site, bool division);
inline long long Div(long long a, long long b, const Site& site) {
  return b == 0 ? DivisionFault(site, true) : DivUnchecked(a, b);
}
inline long long Mod(long long a, long long b, const Site& site) {
  return b == 0 ? DivisionFault(site, false) : ModUnchecked(a, b);
}
inline double Div(double a, double b, const Site& site) {
  return b == 0.0 ? static_cast<double>(DivisionFault(site, true)) : a / b;
}

// Stores as C narrows: to a marking, and to the integer types of locals.
inline short ToShort(long long v) { return static_cast<short>(static_cast<std::uint16_t>(v)); }
inline long long ToChar(long long v) { return static_cast<signed char>(static_cast<std::uint8_t>(v)); }
inline long long ToInt(long long v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// Rounding to a whole number, and the functions with a domain.
long long Floor(double x, const Site& site);
long long Ceil(double x, const Site& site);
long long Round(double x, const Site& site);
double Sqrt(double x, const Site& site);
double Log(double x, const Site& site);
double Pow(double x, double y, const Site& site);

// Element k of an array's cells; an index outside it faults and reads (or
// receives) a scratch cell instead.
[[gnu::cold, gnu::noinline]] short& IndexFault(const Site& site, long long k, std::size_t size);
inline short& Element(const std::vector<short*>& cells, long long k, const Site& site) {
  if (k < 0 || k >= static_cast<long long>(cells.size())) return IndexFault(site, k, cells.size());
  return *cells[static_cast<std::size_t>(k)];
}

// Null when the parameters p[0..n) of the distribution with the given action
// code lie in its domain; else what is wrong with them.
const char* DomainProblem(int distribution, const double* p, std::size_t n);
// The fault message for parameters with the given problem.
std::string DelayFaultText(const double* p, std::size_t n, const char* problem);
// Faults (and returns false) when the parameters are outside the domain.
bool CheckDelayParameters(int distribution, const double* p, std::size_t n, const Site& site);
// Draws a delay of the distribution with the given action code.
double SampleDelay(int distribution, double* p, std::size_t n);
// A case weight must be finite and not negative.
inline bool WeightIsValid(double w) { return w >= 0.0 && w <= 1.7976931348623157e308; }
std::string WeightFaultText(double w);
// The weight, or a fault and 0.
inline double CheckedWeight(double w, const Site& site) {
  if (WeightIsValid(w)) return w;
  Fault(site, WeightFaultText(w));
  return 0.0;
}

}  // namespace modelrt

#endif
