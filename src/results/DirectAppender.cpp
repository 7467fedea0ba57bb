#include "results/DirectAppender.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "results/FileWrites.h"

void DirectAppender::Start(int file, long long offset, std::size_t bufferSize) {
  Drop();
  file_ = file;
  start_ = offset;
  written_ = 0;
  capacity_ = std::max(kPage, (bufferSize + kPage - 1) / kPage * kPage);
}

bool DirectAppender::Append(const void* bytes, std::size_t size) {
  const unsigned char* from = static_cast<const unsigned char*>(bytes);
  if (held_ == 0 && !WriteHead(from, size)) return false;
  while (size > 0) {
    if (buffer_ == nullptr && !Reserve()) return false;
    const std::size_t piece = Piece();
    const std::size_t take = std::min(size, piece - held_);
    std::memcpy(buffer_ + held_, from, take);
    held_ += take;
    from += take;
    size -= take;
    if (held_ == piece && !WriteHeld(held_)) return false;
  }
  return true;
}

// Direct writes start on a page boundary: the bytes before it go through
// the cache, straight from the caller.
bool DirectAppender::WriteHead(const unsigned char*& bytes, std::size_t& size) {
  const std::size_t intoPage = static_cast<std::size_t>(Next() % static_cast<long long>(kPage));
  if (!direct_ || intoPage == 0 || size == 0) return true;
  const std::size_t head = std::min(size, kPage - intoPage);
  if (!WriteOrdinary(bytes, head)) return false;
  bytes += head;
  size -= head;
  return true;
}

// Through the cache, large pieces cost more than small ones (the kernel
// throttles a writer of much dirty data in larger steps): 1 MB pieces cost
// the manager several times what 32 KB ones do.
std::size_t DirectAppender::Piece() const { return direct_ ? capacity_ : std::min(capacity_, kCachedPiece); }

bool DirectAppender::Reserve() {
  void* memory = nullptr;
  if (::posix_memalign(&memory, kPage, Piece()) != 0) {
    errno = ENOMEM;
    return false;
  }
  buffer_ = static_cast<unsigned char*>(memory);
  return true;
}

bool DirectAppender::Finish() {
  const std::size_t pages = direct_ ? held_ / kPage * kPage : held_;
  bool ok = pages == 0 || WriteHeld(pages);
  const std::size_t tail = held_;
  if (ok && tail > 0) ok = WriteOrdinary(buffer_, tail);
  Drop();
  return ok;
}

void DirectAppender::Drop() {
  CloseDirect();
  std::free(buffer_);
  buffer_ = nullptr;
  held_ = 0;
}

// Writes the first length bytes held and moves what follows them (a part
// page, at Finish) to the front. What a failure leaves held is dropped.
bool DirectAppender::WriteHeld(std::size_t length) {
  std::size_t put = 0;
  bool ok = !direct_ || WriteDirect(length, put);
  if (ok && put < length) ok = WriteOrdinary(buffer_ + put, length - put);
  if (!ok) {
    held_ = 0;
    return false;
  }
  held_ -= length;
  if (held_ > 0) std::memmove(buffer_, buffer_ + length, held_);
  return true;
}

// Writes what it can directly, counting it in put. A file system that
// refuses a direct write (EINVAL: no O_DIRECT, or another alignment) turns the
// appender to ordinary writes for good; put then stops short and the
// caller writes the rest through the cache, as after a short write.
bool DirectAppender::WriteDirect(std::size_t length, std::size_t& put) {
  if (directFile_ < 0) {
    const std::string self = "/proc/self/fd/" + std::to_string(file_);
    directFile_ = ::open(self.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
    if (directFile_ < 0) {
      direct_ = false;
      return true;
    }
  }
  while (put < length) {
    const ssize_t wrote = ::pwrite(directFile_, buffer_ + put, length - put, Next());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0 && errno == EINVAL) {
      direct_ = false;
      CloseDirect();
      return true;
    }
    if (wrote < 0) return false;
    if (wrote == 0) {
      errno = ENOSPC;
      return false;
    }
    put += static_cast<std::size_t>(wrote);
    written_ += wrote;
    // A short direct write may end off a page boundary: the rest goes
    // through the cache, where that is allowed.
    if (put < length && put % kPage != 0) return true;
  }
  return true;
}

bool DirectAppender::WriteOrdinary(const unsigned char* bytes, std::size_t length) {
  if (!file_writes::WriteWholeAt(file_, bytes, length, Next())) {
    if (errno == 0) errno = ENOSPC;
    return false;
  }
  written_ += static_cast<long long>(length);
  return true;
}

void DirectAppender::CloseDirect() {
  if (directFile_ >= 0) ::close(directFile_);
  directFile_ = -1;
}
