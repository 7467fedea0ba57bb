#include "simulator/GroupPrefetch.h"

#include "Cpp/BaseClasses/BaseGroupClass.h"

void GroupPrefetch::Learn(BaseGroupClass* const* groups, int n) {
  constexpr int kLines = 32;
  int named[kLines] = {};
  for (int i = 0; i < n; ++i) {
    // The lines named beyond the first two, one set bit at a time.
    for (unsigned lines = groups[i]->HotLines() & ~3u; lines != 0; lines &= lines - 1) ++named[__builtin_ctz(lines)];
  }
  Extra[0] = Extra[1] = kLine;
  HasExtra = false;
  for (int slot = 0; slot < 2; ++slot) {
    int best = 0;
    for (int k = 2; k < kLines; ++k)
      if (named[k] > named[best]) best = k;
    if (named[best] == 0) return;
    Extra[slot] = best * kLine;
    HasExtra = true;
    named[best] = 0;
  }
}
