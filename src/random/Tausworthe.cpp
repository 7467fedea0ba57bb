#include "random/Tausworthe.h"

Tausworthe::~Tausworthe() = default;

double Tausworthe::rnd() {
  std::uint32_t s = state_;
  s = ((s << 13) ^ s) & 0x7fffffffu;
  s = (s >> 18) ^ s;
  state_ = s;
  return s * 4.656612875245797e-10;  // 0x1.0000000200000p-31
}

void Tausworthe::srnd(unsigned long seed) {
  state_ = static_cast<std::uint32_t>(seed & 0xffffffffUL);
}
