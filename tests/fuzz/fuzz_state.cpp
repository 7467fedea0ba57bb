// The stored-state reader: freadState on arbitrary bytes, into a SAN's saved
// state of a few sizes. A rejected or short read must leave the size within capacity.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "Cpp/BaseClasses/SANModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const int kCapacities[] = {0, 1, 13, 64};
  for (int capacity : kCapacities) {
    FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (f == nullptr) return 0;
    SANModel::LocalState state(capacity);
    state.freadState(f);
    std::fclose(f);
    if (state.getSize() < 0 || state.getSize() > capacity) __builtin_trap();
    state.hash();
  }
  return 0;
}
