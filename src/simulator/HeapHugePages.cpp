#include "simulator/HeapHugePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

#if defined(__linux__)
constexpr std::uintptr_t kHugePageBytes = std::uintptr_t(2) << 20;

// Older C library headers may not name it; the kernel has had it since 6.1.
#ifndef MADV_COLLAPSE
constexpr int MADV_COLLAPSE = 25;
#endif

const char* HeapEnd() { return static_cast<const char*>(sbrk(0)); }
#endif

}  // namespace

#if defined(__linux__)

HeapHugePages::HeapHugePages() : Start(HeapEnd()) {}

std::size_t HeapHugePages::Advise() const {
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(Start);
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(HeapEnd());
  if (end < start || end - start < kMinimumBytes) return 0;
  const std::uintptr_t first = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  const std::uintptr_t last = end & ~(kHugePageBytes - 1);
  if (last <= first) return 0;
  void* span = reinterpret_cast<void*>(first);
  const std::size_t bytes = last - first;
  // The first keeps the span huge as it is touched again; the second
  // backs what is already there now rather than whenever the kernel's
  // background thread comes to it.
  (void)madvise(span, bytes, MADV_HUGEPAGE);
  (void)madvise(span, bytes, MADV_COLLAPSE);
  return bytes;
}

#else

HeapHugePages::HeapHugePages() : Start(nullptr) {}

std::size_t HeapHugePages::Advise() const { return 0; }

#endif
