#include "manager/SimulatorSpool.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "results/FileWrites.h"

namespace {

// Blocks are gathered up to this size before they are written: a report of
// 1000 replications is a block of about 48 KB (written at once, with what
// the buffer holds), one of 100 about 5 KB (six to a write). The buffer is
// held while the simulator's connection is open (at K = 512, 16 MB in all)
// and freed when it closes.
constexpr std::size_t kBufferSize = 32 * 1024;

std::string Reason() { return std::strerror(errno); }

// An unnamed file in folder: O_TMPFILE where the file system has it, else a
// name removed as soon as the file is open.
int UnnamedFileIn(const std::string& folder) {
  const int file = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (file >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return file;
  std::string pattern = folder + "/.gpusim-spool-XXXXXX";
  const int named = ::mkostemp(&pattern[0], O_CLOEXEC);
  if (named >= 0) ::unlink(pattern.c_str());
  return named;
}

// Writes the pieces at offset, or at the file's position when offset is -1.
bool WriteAll(int descriptor, iovec* pieces, int count, long long offset, std::string& error) {
  while (count > 0) {
    const ssize_t put = offset < 0 ? ::writev(descriptor, pieces, count) : ::pwritev(descriptor, pieces, count, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = put < 0 ? Reason() : "nothing could be written";
      return false;
    }
    if (offset >= 0) offset += put;
    std::size_t left = static_cast<std::size_t>(put);
    while (count > 0 && left >= pieces->iov_len) {
      left -= pieces->iov_len;
      ++pieces;
      --count;
    }
    if (count > 0) {
      pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
      pieces->iov_len -= left;
    }
  }
  return true;
}

std::string ReadBackError() { return "cannot read back the kept observations: " + Reason(); }

}  // namespace

bool SimulatorSpool::Create(const std::string& folder, std::string& error) {
  Close();
  const char* tmpdir = std::getenv("TMPDIR");
  std::string tried;
  for (const std::string& where : {folder, std::string(tmpdir != nullptr ? tmpdir : ""), std::string("/tmp")}) {
    if (where.empty()) continue;
    descriptor_ = UnnamedFileIn(where);
    if (descriptor_ >= 0) return true;
    tried += (tried.empty() ? "" : "; ") + where + ": " + Reason();
  }
  error = "cannot create a temporary file (" + tried + ")";
  return false;
}

void SimulatorSpool::WriteInPlace(int output, long long offset) {
  Close();
  descriptor_ = output;
  owned_ = false;
  start_ = offset;
}

bool SimulatorSpool::Append(const unsigned char* bytes, std::size_t size, std::string& error) {
  if (buffer_.size() + size > kBufferSize) return WriteOut(bytes, size, error);
  if (buffer_.capacity() < kBufferSize) buffer_.reserve(kBufferSize);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  size_ += static_cast<long long>(size);
  return true;
}

bool SimulatorSpool::Flush(std::string& error) {
  const bool ok = buffer_.empty() || WriteOut(nullptr, 0, error);
  std::vector<unsigned char>().swap(buffer_);
  return ok;
}

// Writes the buffer and then more (which does not fit beside it) in one
// call, straight from where they are. On a failure the file is cut back to
// what it held, so that it only ever holds whole blocks.
bool SimulatorSpool::WriteOut(const unsigned char* more, std::size_t size, std::string& error) {
  const long long held = size_ - static_cast<long long>(buffer_.size());
  iovec pieces[2] = {{buffer_.data(), buffer_.size()}, {const_cast<unsigned char*>(more), size}};
  const bool ok = WriteAll(descriptor_, pieces, 2, start_ + held, error);
  if (ok) {
    size_ += static_cast<long long>(size);
    if (!owned_ && size_ - writtenBack_ >= kWritebackStep) StartWriteback();
  } else {
    size_ = held;
    if (::ftruncate(descriptor_, start_ + held) != 0) error += "; the file could not be cut back either";
  }
  buffer_.clear();
  return ok;
}

// Asks the kernel to start writing what was written in place since the
// last call, without waiting for it: its own threads write it while the
// study goes on.
void SimulatorSpool::StartWriteback() {
  ::sync_file_range(descriptor_, start_ + writtenBack_, size_ - writtenBack_, SYNC_FILE_RANGE_WRITE);
  writtenBack_ = size_;
}

long long SimulatorSpool::CopyInto(int output, const CopyProgress& progress, std::string& error) {
  if (!Flush(error)) {
    error = "cannot keep the last observations: " + error;
    return -1;
  }
  if (!owned_) return SeekPast(output, progress, error);
  const long long piece = std::max(kLeastCopyPiece, std::min(kMostCopyPiece, size_ / 16));
  long long copied = 0;
  while (copied < size_) {
    const long long length = std::min(piece, size_ - copied);
    long long moved = inKernel_ ? CopyPieceInKernel(output, copied, length, error) : 0;
    if (moved == 0 && !inKernel_) moved = CopyPieceThroughMemory(output, copied, length, error);
    if (moved < 0) return -1;
    copied += moved;
    // The merged file's writeback starts with each piece: its fsync, once
    // every spool is copied, then waits for little.
    ::sync_file_range(output, 0, 0, SYNC_FILE_RANGE_WRITE);
    Release(copied);
    if (progress) progress(copied);
  }
  Close();
  return copied;
}

// Inside the kernel where it can (one file system, a regular file); 0 once
// the kernel declines (a device, another file system on an older kernel),
// from then on for every piece.
long long SimulatorSpool::CopyPieceInKernel(int output, long long from, long long length, std::string& error) {
  const long long moved = file_writes::CopyInKernel(descriptor_, from, length, output);
  if (moved == 0) inKernel_ = false;
  if (moved < 0) error = Reason();
  return moved;
}

long long SimulatorSpool::CopyPieceThroughMemory(int output, long long from, long long length, std::string& error) {
  std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<long long>(length, 1 << 20)));
  const ssize_t got = ::pread(descriptor_, piece.data(), piece.size(), from);
  if (got < 0 && errno == EINTR) return CopyPieceThroughMemory(output, from, length, error);
  if (got <= 0) {
    error = got < 0 ? ReadBackError() : "cannot read back the kept observations: the file is shorter than written";
    return -1;
  }
  iovec all{piece.data(), static_cast<std::size_t>(got)};
  return WriteAll(output, &all, 1, -1, error) ? got : -1;
}

long long SimulatorSpool::SeekPast(int output, const CopyProgress& progress, std::string& error) {
  const long long kept = size_;
  if (::lseek(output, start_ + kept, SEEK_SET) < 0) {
    error = Reason();
    return -1;
  }
  if (progress && kept > 0) progress(kept);
  Close();
  return kept;
}

// The copied part is not read again: its space goes back to the file system
// now rather than when the spool closes.
void SimulatorSpool::Release(long long upTo) {
  if (!punching_) return;
  if (::fallocate(descriptor_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, upTo) != 0) punching_ = false;
}

void SimulatorSpool::Close() {
  if (descriptor_ >= 0 && owned_) ::close(descriptor_);
  descriptor_ = -1;
  owned_ = true;
  start_ = 0;
  inKernel_ = true;
  punching_ = true;
  size_ = 0;
  writtenBack_ = 0;
  std::vector<unsigned char>().swap(buffer_);
}
