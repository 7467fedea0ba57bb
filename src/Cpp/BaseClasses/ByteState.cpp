#include "Cpp/BaseClasses/ByteState.h"

#include <cstdint>
#include <cstring>

#include "Cpp/BaseClasses/QuelixAssert.h"

const int ByteState::primes[256] = {
    2,    3,    5,    7,    11,   13,   17,   19,   23,   29,   31,   37,   41,   43,   47,   53,   59,   61,   67,
    71,   73,   79,   83,   89,   97,   101,  103,  107,  109,  113,  127,  131,  137,  139,  149,  151,  157,  163,
    167,  173,  179,  181,  191,  193,  197,  199,  211,  223,  227,  229,  233,  239,  241,  251,  257,  263,  269,
    271,  277,  281,  283,  293,  307,  311,  313,  317,  331,  337,  347,  349,  353,  359,  367,  373,  379,  383,
    389,  397,  401,  409,  419,  421,  431,  433,  439,  443,  449,  457,  461,  463,  467,  479,  487,  491,  499,
    503,  509,  521,  523,  541,  547,  557,  563,  569,  571,  577,  587,  593,  599,  601,  607,  613,  617,  619,
    631,  641,  643,  647,  653,  659,  661,  673,  677,  683,  691,  701,  709,  719,  727,  733,  739,  743,  751,
    757,  761,  769,  773,  787,  797,  809,  811,  821,  823,  827,  829,  839,  853,  857,  859,  863,  877,  881,
    883,  887,  907,  911,  919,  929,  937,  941,  947,  953,  967,  971,  977,  983,  991,  997,  1009, 1013, 1019,
    1021, 1031, 1033, 1039, 1049, 1051, 1061, 1063, 1069, 1087, 1091, 1093, 1097, 1103, 1109, 1117, 1123, 1129, 1151,
    1153, 1163, 1171, 1181, 1187, 1193, 1201, 1213, 1217, 1223, 1229, 1231, 1237, 1249, 1259, 1277, 1279, 1283, 1289,
    1291, 1297, 1301, 1303, 1307, 1319, 1321, 1327, 1361, 1367, 1373, 1381, 1399, 1409, 1423, 1427, 1429, 1433, 1439,
    1447, 1451, 1453, 1459, 1471, 1481, 1483, 1487, 1489, 1493, 1499, 1511, 1523, 1531, 1543, 1549, 1553, 1559, 1567,
    1571, 1579, 1583, 1597, 1601, 1607, 1609, 1613, 1619};

ByteState::ByteState(int size, const char* assertSource, int assertLine)
    : Data(new char[size > 0 ? size : 1]()),
      Size(size > 0 ? size : 0),
      Capacity(Size),
      AssertSource(assertSource),
      AssertLine(assertLine) {}

int ByteState::hash() const {
  uint32_t h = 0;
  for (int i = 0; i < Size; i++)
    h += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(Data[i])) * primes[i % 256]);
  return static_cast<int32_t>(h);
}

int ByteState::compare(const State& o) const {
  const ByteState* other = dynamic_cast<const ByteState*>(&o);
  if (other == nullptr) return 1;
  int common = Size < other->Size ? Size : other->Size;
  int c = std::memcmp(Data.get(), other->Data.get(), common);
  if (c != 0) return c < 0 ? -1 : 1;
  if (Size != other->Size) return Size < other->Size ? -1 : 1;
  return 0;
}

void ByteState::print() const {
  for (int i = 0; i < Size; i++) std::printf("%5d", static_cast<int>(static_cast<signed char>(Data[i])));
  std::printf("\n");
  std::fflush(stdout);
}

bool ByteState::fwriteState(FILE* f) const {
  int32_t size = Size;
  if (std::fwrite(&size, sizeof size, 1, f) != 1) return true;
  return std::fwrite(Data.get(), 1, Size, f) < static_cast<size_t>(Size);
}

bool ByteState::freadState(FILE* f) {
  int32_t size = 0;
  if (std::fread(&size, sizeof size, 1, f) != 1) return true;
  if (size < 0 || size > Capacity) return true;
  size_t got = std::fread(Data.get(), 1, size, f);
  Size = size;
  return got < static_cast<size_t>(size);
}

State& ByteState::operator=(const State& other) {
  assign(other);
  return *this;
}

void ByteState::assign(const State& other) {
  if (&other == this) return;
  const ByteState* _localS = dynamic_cast<const ByteState*>(&other);
  QUELIX_ASSERT_AT(_localS, AssertSource, AssertLine);
  if (Size != _localS->Size) QuelixAssertionFailed("size == _localS->size", AssertSource, AssertLine);
  std::memcpy(Data.get(), _localS->Data.get(), Size);
}
