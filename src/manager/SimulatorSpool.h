// SimulatorSpool keeps one simulator's blocks, in arrival order, in an
// unnamed file until the study ends, when they are copied to the end of the
// merged results file, after the blocks of the simulators before it. Memory
// stays constant however long the study runs.
//
// The file is made in the results file's own folder (O_TMPFILE, or a name
// removed at once), so that the final copy stays on one file system and the
// kernel copies it without the data passing through this process again
// (copy_file_range; a file system that shares extents may share whole
// blocks instead of copying them). Blocks are gathered in a small buffer and
// written through the page cache in 32 KB pieces, where the copy finds them.
// As each piece is copied its space in the spool is released (a punched
// hole), so the spools and the merged file never hold the data twice: the
// disk holds at most the result and one piece more (a sixteenth of a
// spool, 1 MB at least and 16 MB at most).
//
// The first simulator's spool may instead be the merged file itself
// (WriteInPlace): its blocks are then written once, at their final place
// after the header, and its copy is only a seek to their end. A results
// folder's files are written in place the same way, one per simulator; so
// is every simulator's region of the merged file when the study can
// foretell them (MergedRegions.h).
// What is written in place is never read again: its whole pages go straight
// to the disk (DirectAppender: O_DIRECT, gathered in a page-aligned buffer),
// which costs the manager a fraction of a write through the page cache; the
// part pages at either end, the first page (where the header goes) among
// them, go through the cache. Where the file system refuses O_DIRECT, what
// is written in place through the cache is handed to the kernel's writeback
// every kWritebackStep bytes, so that the final fsync finds little left.
//
// The buffer is held only while blocks may come: Flush writes what it holds
// and frees it (the study calls it when the connection closes). In place its
// size is set per study (BufferSizeFor): direct writes cost the less the
// larger the piece, up to about 1 MB, but a study of many simulators holds
// one buffer per open connection.
//
// Ownership: the spool owns its file and buffer; the file has no name, so
// closing it (Close, CopyInto, the destructor) is all it takes to remove
// it. A spool written in place does not own the merged file. Not copyable.
//
// Thread rules: one spool per simulator, with no state shared between
// spools; each is used by one thread at a time.
#ifndef MANAGER_SIMULATOR_SPOOL_H
#define MANAGER_SIMULATOR_SPOOL_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "results/DirectAppender.h"

class SimulatorSpool {
 public:
  // Called during CopyInto with the bytes copied so far by that call.
  using CopyProgress = std::function<void(long long copied)>;

  // How much CopyInto copies before it releases the copied part and calls
  // its progress: a sixteenth of the spool, within these bounds, so that
  // the disk holds at most that much more than the result.
  static constexpr long long kLeastCopyPiece = 1ll << 20;
  static constexpr long long kMostCopyPiece = 16ll << 20;

  // The buffers of all spools written in place together stay within
  // kBufferBudget, each between kLeastBuffer and kMostBuffer (the least
  // wins over the budget: at K = 512, 128 MB while every connection is open).
  // Measured with direct writes on an ext4 disk: 64-128 KB pieces cost the
  // kernel 3.4-5.2 ns per 8-byte value, 256 KB 1.3-1.8, 1 MB 0.75-1.2.
  static constexpr std::size_t kLeastBuffer = 256 * 1024;
  static constexpr std::size_t kMostBuffer = 1024 * 1024;
  static constexpr std::size_t kBufferBudget = 64 * 1024 * 1024;
  static std::size_t BufferSizeFor(int inPlace);

  SimulatorSpool() = default;
  ~SimulatorSpool() { Close(); }
  SimulatorSpool(const SimulatorSpool&) = delete;
  SimulatorSpool& operator=(const SimulatorSpool&) = delete;

  // Creates the file in folder, or, when it cannot be made there (or folder
  // is empty), in $TMPDIR or /tmp. False with error naming the reason.
  bool Create(const std::string& folder, std::string& error);
  // The size of the buffer of direct writes taken by the next Append
  // (kLeastBuffer until set); through the cache it is kCachedPiece.
  void SetBufferSize(std::size_t bytes) { bufferSize_ = bytes; }
  // Writes through the page cache only (for tests).
  void DisableDirect() { appender_.DisableDirect(); }
  // Makes output (a regular file) the spool: the blocks go to it from
  // offset on, and CopyInto leaves them there. Given a room, the spool is a
  // region of a file other spools write too (MergedRegions.h): it holds at
  // most room bytes (Fits says whether a block still does), and a failed
  // write leaves the file's length alone.
  static constexpr long long kWholeFile = -1;
  void WriteInPlace(int output, long long offset, long long room = kWholeFile);
  // Whether size bytes more fit the spool's room.
  bool Fits(std::size_t size) const { return room_ == kWholeFile || Size() + static_cast<long long>(size) <= room_; }
  // Where the first byte went in the file (0 in a spool's own file).
  long long Start() const { return start_; }
  // Writes what the buffer holds and frees it (a later Append takes a new
  // one). False with error set when it could not be written; the spool
  // then holds only what was written before.
  bool Flush(std::string& error);
  // The writeback of what was written in place starts every so many bytes.
  static constexpr long long kWritebackStep = 8ll << 20;
  bool IsOpen() const { return descriptor_ >= 0; }
  // Adds size bytes after those already kept. False with error set when
  // they could not be written (a full disk); the spool then holds what it
  // held before the call, or less (what was gathered with them): the file is
  // cut back to the last whole block it holds (a region: the next Append
  // writes over what followed it).
  // REQUIRES: IsOpen(); Fits(size).
  bool Append(const unsigned char* bytes, std::size_t size, std::string& error);
  // The bytes kept so far.
  long long Size() const { return base_ + appender_.Size(); }
  // Copies every byte kept, in order, to the end of output (a descriptor
  // open for writing), then closes the spool; returns how many, or -1 with
  // error set. progress, if given, is called after every piece. Written in
  // place, the bytes are already in output, which is moved past them.
  // REQUIRES: IsOpen(); in place, output holds nothing past them.
  long long CopyInto(int output, const CopyProgress& progress, std::string& error);
  void Close();

 private:
  long long Written() const { return base_ + appender_.Written(); }
  void Begin(int descriptor, long long start);
  bool Failed(std::string& error);
  void NoteWholeBlock();
  void StartWriteback();
  long long CopyPieceInKernel(int output, long long from, long long length, std::string& error);
  long long CopyPieceThroughMemory(int output, long long from, long long length, std::string& error);
  void Release(long long upTo);
  long long SeekPast(int output, const CopyProgress& progress, std::string& error);

  int descriptor_ = -1;
  bool owned_ = true;     // false when written in place
  long long start_ = 0;   // where the first byte goes in the file
  long long room_ = kWholeFile;
  long long base_ = 0;    // bytes kept before the appender's stream began
  long long writtenBack_ = 0;  // in place, through the cache: bytes handed to the writeback
  DirectAppender appender_;
  std::size_t bufferSize_ = kLeastBuffer;
  // Ends of the blocks appended whose bytes may not all be in the file yet,
  // in order; wholeEnd_ is the last known to be.
  std::vector<long long> blockEnds_;
  long long wholeEnd_ = 0;
  bool inKernel_ = true;               // until the kernel declines to copy
  bool punching_ = true;               // until the file system declines to punch
};

#endif
