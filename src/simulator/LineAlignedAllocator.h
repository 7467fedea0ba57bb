// LineAlignedAllocator gives a container's array the alignment of a cache
// line (64 bytes), so that elements of a size dividing 64 never straddle two
// lines and neighbours share one. Stateless: any two compare equal.
#ifndef LINE_ALIGNED_ALLOCATOR_H
#define LINE_ALIGNED_ALLOCATOR_H

#include <cstddef>
#include <new>

template <class T>
struct LineAlignedAllocator {
  using value_type = T;
  static constexpr std::size_t kLine = 64;

  LineAlignedAllocator() = default;
  template <class U>
  explicit LineAlignedAllocator(const LineAlignedAllocator<U>&) {}

  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t{kLine})); }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t{kLine}); }

  template <class U>
  bool operator==(const LineAlignedAllocator<U>&) const { return true; }
  template <class U>
  bool operator!=(const LineAlignedAllocator<U>&) const { return false; }
};

#endif
