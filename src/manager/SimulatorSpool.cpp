#include "manager/SimulatorSpool.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Copies from the start of spool to the end of output with copy_file_range
// until the spool is exhausted or the kernel declines (a device, another
// file system on an older kernel), and says how many bytes it copied; -1
// with error set on a failure of the output itself.
long long CopyInKernel(int spool, int output, std::string& error) {
  long long copied = 0;
  loff_t from = 0;
  for (;;) {
    const ssize_t moved = ::copy_file_range(spool, &from, output, nullptr, 1 << 30, 0);
    if (moved < 0 && errno == EINTR) continue;
    if (moved > 0) {
      copied += moved;
      continue;
    }
    if (moved == 0) return copied;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF) {
      return copied;
    }
    error = std::strerror(errno);
    return -1;
  }
}

std::string ReadBackError() { return std::string("cannot read back the kept observations: ") + std::strerror(errno); }

}  // namespace

bool SimulatorSpool::Create(std::string& error) {
  file_ = std::tmpfile();
  if (file_ == nullptr) error = std::strerror(errno);
  return file_ != nullptr;
}

bool SimulatorSpool::Append(const unsigned char* bytes, std::size_t size, std::string& error) {
  if (std::fwrite(bytes, 1, size, file_) == size) return true;
  error = std::strerror(errno);
  return false;
}

long long SimulatorSpool::CopyInto(int output, std::string& error) {
  if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
    error = ReadBackError();
    return -1;
  }
  // Inside the kernel where it can (same kind of file system, a regular
  // file): the blocks then never pass through this process again.
  const long long copied = CopyInKernel(::fileno(file_), output, error);
  if (copied < 0) return -1;
  long long written = copied;
  if (std::fseek(file_, copied, SEEK_SET) != 0) {
    error = ReadBackError();
    return -1;
  }
  std::vector<char> buffer(1 << 20);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file_)) > 0) {
    for (std::size_t at = 0; at < got;) {
      const ssize_t put = ::write(output, buffer.data() + at, got - at);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        error = std::strerror(errno);
        return -1;
      }
      at += static_cast<std::size_t>(put);
      written += put;
    }
  }
  if (std::ferror(file_)) {
    error = ReadBackError();
    return -1;
  }
  return written;
}

void SimulatorSpool::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}
