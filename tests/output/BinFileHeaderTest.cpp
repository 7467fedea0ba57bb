#include "output/BinFileHeader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string TextOf(const std::string& header) { return header.substr(0, header.find('\0')); }

}  // namespace

TEST(BinFileHeaderTest, DefaultRunBeforeItsFirstBatch) {
  const std::string header = BinFileHeader().Build(1);
  ASSERT_EQ(header.size(), 256u);
  const std::string expected =
      "QUELIX_SIM_BIN_FILE,256,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
      "RANDOMGEN=Lagged Fibonacci,BATCHES=0,,";
  ASSERT_EQ(expected.size(), 121u);
  EXPECT_EQ(header.substr(0, 121), expected);
  EXPECT_EQ(header.substr(121), std::string(135, '\0'));
}

TEST(BinFileHeaderTest, ShowsTheRunsSettingsAndBatchCount) {
  BinFileHeader fields;
  fields.experiment = 4294967295u;
  fields.seed = 0;
  fields.generatorName = "Mersenne Twister";
  fields.batches = 5000000000;  // past 2^32: long runs get there
  EXPECT_EQ(TextOf(fields.Build(1)),
            "QUELIX_SIM_BIN_FILE,256,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=4294967295,SEED=31415,"
            "RANDOMGEN=Mersenne Twister,BATCHES=5000000000,,");
}

TEST(BinFileHeaderTest, AFieldThatWouldOverflowEndsTheText) {
  BinFileHeader fields;
  fields.generatorName = std::string(200, 'g');
  const std::string header = fields.Build(1);
  ASSERT_EQ(header.size(), 256u);
  EXPECT_EQ(TextOf(header),
            "QUELIX_SIM_BIN_FILE,256,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,")
      << "neither the generator nor the batch count follow the field that did not fit";

  // ",RANDOMGEN=" plus 162 characters brings the text to exactly 255; the
  // terminator then fills the last byte and no batch count fits.
  fields.generatorName = std::string(162, 'g');
  const std::string full = fields.Build(1);
  EXPECT_EQ(full.size(), 256u);
  EXPECT_EQ(full.substr(82), ",RANDOMGEN=" + std::string(162, 'g') + ",");
  fields.generatorName = std::string(163, 'g');
  EXPECT_EQ(TextOf(fields.Build(1)).size(), 83u);
}
