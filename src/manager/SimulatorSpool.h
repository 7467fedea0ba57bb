// SimulatorSpool keeps one simulator's blocks, in arrival order, in an
// unnamed temporary file until the study ends, when they are copied to the
// end of the merged results file, after the blocks of the simulators before
// it. Memory stays constant however long the study runs.
//
// Ownership: the spool owns its file and removes it (closing it is enough:
// it never has a name) when closed or destroyed. Not copyable.
//
// Thread rules: one spool per simulator, with no state shared between
// spools; each is used by one thread at a time.
#ifndef MANAGER_SIMULATOR_SPOOL_H
#define MANAGER_SIMULATOR_SPOOL_H

#include <cstddef>
#include <cstdio>
#include <string>

class SimulatorSpool {
 public:
  SimulatorSpool() = default;
  ~SimulatorSpool() { Close(); }
  SimulatorSpool(const SimulatorSpool&) = delete;
  SimulatorSpool& operator=(const SimulatorSpool&) = delete;

  // Creates the file. False with error naming the reason.
  bool Create(std::string& error);
  bool IsOpen() const { return file_ != nullptr; }
  // Adds size bytes after those already kept. False with error set when
  // they could not be written (a full disk).
  // REQUIRES: IsOpen().
  bool Append(const unsigned char* bytes, std::size_t size, std::string& error);
  // Copies every byte kept, in order, to the end of output (a descriptor
  // open for writing); returns how many, or -1 with error set.
  // REQUIRES: IsOpen().
  long long CopyInto(int output, std::string& error);
  void Close();

 private:
  std::FILE* file_ = nullptr;
};

#endif
