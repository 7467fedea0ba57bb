// The wire format from hand-written bytes, and the manager's stream decoder
// under split, malformed, oversized and random input.
#include "protocol/SimulatorStream.h"
#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes B(std::initializer_list<int> values) { return Bytes(values.begin(), values.end()); }

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// 1.5 and -2.0 as big-endian doubles.
const Bytes kOnePointFive = B({0x3F, 0xF8, 0, 0, 0, 0, 0, 0});
const Bytes kMinusTwo = B({0xC0, 0x00, 0, 0, 0, 0, 0, 0});
const Bytes kGreeting = B({0, 0, 0, 10, 255, 1, 0, 0, 0x30, 0x39});
const Bytes kCPUTime = Cat({B({0, 0, 0, 12, 254, 7, 0, 3}), kOnePointFive});
// Client 7, experiment 3, PV 2 with 1.5 and -2.0.
const Bytes kBlock = Cat({B({0, 0, 0, 32, 7, 0, 3, 0, 1, 0, 2, 1, 0, 0, 0, 2}), kOnePointFive, kMinusTwo});

TEST(WireFormatTest, EncodesEveryMessageAsTheBytesTheManagerReads) {
  unsigned char reply[protocol::kReplySize];
  protocol::EncodeReply({255, 1, 12345}, reply);
  EXPECT_EQ(Bytes(reply, reply + 10), kGreeting);

  unsigned char cpu[protocol::kCPUTimeSize];
  protocol::EncodeCPUTime({7, 3, 1.5}, cpu);
  EXPECT_EQ(Bytes(cpu, cpu + 16), kCPUTime);

  // Row 0 is empty and skipped; row 1 is not a row of the packet (rows = 3,
  // stride 4), so the entry is PV 2.
  const std::int32_t counts[] = {0, 0, 2};
  const double values[] = {9, 9, 9, 9, 9, 9, 9, 9, 1.5, -2.0, 9, 9};
  EXPECT_EQ(Of(protocol::EncodeBlock(7, 3, counts, values, 3, 4)), kBlock);
  const std::int32_t none[] = {0};
  EXPECT_EQ(Of(protocol::EncodeBlock(300, 70000, none, values, 1, 1)), B({0, 0, 0, 9, 44, 0x11, 0x70, 0, 0}));

  EXPECT_EQ(protocol::EncodeHandOver("out.bin", 50), "\x03out.bin;50;;");
  const protocol::HandOver handOver = protocol::ParseHandOver("out.bin;99999999999;;");
  EXPECT_EQ(handOver.fileName, "out.bin");
  EXPECT_EQ(handOver.batches, 2147483647);
}

TEST(WireFormatTest, DecodesABlockAndNamesEveryFault) {
  protocol::BlockView view;
  std::string error;
  ASSERT_TRUE(protocol::DecodeBlock(kBlock.data(), kBlock.size(), view, error)) << error;
  ASSERT_EQ(view.entries.size(), 1u);
  EXPECT_EQ(view.client, 7u);
  EXPECT_EQ(view.experiment, 3u);
  EXPECT_EQ(view.entries[0].pv, 2u);
  EXPECT_EQ(view.entries[0].count, 2);
  EXPECT_EQ(protocol::DecodeValue(view.entries[0].values + 8), -2.0);

  struct Case {
    const char* name;
    Bytes bytes;
    const char* message;
  };
  Bytes badKind = kBlock;
  badKind[11] = 2;
  Bytes negative = kBlock;
  negative[12] = 0xFF;
  Bytes tooMany = kBlock;
  tooMany[15] = 3;
  Bytes trailing = kBlock;
  trailing[8] = 0;  // no entries, yet 23 bytes follow
  const Case cases[] = {
      {"short", B({0, 0, 0, 9, 0}), "shorter than its header"},
      {"length", Cat({B({0, 0, 0, 40}), Bytes(kBlock.begin() + 4, kBlock.end())}), "does not match"},
      {"kind", badKind, "kind 2"},
      {"negative", negative, "do not fit"},
      {"count", tooMany, "do not fit"},
      {"trailing", trailing, "follow the block's last entry"},
      {"entries", Cat({B({0, 0, 0, 12, 0, 0, 0, 0, 1}), B({0, 0, 1})}), "runs past"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(protocol::DecodeBlock(c.bytes.data(), c.bytes.size(), view, error)) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
  }
}

struct Recorder : SimulatorStream::Handler {
  void OnReply(const protocol::Reply& reply) override { replies.push_back(reply.processId); }
  void OnCPUTime(const protocol::CPUTime& message) override { seconds.push_back(message.seconds); }
  void OnBlock(const unsigned char* bytes, std::size_t size, const protocol::BlockView& view) override {
    blocks.push_back(Bytes(bytes, bytes + size));
    values += view.entries.empty() ? 0 : view.entries[0].count;
  }
  std::vector<std::uint32_t> replies;
  std::vector<double> seconds;
  std::vector<Bytes> blocks;
  long values = 0;
};

TEST(SimulatorStreamTest, CutsMessagesOutOfPiecesOfAnySize) {
  const Bytes stream = Cat({kGreeting, kCPUTime, kBlock, kCPUTime, kBlock, B({0, 0, 0, 10, 254, 2, 0, 0, 0, 1})});
  for (std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(17), stream.size()}) {
    SimulatorStream decoder(1024);
    Recorder recorder;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      ASSERT_TRUE(decoder.Feed(stream.data() + at, std::min(piece, stream.size() - at), recorder)) << decoder.Error();
    }
    EXPECT_EQ(recorder.replies, (std::vector<std::uint32_t>{12345, 1})) << piece;
    EXPECT_EQ(recorder.seconds, (std::vector<double>{1.5, 1.5})) << piece;
    EXPECT_EQ(recorder.blocks, (std::vector<Bytes>{kBlock, kBlock})) << piece;
    EXPECT_EQ(decoder.Pending(), 0u);
  }
}

TEST(SimulatorStreamTest, StopsAtTheFirstMalformedOrOversizedMessage) {
  struct Case {
    const char* name;
    Bytes bytes;
    const char* message;
  };
  const Case cases[] = {
      {"impossible length", B({0, 0, 0, 20, 0, 0, 0, 0}), "neither a reply"},
      {"reply marker", B({0, 0, 0, 10, 7, 1, 0, 0, 0, 1}), "marker 7"},
      {"cpu marker", Cat({B({0, 0, 0, 12, 255, 0, 0, 0}), kOnePointFive}), "marker 255"},
      {"oversized", B({0x7F, 0xFF, 0xFF, 0xFF, 0}), "over the limit"},
      {"bad block", Cat({B({0, 0, 0, 24, 0, 0, 0, 0, 1, 0, 0, 9, 0, 0, 0, 1}), kOnePointFive}), "kind 9"},
  };
  for (const Case& c : cases) {
    SimulatorStream decoder(1024);
    Recorder recorder;
    EXPECT_TRUE(decoder.Feed(kGreeting.data(), kGreeting.size(), recorder));
    EXPECT_FALSE(decoder.Feed(c.bytes.data(), c.bytes.size(), recorder)) << c.name;
    EXPECT_NE(decoder.Error().find(c.message), std::string::npos) << c.name << ": " << decoder.Error();
    EXPECT_FALSE(decoder.Feed(kBlock.data(), kBlock.size(), recorder)) << "a failed stream stays failed";
    EXPECT_TRUE(recorder.blocks.empty()) << c.name;
  }
}

// Random bytes, and valid streams with random bytes changed, in random
// pieces: the decoder never crashes (the sanitizer build checks the reads)
// and never holds more than one message, at most its limit.
TEST(SimulatorStreamTest, RandomInputNeverCrashesOrGrowsPastTheLimit) {
  std::mt19937 random(20261207);
  const Bytes valid = Cat({kGreeting, kCPUTime, kBlock, kCPUTime, kBlock, kBlock});
  constexpr std::size_t kLimit = 4096;
  constexpr std::size_t kMaxPiece = 64;
  for (int round = 0; round < 3000; ++round) {
    Bytes input = valid;
    if (round % 2 == 0) {
      input.resize(random() % 600);
      for (unsigned char& byte : input) byte = static_cast<unsigned char>(random());
    } else {
      for (int flips = 1 + random() % 4; flips > 0; --flips) input[random() % input.size()] = random();
    }
    SimulatorStream decoder(kLimit);
    Recorder recorder;
    for (std::size_t at = 0; at < input.size();) {
      const std::size_t piece = std::min<std::size_t>(1 + random() % kMaxPiece, input.size() - at);
      decoder.Feed(input.data() + at, piece, recorder);
      ASSERT_LE(decoder.Pending(), kLimit);
      at += piece;
    }
    for (const Bytes& block : recorder.blocks) ASSERT_LE(block.size(), kLimit);
  }
}

}  // namespace
