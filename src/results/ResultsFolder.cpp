#include "results/ResultsFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "results/FileWrites.h"

namespace results_folder {
namespace {

const char kFirstLine[] = "gpusim-results-folder 1";
const char kSimulatorPrefix[] = "simulator-";
const char kPartialPrefix[] = ".index.partial-";

std::string Reason() { return std::strerror(errno); }

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, std::strlen(prefix), prefix) == 0; }

// A whole decimal number in [0, most], or -1.
long long WholeNumber(const std::string& text, long long most) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return value <= most ? value : -1;
}

// One "key=value" line of the index into index; false when it is none.
bool TakeLine(const std::string& key, const std::string& value, ResultsFolderIndex* index) {
  BinFileHeader& header = index->header;
  if (key == "experiment") {
    const long long number = WholeNumber(value, 0xffffffffll);
    header.experiment = static_cast<unsigned>(number);
    return number >= 0;
  }
  if (key == "seed") {
    const long long number = WholeNumber(value, 0xffffffffll);
    header.seed = static_cast<unsigned>(number);
    return number >= 0;
  }
  if (key == "generator") {
    header.generatorName = value;
    return true;
  }
  if (key == "batches") {
    header.batches = WholeNumber(value, 0x7fffffffll);
    return header.batches >= 0;
  }
  if (key != "file") return false;
  const std::size_t space = value.rfind(' ');
  if (space == std::string::npos || !IsFolderEntry(value.substr(0, space))) return false;
  ResultsFolderIndex::Entry entry{value.substr(0, space), WholeNumber(value.substr(space + 1), 1ll << 62)};
  index->files.push_back(entry);
  return entry.blockBytes >= 0;
}

}  // namespace

std::string SimulatorFileName(int simulator) { return kSimulatorPrefix + std::to_string(simulator) + ".bin"; }

bool IsFolderEntry(const std::string& name) {
  if (name == kIndexName || name == kMetadataName || StartsWith(name, kPartialPrefix)) return true;
  if (!StartsWith(name, kSimulatorPrefix) || name.size() < sizeof kSimulatorPrefix + 4) return false;
  const std::string number = name.substr(sizeof kSimulatorPrefix - 1, name.size() - (sizeof kSimulatorPrefix - 1) - 4);
  return name.compare(name.size() - 4, 4, ".bin") == 0 && WholeNumber(number, 1 << 30) >= 0;
}

bool IsFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string IndexText(const ResultsFolderIndex& index) {
  std::ostringstream text;
  text << kFirstLine << "\nexperiment=" << index.header.experiment << "\nseed=" << index.header.seed
       << "\ngenerator=" << index.header.generatorName << "\nbatches=" << index.header.batches << "\n";
  for (const ResultsFolderIndex::Entry& entry : index.files) text << "file=" << entry.name << ' ' << entry.blockBytes << "\n";
  text << "end\n";
  return text.str();
}

bool ParseIndex(const std::string& text, ResultsFolderIndex* index, std::string* error) {
  *index = ResultsFolderIndex();
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kFirstLine) {
    *error = "its index does not start with '" + std::string(kFirstLine) + "'";
    return false;
  }
  for (int number = 2; std::getline(lines, line); ++number) {
    if (line == "end") return true;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || !TakeLine(line.substr(0, equals), line.substr(equals + 1), index)) {
      *error = "line " + std::to_string(number) + " of its index is malformed: " + line.substr(0, 80);
      return false;
    }
  }
  *error = "its index is cut short (no closing 'end' line)";
  return false;
}

bool WriteIndex(const std::string& folder, const ResultsFolderIndex& index, std::string* error) {
  std::string name = folder + "/" + kPartialPrefix + "XXXXXX";
  const int descriptor = ::mkostemp(&name[0], O_CLOEXEC);
  if (descriptor < 0) {
    *error = "cannot create its index: " + Reason();
    return false;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const std::string text = IndexText(index);
  bool ok = file_writes::WriteWhole(descriptor, text.data(), text.size()) && ::fchmod(descriptor, 0666 & ~mask) == 0 &&
            ::fsync(descriptor) == 0;
  ok = ::close(descriptor) == 0 && ok;
  ok = ok && ::rename(name.c_str(), (folder + "/" + kIndexName).c_str()) == 0;
  if (!ok) {
    *error = "cannot write its index: " + Reason();
    ::unlink(name.c_str());
    return false;
  }
  return true;
}

bool ReadIndex(const std::string& folder, ResultsFolderIndex* index, std::string* error) {
  if (!IsFolder(folder)) {
    *error = std::string("not a results folder: ") + (::access(folder.c_str(), F_OK) == 0 ? "not a folder" : Reason());
    return false;
  }
  std::ifstream in(folder + "/" + kIndexName, std::ios::binary);
  if (!in) {
    *error = "an unfinished results folder: it has no index (the study writing it was killed, failed or is still "
             "running)";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!ParseIndex(text.str(), index, error)) return false;
  for (const ResultsFolderIndex::Entry& entry : index->files) {
    struct stat status {};
    const std::string path = folder + "/" + entry.name;
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
      *error = "its index lists " + entry.name + ", which is missing or not a file";
      return false;
    }
    if (status.st_size != BinFileHeader::kSize + entry.blockBytes) {
      *error = entry.name + " holds " + std::to_string(status.st_size) + " bytes, not the " +
               std::to_string(BinFileHeader::kSize + entry.blockBytes) + " its index gives";
      return false;
    }
  }
  return true;
}

}  // namespace results_folder
