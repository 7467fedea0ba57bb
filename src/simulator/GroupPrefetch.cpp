#include "simulator/GroupPrefetch.h"

#include "Cpp/BaseClasses/BaseGroupClass.h"

void GroupPrefetch::Learn(BaseGroupClass* const* groups, int n) {
  constexpr int kLines = 32;
  int named[kLines] = {};
  for (int i = 0; i < n; ++i) {
    const unsigned lines = groups[i]->HotLines();
    for (int k = 2; k < kLines; ++k)
      if ((lines >> k) & 1u) ++named[k];
  }
  Extra[0] = Extra[1] = kLine;
  for (int slot = 0; slot < 2; ++slot) {
    int best = 0;
    for (int k = 2; k < kLines; ++k)
      if (named[k] > named[best]) best = k;
    if (named[best] == 0) return;
    Extra[slot] = best * kLine;
    named[best] = 0;
  }
}
