// DirectAppender writes a stream of bytes to a file from any offset on,
// with the whole pages of it going straight to the disk (O_DIRECT) rather
// than through the page cache: the kernel then neither copies nor zeroes
// them nor keeps buffer heads for them, which is most of what a buffered
// write of a new file costs (about 6 ns per 8-byte value here, against 1
// directly in 1 MB pieces).
//
// The bytes up to the first page boundary are written with an ordinary
// write, whole pages are gathered in a page-aligned buffer and written
// through a second open file description of the same file (opened with
// O_DIRECT through /proc/self/fd), and the last part page, when the stream
// is finished, with an ordinary write again. Within a stream a page is
// therefore written either directly or through the cache, never both (a new
// stream after a failure may write a page through the cache that was
// written directly before: the direct write has completed by then, and the
// kernel reads the page back); and the page holding the start offset is never
// written directly, so a header written there later (through the cache)
// cannot be overwritten by a direct write still to come.
//
// Where O_DIRECT cannot be had (a file system without it, such as tmpfs
// before Linux 6.6, one that refuses the alignment, no descriptor left) the
// appender falls back, for good, to ordinary writes in kCachedPiece pieces.
//
// Failures return false with errno set by the failed call; what was held is
// then dropped. The file then holds the first Written() bytes of the stream,
// and perhaps a part of what followed (a short write before the failure).
// No exception escapes.
//
// Ownership: the appender owns its buffer and its direct descriptor, both
// held only between the first Append and Finish (or Drop); it does not own
// the file it writes to. Not copyable. Not thread-safe: one thread at a time.
#ifndef RESULTS_DIRECT_APPENDER_H
#define RESULTS_DIRECT_APPENDER_H

#include <cstddef>

class DirectAppender {
 public:
  // The unit of a direct write's offset, length and memory.
  static constexpr std::size_t kPage = 4096;
  // The piece written at once through the cache, when O_DIRECT cannot be had.
  static constexpr std::size_t kCachedPiece = 32 * 1024;

  DirectAppender() = default;
  ~DirectAppender() { Drop(); }
  DirectAppender(const DirectAppender&) = delete;
  DirectAppender& operator=(const DirectAppender&) = delete;

  // Starts a stream at offset of file (open for writing, not owned), written
  // in pieces of bufferSize bytes (rounded up to whole pages). Drops what a
  // stream before it still held.
  void Start(int file, long long offset, std::size_t bufferSize);
  // Writes through the cache only, as if O_DIRECT could not be had (for
  // tests, and for what is read back at once).
  // REQUIRES: nothing held.
  void DisableDirect() { direct_ = false; }

  // Adds size bytes to the stream; a full buffer is written at once.
  bool Append(const void* bytes, std::size_t size);
  // Writes everything held, closes the direct descriptor and frees the
  // buffer. Append may follow: the stream goes on from where it ends.
  bool Finish();
  // Forgets what is held, without writing it, and frees the buffer.
  void Drop();

  // Bytes of the stream in the file so far.
  long long Written() const { return written_; }
  // Bytes appended so far, written or held.
  long long Size() const { return written_ + static_cast<long long>(held_); }
  // Whether whole pages still go straight to the disk.
  bool IsDirect() const { return direct_; }

 private:
  long long Next() const { return start_ + written_; }
  std::size_t Piece() const;
  bool Reserve();
  bool WriteHead(const unsigned char*& bytes, std::size_t& size);
  bool WriteHeld(std::size_t length);
  bool WriteDirect(std::size_t length, std::size_t& put);
  bool WriteOrdinary(const unsigned char* bytes, std::size_t length);
  void CloseDirect();

  int file_ = -1;
  int directFile_ = -1;  // opened on the first direct write of a stream
  long long start_ = 0;
  long long written_ = 0;
  bool direct_ = true;
  unsigned char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t held_ = 0;
};

#endif
