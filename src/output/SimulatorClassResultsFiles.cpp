// The binary results file of SimulatorClass: a 256-byte text header, rewritten
// with the current batch count after every output step, followed by the
// observation blocks exactly as they go to the simulation manager.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "output/BinFileHeader.h"
#include "simulator/SimulatorClass.h"

namespace {

constexpr char kBinFileMagic[] = "QUELIX_SIM_BIN_FILE,";

// Closes a descriptor when it goes out of scope.
class ScopedDescriptor {
 public:
  explicit ScopedDescriptor(int descriptor) : descriptor_(descriptor) {}
  ~ScopedDescriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  ScopedDescriptor(const ScopedDescriptor&) = delete;
  ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

bool IsFile(const std::string& path, const struct stat& file) {
  struct stat other {};
  return !path.empty() && ::stat(path.c_str(), &other) == 0 && other.st_dev == file.st_dev &&
         other.st_ino == file.st_ino;
}

bool StartsWithBinFileHeader(int descriptor) {
  char start[sizeof kBinFileMagic - 1];
  return ::pread(descriptor, start, sizeof start, 0) == static_cast<ssize_t>(sizeof start) &&
         std::memcmp(start, kBinFileMagic, sizeof start) == 0;
}

// What a name will write to: an existing file by its identity, so that
// "x", "./x" and a link to x agree; a file yet to be made by the real path
// of its directory. Not-regular files (devices such as /dev/null) have no
// key: writing two outputs there destroys nothing.
std::string FileKey(const std::string& name) {
  struct stat file {};
  if (::stat(name.c_str(), &file) == 0) {
    if (!S_ISREG(file.st_mode)) return std::string();
    return std::to_string(file.st_dev) + ":" + std::to_string(file.st_ino);
  }
  const std::size_t slash = name.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  char real[PATH_MAX];
  if (::realpath(directory.c_str(), real) == nullptr) return name;
  return std::string(real) + "/" + name.substr(slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

std::string SimulatorClass::CreateBinFileHeader(int fileVersion) {
  BinFileHeader header;
  header.experiment = Experiment;
  header.seed = Seed;
  header.generatorName = to_string(static_cast<RandomNumberGeneratorType>(RNGType));
  header.batches = Batches;
  return header.Build(fileVersion);
}

std::unique_ptr<std::ofstream> SimulatorClass::CreateBinFile(const std::string& name) {
  auto stream = std::make_unique<std::ofstream>(name, std::ios::out | std::ios::binary | std::ios::trunc);
  const std::string header = CreateBinFileHeader(1);
  stream->write(header.data(), static_cast<std::streamsize>(header.size()));
  stream->flush();
  return stream;
}

void SimulatorClass::UpdateBinFileHeader(std::ofstream& stream) {
  const std::string header = CreateBinFileHeader(1);
  errno = 0;
  stream.seekp(0, std::ios::beg);
  stream.write(header.data(), static_cast<std::streamsize>(header.size()));
  stream.seekp(0, std::ios::end);
  // Readers may look at the file while the run goes on.
  stream.flush();
  if (!stream.good() && BinaryFile.get() == &stream) {
    ReportResultsFileFailure(BinaryFile, "binary", BinaryFileName);
  }
}

void SimulatorClass::CloseBinFile(std::ofstream& stream) {
  const bool isBinaryFile = BinaryFile.get() == &stream;
  UpdateBinFileHeader(stream);
  // A failed rewrite of BinaryFile has already closed and released it.
  if (isBinaryFile && !BinaryFile) return;
  stream.close();
}

std::unique_ptr<std::ofstream> SimulatorClass::CreateManagerBinFile(const std::string& name, std::string* refusal) {
  // Looked at before it is opened: opening a device or a FIFO can itself
  // act on it (a tape rewinds, a FIFO's reader wakes).
  struct stat existing {};
  if (::lstat(name.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    *refusal = S_ISLNK(existing.st_mode) ? "it is a symbolic link" : "it is not a regular file";
    return nullptr;
  }
  // O_NOFOLLOW and O_NONBLOCK keep the checks above true if the name is
  // replaced meanwhile: a link is not followed, a FIFO does not hold the run
  // in open, and either is refused below.
  ScopedDescriptor file(::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
  if (file.get() < 0) {
    *refusal = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
    return nullptr;
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    *refusal = std::strerror(errno);
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    *refusal = "it is not a regular file";
    return nullptr;
  }
  const bool traceFiles = !TraceFileName.empty();
  if (IsFile(AsciiFileName, status) || (traceFiles && QuelixTrace && IsFile(TraceFileName + ".txt", status)) ||
      (traceFiles && XMLTrace && IsFile(TraceFileName + ".xml", status))) {
    *refusal = "it is one of this run's own output files";
    return nullptr;
  }
  if (status.st_size > 0 && !StartsWithBinFileHeader(file.get())) {
    *refusal = "it exists and is not a binary results file of this simulator";
    return nullptr;
  }
  // Reopened through the descriptor, so the stream writes to the very file
  // checked above even if the name has been replaced meanwhile.
  std::unique_ptr<std::ofstream> stream =
      CreateBinFile("/proc/self/fd/" + std::to_string(file.get()));
  if (!stream->is_open() || !stream->good()) {
    *refusal = std::strerror(errno);
    return nullptr;
  }
  return stream;
}

void SimulatorClass::RefuseSharedOutputs() {
  struct Output {
    const char* what;
    std::string name;
  };
  std::vector<Output> outputs;
  if (!AsciiFileName.empty()) outputs.push_back({"ASCII results file", AsciiFileName});
  if (!BinaryFileName.empty()) outputs.push_back({"binary results file", BinaryFileName});
  if (!TraceFileName.empty() && QuelixTrace) outputs.push_back({"plain-text trace", TraceFileName + ".txt"});
  if (!TraceFileName.empty() && XMLTrace) outputs.push_back({"XML trace", TraceFileName + ".xml"});
  std::vector<std::string> keys;
  for (const Output& output : outputs) keys.push_back(FileKey(output.name));
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = i + 1; j < outputs.size(); ++j) {
      if (keys[i].empty() || keys[i] != keys[j]) continue;
      std::cout << std::flush;
      std::cerr << "ERROR: The " << outputs[i].what << " '" << outputs[i].name << "' and the " << outputs[j].what
                << " '" << outputs[j].name << "' are the same file" << std::endl;
      std::exit(1);
    }
  }
}
