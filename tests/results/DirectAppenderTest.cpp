#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "results/DirectAppender.h"

namespace {

constexpr std::size_t kBuffer = 4 * DirectAppender::kPage;

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed) {
  std::vector<unsigned char> bytes(size);
  for (unsigned char& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<unsigned char>(seed >> 24);
  }
  return bytes;
}

std::vector<unsigned char> ReadAll(int file) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(::lseek(file, 0, SEEK_END)));
  EXPECT_EQ(::pread(file, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  return bytes;
}

// Whatever the start offset (on, before, after a page boundary), the
// stream's length (empty, inside a page, across one, several buffers, whole
// buffers) and the pieces it comes in, the file holds what was there before
// the offset and then exactly the stream, written directly (on disk and on
// tmpfs, which takes O_DIRECT on recent kernels and refuses it on older
// ones) or through the cache only; a Finish in the middle of the stream
// changes nothing.
TEST(DirectAppenderTest, TheFileHoldsExactlyTheStreamFromAnyOffset) {
  const std::vector<std::string> folders = {::testing::TempDir(), "/dev/shm/"};
  const long long offsets[] = {0, 256, 4095, 4096, 4097};
  const std::size_t lengths[] = {0, 100, 5000, 3 * kBuffer + 123, 2 * kBuffer};
  const std::size_t pieces[] = {1, 977, 2 * kBuffer + 5};
  for (const std::string& folder : folders) {
    if (::access(folder.c_str(), W_OK) != 0) continue;
    for (bool direct : {true, false}) {
      for (long long offset : offsets) {
        for (std::size_t length : lengths) {
          for (std::size_t piece : pieces) {
            if (piece == 1 && length > 5000) continue;
            SCOPED_TRACE(folder + (direct ? " direct" : " cached") + " offset " + std::to_string(offset) +
                         " length " + std::to_string(length) + " pieces of " + std::to_string(piece));
            const std::string path = folder + "appender_test_" + std::to_string(::getpid());
            const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            ASSERT_GE(file, 0);
            ::unlink(path.c_str());
            std::vector<unsigned char> expected = Pattern(static_cast<std::size_t>(offset), 7);
            ASSERT_EQ(::pwrite(file, expected.data(), expected.size(), 0), offset);
            const std::vector<unsigned char> stream = Pattern(length, 11);
            expected.insert(expected.end(), stream.begin(), stream.end());

            DirectAppender appender;
            if (!direct) appender.DisableDirect();
            appender.Start(file, offset, kBuffer);
            for (std::size_t at = 0; at < length; at += piece) {
              const std::size_t size = std::min(piece, length - at);
              ASSERT_TRUE(appender.Append(stream.data() + at, size));
              if (at < length / 2 && at + size >= length / 2) {
                ASSERT_TRUE(appender.Finish());
              }
            }
            ASSERT_TRUE(appender.Finish());
            EXPECT_EQ(appender.Written(), static_cast<long long>(length));
            EXPECT_TRUE(ReadAll(file) == expected);
            ::close(file);
          }
        }
      }
    }
  }
}

// A file that takes no more (a size limit stands in for a full disk): the
// failure is reported, the file holds the start of the stream and nothing
// else, and at least the Written() bytes of it.
TEST(DirectAppenderTest, AFailedWriteSaysHowMuchTheFileHolds) {
  const std::string path = ::testing::TempDir() + "appender_full_" + std::to_string(::getpid());
  const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  ::unlink(path.c_str());
  const std::vector<unsigned char> stream = Pattern(40 * kBuffer, 3);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{10 * kBuffer + 100, 10 * kBuffer + 100};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    DirectAppender appender;
    appender.Start(file, 256, kBuffer);
    bool ok = true;
    for (std::size_t at = 0; ok && at < stream.size(); at += 1000) {
      ok = appender.Append(stream.data() + at, std::min<std::size_t>(1000, stream.size() - at));
    }
    ok = ok && appender.Finish();
    const long long size = ::lseek(file, 0, SEEK_END);
    ::_exit(!ok && appender.Written() + 256 <= size && size <= 10 * static_cast<long long>(kBuffer) + 100 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::vector<unsigned char> held = ReadAll(file);
  ASSERT_GT(held.size(), 256u);
  EXPECT_TRUE(std::equal(held.begin() + 256, held.end(), stream.begin()));
  ::close(file);
}

}  // namespace
