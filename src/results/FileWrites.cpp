#include "results/FileWrites.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace file_writes {

bool WriteWhole(int descriptor, const void* bytes, std::size_t size) {
  const char* from = static_cast<const char*>(bytes);
  for (std::size_t at = 0; at < size;) {
    const ssize_t put = ::write(descriptor, from + at, size - at);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    at += static_cast<std::size_t>(put);
  }
  return true;
}

bool WriteWholeAt(int descriptor, const void* bytes, std::size_t size, long long offset) {
  const char* from = static_cast<const char*>(bytes);
  for (std::size_t at = 0; at < size;) {
    const ssize_t put = ::pwrite(descriptor, from + at, size - at, offset + static_cast<long long>(at));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    at += static_cast<std::size_t>(put);
  }
  return true;
}

long long CopyInKernel(int from, long long offset, long long length, int to) {
  for (;;) {
    loff_t at = offset;
    const ssize_t moved = ::copy_file_range(from, &at, to, nullptr, static_cast<std::size_t>(length), 0);
    if (moved > 0) return moved;
    if (moved < 0 && errno == EINTR) continue;
    if (moved == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF) {
      return 0;
    }
    return -1;
  }
}

namespace {

bool ReadWholeAt(int descriptor, unsigned char* bytes, std::size_t size, long long offset) {
  for (std::size_t at = 0; at < size;) {
    const ssize_t got = ::pread(descriptor, bytes + at, size - at, offset + static_cast<long long>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) errno = EIO;
    if (got <= 0) return false;
    at += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

bool MoveWithin(int descriptor, long long from, long long to, long long length, std::size_t piece,
                const std::function<void(long long moved)>& progress) {
  if (from == to || length <= 0) return true;
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<long long>(length, static_cast<long long>(piece))));
  const bool forward = to < from;
  for (long long moved = 0; moved < length;) {
    const long long size = std::min<long long>(length - moved, static_cast<long long>(buffer.size()));
    // Forward, the piece at the front; backward, the piece at the back.
    const long long at = forward ? moved : length - moved - size;
    if (!ReadWholeAt(descriptor, buffer.data(), static_cast<std::size_t>(size), from + at) ||
        !WriteWholeAt(descriptor, buffer.data(), static_cast<std::size_t>(size), to + at)) {
      return false;
    }
    moved += size;
    if (progress) progress(moved);
  }
  return true;
}

}  // namespace file_writes
