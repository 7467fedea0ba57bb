// The framework's fixed error reports. Each writes its message to the error
// stream, one line per listed text, and returns; only MemoryAllocationError
// ends the process (status 1), because nothing can continue without memory.
#ifndef ERROR_FUNCTIONS_H
#define ERROR_FUNCTIONS_H

[[noreturn]] void MemoryAllocationError();
void MemoryError();
void ErrorEmptyParameter(const char* name);
void InconsistantState();
void UserError();
void ArrayTypeMismatchError(const char* a, const char* b);
void StructTypeMismatchError(const char* a, const char* b);
void InvalidArrayType();
void InvalidStructType();
void InvalidUnorderedType();
void ArrayOutOfBoundsError(const char* where);

// Reports about synchronised actions; no action of the system is one, so
// these are never reached in a normal run.
class SyncError {
 public:
  static void WrongDistributionType();
  static void NoAction();
};

// Routes every failed allocation of the process (operator new, and with it the
// standard containers and strings) to MemoryAllocationError, so that running
// out of memory ends the run with its fixed message instead of an exception.
void InstallMemoryAllocationHandler();

#endif
