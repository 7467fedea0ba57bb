#include "Cpp/BaseClasses/ErrorFunctions.h"

#include <cstdlib>
#include <iostream>
#include <new>

void MemoryAllocationError() {
  std::cerr << "Insufficient Memory to allocate dynamic data structures from heap memory" << std::endl;
  std::cerr << "Exiting program..." << std::endl;
  std::exit(1);
}

void MemoryError() { std::cerr << "Memory Error" << std::endl; }

void ErrorEmptyParameter(const char* name) {
  std::cerr << name << ": Parameter was an empty reference" << std::endl;
}

void SyncError::WrongDistributionType() {
  std::cerr << "You can only synchronize actions from one type,"
            << "either exponential or instantenous" << std::endl;
}

void SyncError::NoAction() { std::cerr << " no Action found in model" << std::endl; }

void InconsistantState() {
  std::cerr << "This program has entered into an inconsistant state. Please report this bug." << std::endl;
}

void UserError() { std::cerr << "A user error has been detected" << std::endl; }

static void TypeMismatch(const char* kind, const char* a, const char* b) {
  std::cerr << kind << " types for equivalence sharing do not match for state variables: " << std::endl;
  std::cerr << "  " << a << std::endl;
  std::cerr << "  " << b << std::endl;
}

void ArrayTypeMismatchError(const char* a, const char* b) { TypeMismatch("Array", a, b); }

void StructTypeMismatchError(const char* a, const char* b) { TypeMismatch("Struct", a, b); }

void InvalidArrayType() { std::cerr << "ArrayType is not valid" << std::endl; }

void InvalidStructType() {
  std::cerr << "ArrayType is invalid for struct element" << std::endl;
  std::cerr << "preparing to segfault" << std::endl;
}

void InvalidUnorderedType() { std::cerr << "ArrayType is invalid for unordered element" << std::endl; }

void ArrayOutOfBoundsError(const char* where) {
  std::cerr << "Array out of bounds error at " << where << std::endl;
}

static void OutOfMemory() { MemoryAllocationError(); }

void InstallMemoryAllocationHandler() { std::set_new_handler(OutOfMemory); }
