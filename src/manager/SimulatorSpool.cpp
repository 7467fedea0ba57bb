#include "manager/SimulatorSpool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "results/FileWrites.h"

namespace {

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

std::string ReadBackError() { return "cannot read back the kept observations: " + Reason(); }

}  // namespace

std::size_t SimulatorSpool::BufferSizeFor(int inPlace) {
  const std::size_t share = kBufferBudget / static_cast<std::size_t>(std::max(1, inPlace));
  return std::max(kLeastBuffer, std::min(kMostBuffer, share));
}

bool SimulatorSpool::Create(const std::string& folder, std::string& error) {
  Close();
  // A spool is read back at the end: written through the cache, it is read
  // from memory then, and the in-kernel copy costs less than writing it
  // directly and reading it back from the disk (measured: 9.2-9.4 ns per
  // value against 8.1 at K = 64, and three times the wall time).
  appender_.DisableDirect();
  const char* tmpdir = std::getenv("TMPDIR");
  std::string tried;
  for (const std::string& where : {folder, std::string(tmpdir != nullptr ? tmpdir : ""), std::string("/tmp")}) {
    if (where.empty()) continue;
    const int file = UnnamedFileIn(where);
    if (file >= 0) {
      Begin(file, 0);
      return true;
    }
    tried += (tried.empty() ? "" : "; ") + where + ": " + Reason();
  }
  error = "cannot create a temporary file (" + tried + ")";
  return false;
}

void SimulatorSpool::WriteInPlace(int output, long long offset, long long room) {
  Close();
  Begin(output, offset);
  owned_ = false;
  room_ = room;
}

void SimulatorSpool::Begin(int descriptor, long long start) {
  descriptor_ = descriptor;
  start_ = start;
  appender_.Start(descriptor_, start_, bufferSize_);
}

bool SimulatorSpool::Append(const unsigned char* bytes, std::size_t size, std::string& error) {
  if (!appender_.Append(bytes, size)) return Failed(error);
  blockEnds_.push_back(Size());
  NoteWholeBlock();
  if (!owned_ && !appender_.IsDirect() && Written() - writtenBack_ >= kWritebackStep) StartWriteback();
  return true;
}

bool SimulatorSpool::Flush(std::string& error) {
  if (!appender_.Finish()) return Failed(error);
  NoteWholeBlock();
  return true;
}

// Moves wholeEnd_ past the blocks now wholly in the file.
void SimulatorSpool::NoteWholeBlock() {
  const long long written = Written();
  std::size_t done = 0;
  while (done < blockEnds_.size() && blockEnds_[done] <= written) wholeEnd_ = blockEnds_[done++];
  if (done > 0) blockEnds_.erase(blockEnds_.begin(), blockEnds_.begin() + static_cast<std::ptrdiff_t>(done));
}

// The file is cut back to the blocks wholly written, so that it only ever
// holds whole blocks, and the next Append goes on from there.
bool SimulatorSpool::Failed(std::string& error) {
  error = Reason();
  // A region's file goes on past it, with other spools' blocks.
  if (room_ == kWholeFile && ::ftruncate(descriptor_, start_ + wholeEnd_) != 0) {
    error += "; the file could not be cut back either";
  }
  base_ = wholeEnd_;
  writtenBack_ = std::min(writtenBack_, wholeEnd_);
  blockEnds_.clear();
  appender_.Start(descriptor_, start_ + base_, bufferSize_);
  return false;
}

// Asks the kernel to start writing what was written in place since the
// last call, without waiting for it: its own threads write it while the
// study goes on.
void SimulatorSpool::StartWriteback() {
  const long long written = Written();
  ::sync_file_range(descriptor_, start_ + writtenBack_, written - writtenBack_, SYNC_FILE_RANGE_WRITE);
  writtenBack_ = written;
}

long long SimulatorSpool::CopyInto(int output, const CopyProgress& progress, std::string& error) {
  if (!Flush(error)) {
    error = "cannot keep the last observations: " + error;
    return -1;
  }
  if (!owned_) return SeekPast(output, progress, error);
  const long long piece = std::max(kLeastCopyPiece, std::min(kMostCopyPiece, Size() / 16));
  long long copied = 0;
  while (copied < Size()) {
    const long long length = std::min(piece, Size() - copied);
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
  if (file_writes::WriteWhole(output, piece.data(), static_cast<std::size_t>(got))) return got;
  error = Reason();
  return -1;
}

long long SimulatorSpool::SeekPast(int output, const CopyProgress& progress, std::string& error) {
  const long long kept = Size();
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
  appender_.Drop();
  if (descriptor_ >= 0 && owned_) ::close(descriptor_);
  descriptor_ = -1;
  owned_ = true;
  start_ = 0;
  room_ = kWholeFile;
  base_ = 0;
  inKernel_ = true;
  punching_ = true;
  writtenBack_ = 0;
  wholeEnd_ = 0;
  std::vector<long long>().swap(blockEnds_);
}
