#include "output/DataPacket.h"
#include "output/PacketQueue.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
std::unique_ptr<DataPacket> Tagged(int tag) {
  auto p = std::make_unique<DataPacket>(tag, -1, 1, 1);
  return p;
}
}  // namespace

TEST(DataPacketTest, RowsAreMaxObservationsApartAndStartAtZero) {
  DataPacket packet(3, 4, 2, 5);
  EXPECT_EQ(packet.ClientId, 3);
  EXPECT_EQ(packet.Experiment, 4);
  ASSERT_EQ(packet.Counts.size(), 2u);
  ASSERT_EQ(packet.Values.size(), 10u);
  for (double v : packet.Values) EXPECT_EQ(v, 0.0);
  packet.Value(1, 2) = 9.5;
  EXPECT_EQ(packet.Values[1 * 5 + 2], 9.5);
}

TEST(PacketQueueTest, IsFirstInFirstOutAcrossTheWrap) {
  PacketQueue queue(3);
  EXPECT_EQ(queue.Pop(), nullptr);
  int next_in = 0, next_out = 0;
  // Walk the ring several times round, keeping between 1 and 3 entries.
  for (int round = 0; round < 10; ++round) {
    while (queue.Count() < 3) ASSERT_TRUE(queue.Push(Tagged(next_in++)));
    EXPECT_EQ(queue.Count(), 3);
    EXPECT_FALSE(queue.Push(Tagged(-1)));  // full: dropped
    for (int k = 0; k < 2; ++k) {
      auto p = queue.Pop();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->ClientId, next_out++);
    }
    EXPECT_EQ(queue.Count(), 1);
  }
  while (auto p = queue.Pop()) EXPECT_EQ(p->ClientId, next_out++);
  EXPECT_EQ(next_out, next_in);
  EXPECT_EQ(queue.Count(), 0);
}

TEST(PacketQueueTest, ReleasesWhatItStillHolds) {
  // Run under the leak checker: the packets left behind must be freed.
  PacketQueue queue(50);
  for (int i = 0; i < 50; ++i) queue.Push(Tagged(i));
  EXPECT_EQ(queue.Count(), 50);
  EXPECT_FALSE(queue.Push(nullptr));
}
