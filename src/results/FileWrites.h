// FileWrites: the loops every writer of results needs around write(2),
// pwrite(2) and copy_file_range(2), which may move fewer bytes than asked
// or be interrupted.
//
// Each returns false (or -1) with errno set by the failed call; none owns or
// closes a descriptor. Thread-safe as the system calls are.
#ifndef RESULTS_FILE_WRITES_H
#define RESULTS_FILE_WRITES_H

#include <cstddef>
#include <functional>

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
// Moves length bytes of descriptor (open for reading and writing) from
// offset from to offset to, the two ranges possibly overlapping, through a
// buffer of at most piece bytes: from the front when moving towards the
// start of the file, from the back otherwise, so that nothing is
// overwritten before it is read. progress, if given, is called with the
// bytes moved so far after every piece. A file shorter than from + length
// is a failure (errno EIO).
bool MoveWithin(int descriptor, long long from, long long to, long long length, std::size_t piece,
                const std::function<void(long long moved)>& progress = {});

}  // namespace file_writes

#endif
