#include "results/FileWrites.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace file_writes
