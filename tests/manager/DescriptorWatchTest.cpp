// The watch must report what poll() would, across the changes a study makes
// between waits: a descriptor's number used again for another connection, a
// connection that goes from connecting (writable) to reading, entries dropped.
#include "manager/DescriptorWatch.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

struct Pair {
  int ends[2] = {-1, -1};
  Pair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0); }
  ~Pair() {
    for (int end : ends) ::close(end);
  }
  void Send() const { ASSERT_EQ(::write(ends[1], "x", 1), 1); }
};

short ReventsOf(DescriptorWatch& watch, int descriptor, short events, std::uint64_t identity) {
  std::vector<pollfd> watched{{descriptor, events, 0}};
  const int ready = watch.Wait(watched, {identity}, 0);
  EXPECT_EQ(ready, watched[0].revents != 0 ? 1 : 0);
  return watched[0].revents;
}

TEST(DescriptorWatchTest, ReportsWhatPollWouldAcrossChanges) {
  DescriptorWatch watch;
  Pair first;
  EXPECT_EQ(ReventsOf(watch, first.ends[0], POLLIN, 1), 0);
  first.Send();
  EXPECT_EQ(ReventsOf(watch, first.ends[0], POLLIN, 1), POLLIN);
  // The same entry asks for writing now, as a connection that was
  // connecting and is read afterwards does the other way round.
  EXPECT_EQ(ReventsOf(watch, first.ends[0], POLLOUT, 1) & POLLOUT, POLLOUT);

  // Its number taken by another connection with nothing to read: the ready
  // data of the first must not be reported for it.
  const int number = first.ends[0];
  Pair second;
  ASSERT_EQ(::dup2(second.ends[0], number), number);
  EXPECT_EQ(ReventsOf(watch, number, POLLIN, 2), 0);
  second.Send();
  EXPECT_EQ(ReventsOf(watch, number, POLLIN, 2), POLLIN);

  // Left out of a wait, an entry is no longer reported; the one watched is.
  Pair third;
  third.Send();
  std::vector<pollfd> watched{{third.ends[0], POLLIN, 0}};
  EXPECT_EQ(watch.Wait(watched, {3}, 0), 1);
  EXPECT_EQ(watched[0].revents, POLLIN);

  // A closed peer is a hang-up, as with poll.
  ::close(third.ends[1]);
  third.ends[1] = -1;
  ::close(second.ends[1]);
  second.ends[1] = -1;
  EXPECT_NE(ReventsOf(watch, number, POLLIN, 2) & (POLLHUP | POLLIN), 0);
}

}  // namespace
