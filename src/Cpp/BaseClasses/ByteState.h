// ByteState is a saved state held as an owned byte string of fixed Size: the
// common part of a SAN's and a join's local state. Its hash weighs each byte,
// taken as a signed byte, with the (i mod 256)-th of the first 256 primes in
// 32-bit wrapping arithmetic; its order is a byte-wise comparison of unsigned
// bytes.
//
// Assigning between states of different sizes is a programming error; the
// assertion cites the concrete kind's source and line.
#ifndef BYTE_STATE_H
#define BYTE_STATE_H

#include <memory>

#include "Cpp/BaseClasses/State.h"

class ByteState : public State {
 public:
  // The bytes start zeroed.
  ByteState(int size, const char* assertSource, int assertLine);

  int hash() const override;
  int compare(const State& o) const override;
  void print() const override;
  bool fwriteState(FILE* f) const override;
  // A stored size larger than this state's buffer, or negative, is rejected
  // (true is returned, nothing is read and the state keeps its bytes).
  bool freadState(FILE* f) override;
  State& operator=(const State& other) override;
  ByteState& operator=(const ByteState& other) {
    assign(other);
    return *this;
  }
  void* GetStatePtr() const override { return Data.get(); }

  int getSize() const { return Size; }
  char* getData() const { return Data.get(); }

  static const int primes[256];

  std::unique_ptr<char[]> Data;
  int Size;

 private:
  void assign(const State& other);

  int Capacity;  // bytes allocated for Data
  const char* AssertSource;
  int AssertLine;
};

#endif
