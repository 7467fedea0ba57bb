#include "manager/ResultsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char kBinaryMagic[] = "QUELIX_SIM_BIN_FILE,";

std::string Reason() { return std::strerror(errno); }

// Whether the regular file at path may be replaced without being asked:
// empty, or a binary results file. Opened without following a link and
// without waiting, in case the name changed since it was looked at.
bool IsReplaceable(const std::string& path, std::string& why) {
  const int file = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) {
    why = Reason();
    return false;
  }
  char start[sizeof kBinaryMagic - 1];
  struct stat status {};
  const bool regular = ::fstat(file, &status) == 0 && S_ISREG(status.st_mode);
  const bool replaceable = regular && (status.st_size == 0 ||
                                       (::pread(file, start, sizeof start, 0) == static_cast<ssize_t>(sizeof start) &&
                                        std::memcmp(start, kBinaryMagic, sizeof start) == 0));
  ::close(file);
  why = "it exists and is not a binary results file of this project (--force replaces it)";
  return replaceable;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The permissions a newly created file gets: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ResultsFile::~ResultsFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ResultsFile::Open(const std::string& path, bool force, std::string& error) {
  path_ = path;
  if (path.empty() || path.back() == '/') {
    error = "it names a folder, not a file";
    return false;
  }
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) != 0) {
    if (errno != ENOENT) {
      error = Reason();
      return false;
    }
    return OpenTemporary(path, error);
  }
  if (S_ISCHR(existing.st_mode)) return OpenDevice(path, error);
  if (S_ISDIR(existing.st_mode)) {
    error = "it is a directory";
    return false;
  }
  if (S_ISLNK(existing.st_mode)) {
    if (!force) {
      error = "it is a symbolic link (--force replaces the link, never what it points to)";
      return false;
    }
    return OpenTemporary(path, error);
  }
  if (!S_ISREG(existing.st_mode)) {
    error = S_ISFIFO(existing.st_mode) ? "it is a FIFO, not a regular file" : "it is not a regular file";
    return false;
  }
  if (!force && !IsReplaceable(path, error)) return false;
  if (::access(path.c_str(), W_OK) != 0 && !force) {
    error = Reason();
    return false;
  }
  return OpenTemporary(path, error);
}

bool ResultsFile::OpenDevice(const std::string& path, std::string& error) {
  descriptor_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor_ < 0) {
    error = Reason();
    return false;
  }
  ::fcntl(descriptor_, F_SETFL, ::fcntl(descriptor_, F_GETFL) & ~O_NONBLOCK);
  return true;
}

bool ResultsFile::OpenTemporary(const std::string& path, std::string& error) {
  std::string pattern = FolderOf(path) + "/." + BaseOf(path) + ".partial-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  descriptor_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (descriptor_ < 0) {
    error = "cannot create a file in " + FolderOf(path) + ": " + Reason();
    return false;
  }
  temporary_ = name.data();
  return true;
}

bool ResultsFile::Commit(std::string& error) {
  bool ok = descriptor_ >= 0;
  if (ok && !temporary_.empty()) ok = ::fchmod(descriptor_, NewFileMode()) == 0 && ::fsync(descriptor_) == 0;
  if (!ok) error = Reason();
  if (descriptor_ >= 0 && ::close(descriptor_) != 0 && ok) {
    ok = false;
    error = Reason();
  }
  descriptor_ = -1;
  if (ok && !temporary_.empty()) {
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
      ok = false;
      error = Reason();
    } else {
      temporary_.clear();
    }
  }
  return ok;
}
