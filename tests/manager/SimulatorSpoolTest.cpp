#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "manager/SimulatorSpool.h"

namespace {

// Blocks of the sizes a study sends (a report of 100 and of 1000
// replications) and one larger than the spool's buffer, in an order that
// crosses the buffer's edge and the copy's pieces.
std::vector<unsigned char> Blocks(std::vector<std::size_t>& sizes) {
  std::vector<unsigned char> all;
  unsigned state = 12345;
  for (int i = 0; i < 420; ++i) {
    const std::size_t size = i % 7 == 0 ? 200000 : i % 2 ? 48024 : 4824;
    sizes.push_back(size);
    for (std::size_t b = 0; b < size; ++b) {
      state = state * 1103515245u + 12345u;
      all.push_back(static_cast<unsigned char>(state >> 24));
    }
  }
  return all;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  const int file = ::open(path.c_str(), O_RDONLY);
  unsigned char chunk[1 << 16];
  ssize_t got;
  while (file >= 0 && (got = ::read(file, chunk, sizeof chunk)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  if (file >= 0) ::close(file);
  return bytes;
}

bool SameFileSystem(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev;
}

// Whatever file system the spool is on, beside the output or not (the
// kernel then declines to copy and the spool copies through memory), or
// when it is the output itself, the output ends with exactly the bytes
// appended, after what it held, and the progress reaches every byte.
TEST(SimulatorSpoolTest, TheOutputHoldsExactlyWhatWasAppendedWhereverTheSpoolIs) {
  const std::string here = ::testing::TempDir();
  struct Case {
    const char* what;
    std::string spoolFolder;
  };
  const Case cases[] = {
      {"beside the output", here},
      {"on another file system", "/dev/shm"},
      {"in a folder that does not exist ($TMPDIR instead)", here + "/no-such-folder"},
      {"in place in the output", ""},
  };
  std::vector<std::size_t> sizes;
  const std::vector<unsigned char> blocks = Blocks(sizes);
  ASSERT_GT(blocks.size(), std::size_t(SimulatorSpool::kMostCopyPiece));
  for (const Case& c : cases) {
    if (c.spoolFolder == "/dev/shm" && (::access("/dev/shm", W_OK) != 0 || SameFileSystem(here, "/dev/shm"))) continue;
    SCOPED_TRACE(c.what);
    const std::string output = here + "spool_test_" + std::to_string(::getpid()) + ".bin";
    const int file = ::open(output.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "HEADER", 6), 6);
    SimulatorSpool spool;
    std::string error;
    if (c.spoolFolder.empty()) {
      spool.WriteInPlace(file, 6);
    } else {
      ASSERT_TRUE(spool.Create(c.spoolFolder, error)) << error;
    }
    std::size_t at = 0;
    for (std::size_t size : sizes) {
      ASSERT_TRUE(spool.Append(blocks.data() + at, size, error)) << error;
      at += size;
    }
    EXPECT_EQ(spool.Size(), static_cast<long long>(blocks.size()));

    long long lastProgress = 0;
    const auto progress = [&](long long now) {
      EXPECT_GT(now, lastProgress);
      lastProgress = now;
    };
    const long long copied = spool.CopyInto(file, progress, error);
    ::close(file);
    EXPECT_EQ(copied, static_cast<long long>(blocks.size())) << error;
    EXPECT_EQ(lastProgress, copied);
    EXPECT_FALSE(spool.IsOpen());
    std::vector<unsigned char> expected = {'H', 'E', 'A', 'D', 'E', 'R'};
    expected.insert(expected.end(), blocks.begin(), blocks.end());
    EXPECT_TRUE(ReadFile(output) == expected);
    ::unlink(output.c_str());
  }
}

// A disk that fills up (a file size limit stands in for it) in the middle
// of a block, whether the block was still gathered or already being written
// directly or through the cache: Append fails, and the file and Size() end
// with the last whole block.
TEST(SimulatorSpoolTest, AFullDiskLeavesOnlyWholeBlocks) {
  constexpr std::size_t kBlock = 48024;
  const std::vector<unsigned char> block(kBlock, 0x5a);
  for (bool direct : {true, false}) {
    SCOPED_TRACE(direct ? "direct" : "through the cache");
    const std::string output = ::testing::TempDir() + "spool_full_" + std::to_string(::getpid()) + ".bin";
    const int file = ::open(output.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    ::unlink(output.c_str());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{5 * 1024 * 1024 + 1000, 5 * 1024 * 1024 + 1000};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      SimulatorSpool spool;
      if (!direct) spool.DisableDirect();
      spool.SetBufferSize(1 << 20);
      spool.WriteInPlace(file, 256);
      std::string error;
      int appended = 0;
      while (appended < 1000 && spool.Append(block.data(), kBlock, error)) ++appended;
      const long long size = ::lseek(file, 0, SEEK_END);
      const bool whole = size > 256 && (size - 256) % kBlock == 0 && spool.Size() == size - 256;
      ::_exit(appended < 1000 && !error.empty() && whole ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(file);
  }
}

}  // namespace
