#include "random/LaggedFibonacci.h"

#include <cstdint>

namespace {

constexpr int KK = 100;  // the long lag
constexpr int LL = 37;   // the short lag
constexpr int TT = 70;   // guaranteed separation between streams

// Process-wide recurrence state and read position, shared by all instances.
double ran_u[KK];
int read_position = 0;

// The fractional part of a sum of two values in [0, 1).
inline double mod_sum(double x, double y) {
  return (x + y) - static_cast<int>(x + y);
}

}  // namespace

void ranf_array(double aa[], int n) {
  int i, j;
  for (j = 0; j < KK; j++) aa[j] = ran_u[j];
  for (; j < n; j++) aa[j] = mod_sum(aa[j - KK], aa[j - LL]);
  for (i = 0; i < LL; i++, j++) ran_u[i] = mod_sum(aa[j - KK], aa[j - LL]);
  for (; i < KK; i++, j++) ran_u[i] = mod_sum(aa[j - KK], ran_u[i - LL]);
}

void ranf_start(long seed) {
  // The 32-bit form of the seed with its sign bit cleared: a negative value
  // would never shift down to 0 and the loop below would not end.
  const std::int32_t seed32 =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(seed) & 0x7fffffffu);

  double u[KK + KK - 1], ul[KK + KK - 1];
  const double ulp = (1.0 / (1L << 30)) / (1L << 22);  // 2 to the -52
  // Computed in double so that the two largest seeds do not wrap around.
  double ss = 2.0 * ulp * (static_cast<double>(seed32) + 2.0);
  int j;
  for (j = 0; j < KK; j++) {
    u[j] = ss;
    ul[j] = 0.0;
    ss += ss;
    if (ss >= 1.0) ss -= 1.0 - 2 * ulp;
  }
  for (; j < KK + KK - 1; j++) u[j] = ul[j] = 0.0;
  u[1] += ulp;
  ul[1] = ulp;

  std::int32_t s = seed32;
  int t = TT - 1;
  while (t) {
    for (j = KK - 1; j > 0; j--) ul[j + j] = ul[j], u[j + j] = u[j];
    for (j = KK + KK - 2; j > KK - LL; j -= 2)
      ul[KK + KK - 1 - j] = 0.0, u[KK + KK - 1 - j] = u[j] - ul[j];
    for (j = KK + KK - 2; j >= KK; j--) {
      if (ul[j] != 0.0) {
        ul[j - (KK - LL)] = ulp - ul[j - (KK - LL)];
        u[j - (KK - LL)] = mod_sum(u[j - (KK - LL)], u[j]);
        ul[j - KK] = ulp - ul[j - KK];
        u[j - KK] = mod_sum(u[j - KK], u[j]);
      }
    }
    if (s & 1) {
      for (j = KK; j > 0; j--) ul[j] = ul[j - 1], u[j] = u[j - 1];
      ul[0] = ul[KK], u[0] = u[KK];
      if (ul[KK] != 0.0) ul[LL] = ulp - ul[LL], u[LL] = mod_sum(u[LL], u[KK]);
    }
    if (s) s >>= 1;
    else t--;
  }
  for (j = 0; j < LL; j++) ran_u[j + KK - LL] = u[j];
  for (; j < KK; j++) ran_u[j - LL] = u[j];
}

LaggedFibonacci::LaggedFibonacci() : buffer_() {}

LaggedFibonacci::~LaggedFibonacci() = default;

double LaggedFibonacci::rnd() {
  if (read_position == kBufferSize) {
    read_position = 0;
    ranf_array(buffer_, kBufferSize);
  }
  return buffer_[read_position++];
}

void LaggedFibonacci::srnd(unsigned long seed) {
  ranf_start(static_cast<long>(seed));
  ranf_array(buffer_, kBufferSize);
  ranf_array(buffer_, kBufferSize);
}

int LaggedFibonacci::SharedPosition() { return read_position; }
