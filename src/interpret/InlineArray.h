// InlineArray<T, N> is a fixed-length array set once (assign) that keeps up
// to N elements inside the object itself and puts a longer one on the heap.
// An activity's per-instance arrays (its marking steps and tests, its delay
// parameters and locals) are a few elements long: held inline, a firing reads
// them from the lines of the activity it already touches, not from separate
// allocations scattered over memory (a cache miss each once a model has
// thousands of activities).
//
// Ownership: owns its elements. Neither copyable nor movable (the data
// pointer may point into the object). Not thread-safe.
#ifndef INTERPRET_INLINEARRAY_H
#define INTERPRET_INLINEARRAY_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace saninterp {

template <typename T, std::size_t N>
class InlineArray {
  static_assert(N > 0, "InlineArray keeps at least one element inline");

 public:
  InlineArray() = default;
  InlineArray(const InlineArray&) = delete;
  InlineArray& operator=(const InlineArray&) = delete;
  ~InlineArray() { Release(); }

  // Replaces the contents with count copies of value.
  void assign(std::size_t count, const T& value) {
    Resize(count);
    std::fill(Data, Data + count, value);
  }
  void assign(const std::vector<T>& values) {
    Resize(values.size());
    std::copy(values.begin(), values.end(), Data);
  }

  T* data() { return Data; }
  const T* data() const { return Data; }
  std::size_t size() const { return Count; }
  bool empty() const { return Count == 0; }
  T& operator[](std::size_t i) { return Data[i]; }
  const T& operator[](std::size_t i) const { return Data[i]; }
  const T* begin() const { return Data; }
  const T* end() const { return Data + Count; }
  bool IsInline() const { return Data == Inline; }

 private:
  void Resize(std::size_t count) {
    Release();
    Data = count <= N ? Inline : new T[count];
    Count = static_cast<std::uint32_t>(count);
  }
  void Release() {
    if (Data != Inline) delete[] Data;
    Data = Inline;
    Count = 0;
  }

  T* Data = Inline;
  std::uint32_t Count = 0;
  T Inline[N] = {};
};

}  // namespace saninterp

#endif
