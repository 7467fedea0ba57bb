#include "random/MersenneTwister.h"

namespace {
constexpr std::uint32_t kMatrixA = 0x9908b0dfu;
constexpr std::uint32_t kUpperMask = 0x80000000u;
constexpr std::uint32_t kLowerMask = 0x7fffffffu;
constexpr unsigned long kDefaultSeed = 18671867UL;
}  // namespace

MersenneTwister::MersenneTwister() : mt_(), index_(N), seeded_(false) {}

MersenneTwister::~MersenneTwister() = default;

std::uint32_t MersenneTwister::getMatrixA(std::uint32_t bit) {
  return bit ? kMatrixA : 0u;
}

void MersenneTwister::srnd(unsigned long seed) {
  mt_[0] = static_cast<std::uint32_t>(seed & 0xffffffffUL);
  for (int i = 1; i < N; i++) {
    mt_[i] = 1812433253u * (mt_[i - 1] ^ (mt_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
  }
  index_ = N;
  seeded_ = true;
}

void MersenneTwister::Regenerate() {
  if (!seeded_) srnd(kDefaultSeed);
  int k;
  std::uint32_t y;
  for (k = 0; k < N - M; k++) {
    y = (mt_[k] & kUpperMask) | (mt_[k + 1] & kLowerMask);
    mt_[k] = mt_[k + M] ^ (y >> 1) ^ getMatrixA(y & 1u);
  }
  for (; k < N - 1; k++) {
    y = (mt_[k] & kUpperMask) | (mt_[k + 1] & kLowerMask);
    mt_[k] = mt_[k + (M - N)] ^ (y >> 1) ^ getMatrixA(y & 1u);
  }
  y = (mt_[N - 1] & kUpperMask) | (mt_[0] & kLowerMask);
  mt_[N - 1] = mt_[M - 1] ^ (y >> 1) ^ getMatrixA(y & 1u);
  index_ = 0;
}

std::uint32_t MersenneTwister::rnd_int32() {
  if (index_ >= N) Regenerate();
  std::uint32_t y = mt_[index_++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

double MersenneTwister::rnd() {
  return (static_cast<double>(rnd_int32()) + 0.5) * (1.0 / 4294967296.0);
}
