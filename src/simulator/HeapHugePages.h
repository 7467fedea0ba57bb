// HeapHugePages backs a large model's heap with huge pages once the model is
// built. A model of thousands of activities and places is tens of megabytes
// of small objects, each firing touching a few of them at random: with 4 KB
// pages most of those touches also miss the processor's address cache. The
// simulator marks the program break when it starts; after the model is built,
// Advise asks the kernel to back whatever the heap gained, in whole 2 MB
// pages, with huge pages at once.
//
// A hint only: nothing the simulation computes changes, and a kernel that
// declines (no transparent huge pages, not enough free memory) is not an
// error. A heap that grew by less than kMinimumBytes is left alone, so small
// models, the built-in one among them, pay nothing. Linux only; elsewhere
// Advise does nothing.
//
// Not thread-safe: called by the main thread before the run starts.
#ifndef HEAP_HUGE_PAGES_H
#define HEAP_HUGE_PAGES_H

#include <cstddef>

class HeapHugePages {
 public:
  // Below this growth the address cache holds the heap's pages anyway.
  static constexpr std::size_t kMinimumBytes = std::size_t(16) << 20;

  // Marks the heap's current end.
  HeapHugePages();
  // Advises the whole huge pages between the mark and the heap's end now;
  // returns the bytes advised (0 when the heap grew by less than
  // kMinimumBytes), whatever the kernel made of the advice.
  std::size_t Advise() const;

 private:
  const char* Start;
};

#endif
