// The one assertion facility of the code base. A failed assertion is a
// programming error: it reports the expression, the source (cited without
// extension, relative to the framework's class folders, e.g. "state/SharableSV",
// "Join", "PVModel") and the line on the error stream, then ends the process.
//
// QUELIX_ASSERT(expr, "Source") cites the line of the macro itself;
// QUELIX_ASSERT_AT(expr, "Source", line) cites a fixed line, for assertions
// whose reported position is part of the documented behaviour.
#ifndef QUELIX_ASSERT_H
#define QUELIX_ASSERT_H

[[noreturn]] void QuelixAssertionFailed(const char* expression, const char* source, int line);

#define QUELIX_ASSERT_AT(expr, source, line)                         \
  do {                                                               \
    if (!(expr)) QuelixAssertionFailed(#expr, (source), (line));     \
  } while (0)

#define QUELIX_ASSERT(expr, source) QUELIX_ASSERT_AT(expr, source, __LINE__)

#endif
