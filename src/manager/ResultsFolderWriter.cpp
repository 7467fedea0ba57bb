#include "manager/ResultsFolderWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "results/FileWrites.h"

namespace {

std::string Reason() { return std::strerror(errno); }

// The names in folder, without "." and "..".
bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return false;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(listing);
  return true;
}

}  // namespace

ResultsFolderWriter::~ResultsFolderWriter() {
  for (const int descriptor : descriptors_) {
    if (descriptor >= 0) ::close(descriptor);
  }
  if (!committed_) Abandon();
}

bool ResultsFolderWriter::Open(const std::string& folder, int simulators, bool force, std::string& error) {
  folder_ = folder;
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
  if (!Prepare(force, error)) return false;
  for (int k = 0; k < simulators; ++k) {
    const std::string path = folder_ + "/" + results_folder::SimulatorFileName(k);
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
      error = "cannot create " + path + ": " + Reason();
      return false;
    }
    descriptors_.push_back(descriptor);
  }
  return true;
}

bool ResultsFolderWriter::Prepare(bool force, std::string& error) {
  struct stat existing {};
  if (::lstat(folder_.c_str(), &existing) != 0) {
    if (errno != ENOENT || ::mkdir(folder_.c_str(), 0777) != 0) {
      error = Reason();
      return false;
    }
    madeFolder_ = true;
    return true;
  }
  if (!S_ISDIR(existing.st_mode)) {
    error = S_ISLNK(existing.st_mode) ? "it is a symbolic link, not a folder" : "it exists and is not a folder";
    return false;
  }
  if (::access(folder_.c_str(), W_OK | X_OK) != 0) {
    error = Reason();
    return false;
  }
  std::vector<std::string> names;
  if (!ListFolder(folder_, names)) {
    error = Reason();
    return false;
  }
  if (names.empty()) return true;
  if (!force) {
    error = "the folder is not empty (--force replaces the results of an earlier study in it)";
    return false;
  }
  return ClearEarlierResults(error);
}

// The index goes first: a folder left between the two removals is then
// unfinished, never a study with files missing.
bool ResultsFolderWriter::ClearEarlierResults(std::string& error) {
  std::vector<std::string> names;
  ListFolder(folder_, names);
  for (const std::string& name : names) {
    struct stat status {};
    const std::string path = folder_ + "/" + name;
    if (!results_folder::IsFolderEntry(name) || ::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
      error = "it holds " + name + ", which is not a results folder's: --force only replaces a results folder";
      return false;
    }
  }
  const std::string index = folder_ + "/" + results_folder::kIndexName;
  if (::unlink(index.c_str()) != 0 && errno != ENOENT) {
    error = "cannot remove " + index + ": " + Reason();
    return false;
  }
  for (const std::string& name : names) {
    if (::unlink((folder_ + "/" + name).c_str()) != 0 && errno != ENOENT) {
      error = "cannot remove " + folder_ + "/" + name + ": " + Reason();
      return false;
    }
  }
  return true;
}

// The files are made durable on several threads at once: the file system
// then commits them together, where one after the other each would wait
// for a commit of its own.
bool ResultsFolderWriter::SyncFiles(std::string& error) const {
  const std::size_t count = descriptors_.size();
  const std::size_t threads = std::min<std::size_t>(count, kSyncThreads);
  std::vector<int> failed(count, 0);
  std::vector<std::thread> syncing;
  for (std::size_t t = 0; t < threads; ++t) {
    syncing.emplace_back([this, &failed, t, threads, count] {
      for (std::size_t k = t; k < count; k += threads) failed[k] = ::fsync(descriptors_[k]) != 0 ? errno : 0;
    });
  }
  for (std::thread& thread : syncing) thread.join();
  for (std::size_t k = 0; k < count; ++k) {
    if (failed[k] == 0) continue;
    error = "cannot write " + folder_ + "/" + results_folder::SimulatorFileName(static_cast<int>(k)) + ": " +
            std::strerror(failed[k]);
    return false;
  }
  return true;
}

bool ResultsFolderWriter::Commit(const std::vector<BinFileHeader>& headers, const ResultsFolderIndex& index,
                                 const ResultsMetadata& metadata, std::string& error) {
  for (std::size_t k = 0; k < descriptors_.size() && k < headers.size(); ++k) {
    const std::string header = headers[k].Build(1);
    if (!file_writes::WriteWholeAt(descriptors_[k], header.data(), header.size(), 0)) {
      error = "cannot write " + folder_ + "/" + results_folder::SimulatorFileName(static_cast<int>(k)) + ": " + Reason();
      return false;
    }
  }
  if (!SyncFiles(error)) return false;
  if (!metadata.fields.empty()) {
    const std::string path = folder_ + "/" + results_folder::kMetadataName;
    if (!metadata.WriteFile(path, &error)) return false;
  }
  if (!results_folder::WriteIndex(folder_, index, &error)) return false;
  committed_ = true;
  return true;
}

void ResultsFolderWriter::Abandon() {
  if (folder_.empty()) return;
  for (std::size_t k = 0; k < descriptors_.size(); ++k) {
    ::unlink((folder_ + "/" + results_folder::SimulatorFileName(static_cast<int>(k))).c_str());
  }
  ::unlink((folder_ + "/" + results_folder::kMetadataName).c_str());
  if (madeFolder_) ::rmdir(folder_.c_str());
}
