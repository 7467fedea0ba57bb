#include "report/ResultsFolderMerge.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "manager/ResultsFile.h"
#include "results/FileWrites.h"
#include "results/ResultsFolder.h"
#include "results/ResultsMetadata.h"

namespace {

// Copies length bytes of from, from offset on, to the end of to.
bool CopyRange(int from, long long offset, long long length, int to) {
  bool inKernel = true;
  std::vector<char> piece;
  while (length > 0) {
    const long long moved = inKernel ? file_writes::CopyInKernel(from, offset, length, to) : 0;
    if (moved > 0) {
      offset += moved;
      length -= moved;
      continue;
    }
    if (moved < 0) return false;
    inKernel = false;
    piece.resize(1 << 20);
    const ssize_t got = ::pread(from, piece.data(), std::min<long long>(length, piece.size()), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || !file_writes::WriteWhole(to, piece.data(), static_cast<std::size_t>(got))) return false;
    offset += got;
    length -= got;
  }
  return true;
}

bool CopyBlocksOf(const std::string& path, long long bytes, int to, std::string* error) {
  const int from = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool ok = from >= 0 && CopyRange(from, BinFileHeader::kSize, bytes, to);
  if (!ok) *error = "cannot copy " + path + ": " + std::strerror(errno);
  if (from >= 0) ::close(from);
  return ok;
}

}  // namespace

bool MergeResultsFolder(const std::string& folder, const std::string& file, std::string* error) {
  ResultsFolderIndex index;
  if (!results_folder::ReadIndex(folder, &index, error)) {
    *error = folder + ": " + *error;
    return false;
  }
  ResultsFile output;
  if (!output.Open(file, false, *error)) {
    *error = "cannot write '" + file + "': " + *error;
    return false;
  }
  const std::string header = index.header.Build(1);
  if (!file_writes::WriteWhole(output.Descriptor(), header.data(), header.size())) {
    *error = "cannot write '" + file + "': " + std::strerror(errno);
    return false;
  }
  for (const ResultsFolderIndex::Entry& entry : index.files) {
    if (!CopyBlocksOf(folder + "/" + entry.name, entry.blockBytes, output.Descriptor(), error)) return false;
  }
  const bool regular = output.IsRegularFile();
  if (!output.Commit(*error)) {
    *error = "cannot write '" + file + "': " + *error;
    return false;
  }
  ResultsMetadata metadata;
  if (ResultsMetadata::ReadFile(folder + "/" + results_folder::kMetadataName, &metadata) && regular) {
    for (auto& [key, value] : metadata.fields) {
      if (key == "results") value = file;
    }
    if (!metadata.WriteFile(ResultsMetadata::PathFor(file), error)) return false;
  }
  return true;
}
