#include "results/ResultsReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::string;
using Observations = std::vector<std::pair<int, double>>;

Bytes Header(int batches) {
  Bytes text = "QUELIX_SIM_BIN_FILE,256,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=2,SEED=9,"
               "RANDOMGEN=Tausworthe,BATCHES=" + std::to_string(batches) + ",,";
  text.resize(256, '\0');
  return text;
}

// Two entries: PV 0 with 1.5 and 2.0, PV 3 with -3.25. 9 + 2*7 + 3*8 = 47 bytes.
const Bytes kBlock(
    "\x00\x00\x00\x2f" "\x2c" "\x00\x02" "\x00\x02"
    "\x00\x00" "\x01" "\x00\x00\x00\x02"
    "\x3f\xf8\x00\x00\x00\x00\x00\x00" "\x40\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x03" "\x01" "\x00\x00\x00\x01"
    "\xc0\x0a\x00\x00\x00\x00\x00\x00",
    47);
const Bytes kEmptyBlock("\x00\x00\x00\x09" "\x2c" "\x00\x02" "\x00\x00", 9);

struct Result {
  bool complete;
  Observations seen;
  ResultsReader reader;
};

Result ReadBytes(const Bytes& bytes) {
  Result result;
  std::istringstream in(bytes);
  result.complete = result.reader.Read(in, [&result](int pv, double v) { result.seen.emplace_back(pv, v); });
  return result;
}

const Observations kBlockObservations = {{0, 1.5}, {0, 2.0}, {3, -3.25}};

}  // namespace

TEST(ResultsReaderTest, VisitsEveryBlockOfABinaryFile) {
  Result r = ReadBytes(Header(3) + kBlock + kEmptyBlock + kBlock);
  EXPECT_TRUE(r.complete) << r.reader.Error();
  EXPECT_EQ(r.reader.GetFormat(), ResultsReader::Format::kBinary);
  EXPECT_EQ(r.reader.Records(), 3);
  EXPECT_EQ(r.reader.Observations(), 6);
  EXPECT_FALSE(r.reader.Truncated());
  Observations expected = kBlockObservations;
  expected.insert(expected.end(), kBlockObservations.begin(), kBlockObservations.end());
  EXPECT_EQ(r.seen, expected);
  EXPECT_EQ(r.reader.HeaderField("BATCHES"), "3");
  EXPECT_EQ(r.reader.HeaderField("RANDOMGEN"), "Tausworthe");
  EXPECT_EQ(r.reader.HeaderField("SEED"), "9");
}

TEST(ResultsReaderTest, AHeaderOnlyFileHasNoObservations) {
  Result r = ReadBytes(Header(0));
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.reader.Records(), 0);
  EXPECT_TRUE(r.seen.empty());
}

TEST(ResultsReaderTest, SkipsAShortLastBlockWhereverItIsCut) {
  for (std::size_t cut = 1; cut < kBlock.size(); ++cut) {
    Result r = ReadBytes(Header(2) + kBlock + kBlock.substr(0, cut));
    EXPECT_TRUE(r.complete) << "cut " << cut << ": " << r.reader.Error();
    EXPECT_EQ(r.seen, kBlockObservations) << "cut " << cut;
    EXPECT_EQ(r.reader.Records(), 1);
    EXPECT_EQ(r.reader.TruncatedBytes(), static_cast<long>(cut));
  }
}

TEST(ResultsReaderTest, AHugeLengthAtTheEndIsAShortBlockNotAnAllocation) {
  Result r = ReadBytes(Header(1) + kBlock + Bytes("\xff\xff\xff\xf0\x2c\x00", 6));
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.reader.TruncatedBytes(), 6);
  EXPECT_EQ(r.seen, kBlockObservations);
}

TEST(ResultsReaderTest, CorruptBlocksStopTheReadingAndContributeNothing) {
  struct Case {
    const char* what;
    Bytes block;
  };
  Bytes badKind = kBlock;
  badKind[11] = '\x02';
  Bytes negativeCount = kBlock;
  negativeCount[12] = '\xff';
  Bytes longerThanEntries = kBlock;
  longerThanEntries[3] = '\x30';
  longerThanEntries += '\0';
  Bytes tooManyEntries = kBlock;
  tooManyEntries[8] = '\x03';
  const Case cases[] = {
      {"length below 9", Bytes("\x00\x00\x00\x08\x2c\x00\x02\x00", 8)},
      {"unknown entry kind", badKind},
      {"negative count", negativeCount},
      {"length not matching the entries", longerThanEntries},
      {"more entries than bytes", tooManyEntries},
  };
  for (const Case& c : cases) {
    Result r = ReadBytes(Header(2) + kBlock + c.block + kBlock);
    EXPECT_FALSE(r.complete) << c.what;
    EXPECT_NE(r.reader.Error().find("block at offset 303"), std::string::npos) << c.what << ": " << r.reader.Error();
    EXPECT_EQ(r.seen, kBlockObservations) << c.what;
  }
}

TEST(ResultsReaderTest, RejectsWhatIsNotAResultsFile) {
  EXPECT_FALSE(ReadBytes("").complete);
  Result r = ReadBytes("pv,value\n0,1.0\n");
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(r.reader.GetFormat(), ResultsReader::Format::kUnknown);
  EXPECT_FALSE(r.reader.Error().empty());
  Result shortHeader = ReadBytes(Header(0).substr(0, 100));
  EXPECT_FALSE(shortHeader.complete);
  EXPECT_EQ(shortHeader.reader.GetFormat(), ResultsReader::Format::kBinary);

  ResultsReader missing;
  EXPECT_FALSE(missing.ReadFile("/nonexistent/dir/results.bin", [](int, double) {}));
  EXPECT_NE(missing.Error().find("cannot open"), std::string::npos);
}

namespace {

const Bytes kAsciiHead =
    "#QUELIX_SIM_ASCII_FILE,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
    "RANDOMGEN=Lagged Fibonacci\n#FORMAT: (PV ID Number),(PV Value)\n";

}  // namespace

TEST(ResultsReaderTest, ReadsAnAsciiFileAndItsTrailer) {
  Result r = ReadBytes(kAsciiHead + "0,1.5\n0,2.0\n3,-3.25\n#META_DATA,BATCHES=2\n");
  EXPECT_TRUE(r.complete) << r.reader.Error();
  EXPECT_EQ(r.reader.GetFormat(), ResultsReader::Format::kAscii);
  EXPECT_EQ(r.seen, kBlockObservations);
  EXPECT_EQ(r.reader.HeaderField("BATCHES"), "2");
  EXPECT_EQ(r.reader.HeaderField("SEED"), "31415");
}

TEST(ResultsReaderTest, AsciiLastLineWithoutNewlineIsSkippedAsCut) {
  Result r = ReadBytes(kAsciiHead + "0,1.5\n0,2.0\n3,-3.25\n5,12.3");
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.seen, kBlockObservations);
  EXPECT_EQ(r.reader.TruncatedBytes(), 6);
  EXPECT_EQ(r.reader.HeaderField("BATCHES"), "") << "no trailer: the batch count is unknown";
}

TEST(ResultsReaderTest, MalformedAsciiLinesAreErrorsWithTheirLineNumber) {
  for (const char* bad : {"x,1.0", "0;1.0", "0,", "0,1.0abc", "-1,2.0", "70000,1.0"}) {
    Result r = ReadBytes(kAsciiHead + "0,1.5\n" + bad + "\n0,2.0\n");
    EXPECT_FALSE(r.complete) << bad;
    EXPECT_NE(r.reader.Error().find("line 4"), std::string::npos) << bad << ": " << r.reader.Error();
    EXPECT_EQ(r.seen.size(), 1u) << bad;
  }
}

// A file read to its end must account for itself: its batch count is the
// largest number of observations of one variable, and an ASCII file ends
// with its trailer.
TEST(ResultsReaderTest, AFileWhoseCountDisagreesWithItsObservationsIsDamaged) {
  const struct {
    const char* what;
    Bytes bytes;
    const char* problem;
  } cases[] = {
      {"binary, matching", Header(4) + kBlock + kEmptyBlock + kBlock, ""},
      {"binary, a block more", Header(2) + kBlock + kBlock, "the header counts 2 batches but the file holds 4"},
      {"binary, no count", Header(0).replace(Header(0).find("BATCHES=0"), 9, "BATCHES=x"), "has no batch count"},
      {"ascii, matching", kAsciiHead + "0,1.5\n0,2.0\n3,-3.25\n#META_DATA,BATCHES=2\n", ""},
      {"ascii, no trailer", kAsciiHead + "0,1.5\n0,2.0\n", "ends without its trailer"},
      {"ascii, trailer disagrees", kAsciiHead + "0,1.5\n#META_DATA,BATCHES=2\n", "the trailer counts 2 batches"},
  };
  for (const auto& c : cases) {
    Result r = ReadBytes(c.bytes);
    EXPECT_TRUE(r.complete) << c.what << ": " << r.reader.Error();
    EXPECT_EQ(r.reader.Damaged(), *c.problem != '\0') << c.what;
    EXPECT_NE(r.reader.CountProblem().find(c.problem), std::string::npos) << c.what << ": " << r.reader.CountProblem();
  }
}

TEST(ResultsReaderTest, OverlongOrMisplacedAsciiLinesStopTheReading) {
  const struct {
    const char* what;
    Bytes tail;
    const char* error;
  } cases[] = {
      {"a long line", "0,1." + Bytes(5000, '5') + "\n", "line 4 is longer than 1024 bytes"},
      {"a long unterminated line", "0,1." + Bytes(100000, '5'), "line 4 is longer than 1024 bytes"},
      {"data after the trailer", "#META_DATA,BATCHES=1\n0,2.0\n", "line 5 follows the trailer"},
      {"a NUL inside a value", Bytes("0,2.0\0x\n", 8), "line 4 has a bad value"},
  };
  for (const auto& c : cases) {
    Result r = ReadBytes(kAsciiHead + "0,1.5\n" + c.tail);
    EXPECT_FALSE(r.complete) << c.what;
    EXPECT_TRUE(r.reader.Damaged()) << c.what;
    EXPECT_NE(r.reader.Error().find(c.error), std::string::npos) << c.what << ": " << r.reader.Error();
    EXPECT_EQ(r.seen.size(), 1u) << c.what;
  }
}

// A length past the end of the file is not believed, wherever the block is:
// the blocks before it are delivered and nothing is allocated for it.
TEST(ResultsReaderTest, ALengthLongerThanTheFileIsACutBlock) {
  Bytes second = kBlock;
  second.replace(0, 4, Bytes("\xff\xff\xff\xff", 4));
  Result r = ReadBytes(Header(2) + kBlock + second + kBlock);
  EXPECT_TRUE(r.complete);
  EXPECT_TRUE(r.reader.Damaged());
  EXPECT_EQ(r.reader.TruncatedBytes(), static_cast<long>(2 * kBlock.size()));
  EXPECT_EQ(r.seen, kBlockObservations);
}

namespace {

// A string buffer that counts the seeks and the bulk reads made on it.
class CountingBuffer : public std::stringbuf {
 public:
  explicit CountingBuffer(const std::string& bytes) : std::stringbuf(bytes, std::ios::in) {}
  long seeks = 0;
  long reads = 0;

 protected:
  pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode which) override {
    ++seeks;
    return std::stringbuf::seekoff(off, dir, which);
  }
  pos_type seekpos(pos_type pos, std::ios::openmode which) override {
    ++seeks;
    return std::stringbuf::seekpos(pos, which);
  }
  std::streamsize xsgetn(char* out, std::streamsize count) override {
    ++reads;
    return std::stringbuf::xsgetn(out, count);
  }
};

// One block of count values of PV 0, each equal to its index.
Bytes BlockOf(std::int32_t count) {
  const std::uint32_t length = 9 + 7 + 8 * static_cast<std::uint32_t>(count);
  Bytes block;
  for (int shift = 24; shift >= 0; shift -= 8) block += static_cast<char>(length >> shift);
  block += Bytes("\x2c\x00\x02\x00\x01\x00\x00\x01", 8);
  for (int shift = 24; shift >= 0; shift -= 8) block += static_cast<char>(count >> shift);
  for (std::int32_t j = 0; j < count; ++j) {
    double value = j;
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    for (int shift = 56; shift >= 0; shift -= 8) block += static_cast<char>(bits >> shift);
  }
  return block;
}

}  // namespace

// The file is read front to back in large pieces: a file of 100 000
// one-observation blocks takes a handful of seeks and reads, not a few per
// block.
TEST(ResultsReaderTest, ManySmallBlocksAreReadInAFewLargePieces) {
  constexpr int kBlocks = 100000;
  Bytes bytes = Header(kBlocks);
  const Bytes one = BlockOf(1);
  for (int b = 0; b < kBlocks; ++b) bytes += one;
  CountingBuffer buffer(bytes);
  std::istream in(&buffer);
  ResultsReader reader;
  long seen = 0;
  ASSERT_TRUE(reader.Read(in, [&seen](int, double) { ++seen; }));
  EXPECT_EQ(seen, kBlocks);
  EXPECT_FALSE(reader.Damaged());
  const long pieces = 8 + static_cast<long>(bytes.size() >> 19);  // one per half MiB, and a few more
  EXPECT_LE(buffer.seeks, pieces);
  EXPECT_LE(buffer.reads, pieces);
}

// A block larger than the reader's piece is still checked whole before its
// values are delivered, in order.
TEST(ResultsReaderTest, ABlockLargerThanAReadPieceIsDeliveredWhole) {
  constexpr std::int32_t kValues = 300000;  // 2.4 MB
  Bytes bytes = Header(kValues) + BlockOf(kValues);
  std::vector<double> seen;
  std::istringstream in(bytes);
  ResultsReader reader;
  ASSERT_TRUE(reader.Read(in, [&seen](int, double v) { seen.push_back(v); }));
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kValues));
  for (std::int32_t j = 0; j < kValues; j += 9973) EXPECT_EQ(seen[j], j);
  EXPECT_FALSE(reader.Damaged());

  // A NaN at its end makes all of it corrupt: nothing is delivered.
  bytes.replace(bytes.size() - 8, 8, Bytes("\x7f\xf8\0\0\0\0\0\0", 8));
  std::istringstream corrupt(bytes);
  ResultsReader second;
  long delivered = 0;
  EXPECT_FALSE(second.Read(corrupt, [&delivered](int, double) { ++delivered; }));
  EXPECT_EQ(delivered, 0);
  EXPECT_NE(second.Error().find("variable 0 has the value NaN"), std::string::npos) << second.Error();
}
