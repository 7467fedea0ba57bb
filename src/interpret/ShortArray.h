// ShortArray<T, N> holds up to N elements of T in itself, or points at a
// longer array kept in a vector elsewhere; it keeps no length, and no
// pointer beside its elements: its owner keeps the length with its other
// small fields. An activity's common paths read its marking tests, marking
// steps and delay parameters on every firing; without a pointer and a
// length each, the three fit, with the activity's flags, in the two cache
// lines its own fields start in, where InlineArrays took four (a miss each,
// once a model has thousands of activities).
//
// Ownership: owns the elements it holds itself; a longer array belongs to
// the vector given to assign, which must outlive this array and stay
// unchanged while this array points into it. Neither copyable nor movable.
// Not thread-safe.
#ifndef INTERPRET_SHORTARRAY_H
#define INTERPRET_SHORTARRAY_H

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace saninterp {

template <typename T, std::size_t N>
class ShortArray {
  static_assert(N > 0, "ShortArray holds at least one element itself");
  static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                "ShortArray's elements share their storage with a pointer");

 public:
  ShortArray() : Near{} {}
  ShortArray(const ShortArray&) = delete;
  ShortArray& operator=(const ShortArray&) = delete;

  // Holds values (values.size() is the length the owner must keep): a copy
  // here when they fit, else in *far.
  void assign(const std::vector<T>& values, std::vector<T>* far) {
    if (values.size() <= N) {
      std::copy(values.begin(), values.end(), Near);
      return;
    }
    *far = values;
    Far = far->data();
  }

  // The elements of an array of the given length (the one assigned last).
  T* data(std::size_t length) { return length <= N ? Near : Far; }
  const T* data(std::size_t length) const { return length <= N ? Near : Far; }

 private:
  union {
    T Near[N];
    T* Far;
  };
};

}  // namespace saninterp

#endif
