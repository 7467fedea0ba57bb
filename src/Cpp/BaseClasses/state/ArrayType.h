// ArrayType is the 32-bit element-type code of array and struct state
// variables. Codes 0 to 4 are plain values with a fixed size in saved states;
// any code above 4 stands for a composite (or other) state variable whose size
// is its own StateSize().
//
// writeMemory and readArray move raw values in and out of saved-state bytes,
// which need not be aligned.
#ifndef ARRAY_TYPE_H
#define ARRAY_TYPE_H

#include <cstdint>
#include <cstring>

typedef int32_t ArrayType;

constexpr ArrayType SHORT_ARRAY_TYPE = 0;
constexpr ArrayType INT_ARRAY_TYPE = 1;
constexpr ArrayType CHAR_ARRAY_TYPE = 2;
constexpr ArrayType DOUBLE_ARRAY_TYPE = 3;
constexpr ArrayType FLOAT_ARRAY_TYPE = 4;
constexpr ArrayType COMPOSITE_ARRAY_TYPE = 8;  // the default of an array

// Bytes of one value of a plain type; 0 for codes above 4 (the variable's own
// StateSize() applies) and for negative codes.
inline int ArrayTypeSize(ArrayType t) {
  switch (t) {
    case SHORT_ARRAY_TYPE: return 2;
    case INT_ARRAY_TYPE: return 4;
    case CHAR_ARRAY_TYPE: return 1;
    case DOUBLE_ARRAY_TYPE: return 8;
    case FLOAT_ARRAY_TYPE: return 4;
    default: return 0;
  }
}

inline bool IsPlainArrayType(ArrayType t) { return t >= 0 && t <= 4; }

template <class T>
void writeMemory(T value, void* to) {
  std::memcpy(to, &value, sizeof(T));
}

template <class T>
void readArray(T* to, void* from, int n) {
  if (n > 0) std::memcpy(to, from, sizeof(T) * n);
}

#endif
