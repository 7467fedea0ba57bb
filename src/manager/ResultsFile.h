// ResultsFile is the manager's --binary file, checked and opened before any
// simulator starts, so that a path that cannot take the results is refused
// at once (status 2) rather than after the study, and written so that a
// failure never leaves a half-written file under the user's name.
//
// What a path may name, as command 3 of the simulator allows:
//   - nothing yet, in an existing folder the manager may write;
//   - an empty regular file, or a binary results file of this project;
//   - a character device (/dev/null), written in place.
// A symbolic link and an existing regular file of any other kind are
// refused unless replacing them was asked for (force); a directory, a FIFO,
// a socket and a block device are always refused, without being opened
// (opening a FIFO would wait for a reader).
//
// A regular file is written under a temporary name in the same folder,
// ".<name>.partial-XXXXXX", and renamed over the path only once complete:
// the path keeps its old content (or stays absent) until then, and a link is
// replaced, never followed. The temporary file is removed when the results
// are not committed.
//
// Ownership: the object owns its descriptor and its temporary file. Not
// copyable; not thread-safe.
#ifndef MANAGER_RESULTS_FILE_H
#define MANAGER_RESULTS_FILE_H

#include <string>

class ResultsFile {
 public:
  ResultsFile() = default;
  ~ResultsFile();
  ResultsFile(const ResultsFile&) = delete;
  ResultsFile& operator=(const ResultsFile&) = delete;

  // Checks path and opens where the results will go. False with error
  // naming the reason when the path cannot take them.
  bool Open(const std::string& path, bool force, std::string& error);
  // Where to write the results, from the start; -1 before Open succeeded.
  int Descriptor() const { return descriptor_; }
  // Whether it is a regular file (written under a temporary name), which
  // may be written anywhere; a device is written in order.
  bool IsRegularFile() const { return descriptor_ >= 0 && !temporary_.empty(); }
  // Closes the file and, for a regular file, renames it into place. False
  // with error set when the results could not be made durable.
  bool Commit(std::string& error);

 private:
  bool OpenDevice(const std::string& path, std::string& error);
  bool OpenTemporary(const std::string& path, std::string& error);

  std::string path_;
  std::string temporary_;  // empty when written in place
  int descriptor_ = -1;
};

#endif
