#include "Cpp/BaseClasses/QuelixAssert.h"

#include <cstdio>
#include <cstdlib>

void QuelixAssertionFailed(const char* expression, const char* source, int line) {
  std::fflush(stdout);
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, source, line);
  std::fflush(stderr);
  std::abort();
}
