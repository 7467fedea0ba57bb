// FileWrites: the loops every writer of results needs around write(2),
// pwrite(2) and copy_file_range(2), which may move fewer bytes than asked
// or be interrupted.
//
// Each returns false (or -1) with errno set by the failed call; none owns or
// closes a descriptor. Thread-safe as the system calls are.
#ifndef RESULTS_FILE_WRITES_H
#define RESULTS_FILE_WRITES_H

#include <cstddef>

namespace file_writes {

// Writes all size bytes at the descriptor's position.
bool WriteWhole(int descriptor, const void* bytes, std::size_t size);
// Writes all size bytes at offset, leaving the position alone.
bool WriteWholeAt(int descriptor, const void* bytes, std::size_t size, long long offset);
// Copies up to length bytes of from, from offset on, to to's position,
// inside the kernel. Returns the bytes copied (> 0); 0 when the kernel
// declines to copy between these two (another file system on an older
// kernel, a device, an output opened for appending): the caller then copies
// through memory; -1 on a failure.
long long CopyInKernel(int from, long long offset, long long length, int to);

}  // namespace file_writes

#endif
