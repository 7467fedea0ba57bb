// Runs the gpusim-report executable on hand-written results files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "TestProcess.h"

namespace {

using testprocess::Outcome;

class GpusimReportTest : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/gpusim-report-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  Outcome Run(const std::string& arguments) {
    return testprocess::RunRedirected(std::string(GPUSIM_BUILD_DIR) + "/gpusim-report " + arguments, dir_ + "/out",
                                      dir_ + "/err");
  }

  std::string dir_;
};

std::string Header() {
  std::string text =
      "QUELIX_SIM_BIN_FILE,256,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
      "RANDOMGEN=Lagged Fibonacci,BATCHES=2,,";
  text.resize(256, '\0');
  return text;
}

// PV 0 with 1.0 and 3.0; PV 5 with 4.0 and 4.0.
const std::string kBlock(
    "\x00\x00\x00\x37" "\x00" "\x00\x00" "\x00\x02"
    "\x00\x00" "\x01" "\x00\x00\x00\x02"
    "\x3f\xf0\x00\x00\x00\x00\x00\x00" "\x40\x08\x00\x00\x00\x00\x00\x00"
    "\x00\x05" "\x01" "\x00\x00\x00\x02"
    "\x40\x10\x00\x00\x00\x00\x00\x00" "\x40\x10\x00\x00\x00\x00\x00\x00",
    55);

}  // namespace

TEST_F(GpusimReportTest, SummarisesABinaryFileWithTheModelsNames) {
  const std::string path = Write("run.bin", Header() + kBlock + kBlock.substr(0, 20));
  const Outcome text = Run("'" + path + "'");
  EXPECT_EQ(text.status, 3) << "a cut block is damage" << text.err;
  EXPECT_NE(text.out.find("binary, 1 observation blocks"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Batches: 2"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("scheduling"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("clock_steps"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("write_ok"), std::string::npos) << "variables without observations are not listed";
  EXPECT_NE(text.err.find("is damaged: it ends in an incomplete record (20 bytes ignored)"), std::string::npos)
      << text.err;

  const Outcome csv = Run("--csv '" + path + "'");
  EXPECT_EQ(csv.status, 3);
  EXPECT_EQ(csv.out,
            "pv,name,observations,mean,stddev,ci95_low,ci95_high\n"
            "0,scheduling,2,2,1.414213562,-10.70620474,14.70620474\n"
            "5,clock_steps,2,4,0,4,4\n");

  const Outcome json = Run("--json '" + path + "'");
  EXPECT_EQ(json.status, 3);
  EXPECT_NE(json.out.find("\"format\": \"binary\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"truncated_bytes\": 20"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"batches\": 2,"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"name\": \"clock_steps\", \"observations\": 2"), std::string::npos) << json.out;
}

TEST_F(GpusimReportTest, SummarisesAnAsciiFile) {
  const std::string path = Write("run.txt",
                                 "#QUELIX_SIM_ASCII_FILE,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
                                 "RANDOMGEN=Lagged Fibonacci\n#FORMAT: (PV ID Number),(PV Value)\n"
                                 "0,1.0\n0,3.0\n5,4.0\n5,4.0\n#META_DATA,BATCHES=2\n");
  const Outcome csv = Run("--csv '" + path + "'");
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out,
            "pv,name,observations,mean,stddev,ci95_low,ci95_high\n"
            "0,scheduling,2,2,1.414213562,-10.70620474,14.70620474\n"
            "5,clock_steps,2,4,0,4,4\n");
}

// The status alone tells complete (0) from unreadable (1) from damaged (3);
// a damaged file is still summarised as far as it is readable.
TEST_F(GpusimReportTest, TheStatusTellsCompleteFromDamagedFromUnreadable) {
  EXPECT_EQ(Run("").status, 2);
  EXPECT_EQ(Run("--bogus x").status, 2);
  const std::string asciiHead =
      "#QUELIX_SIM_ASCII_FILE,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
      "RANDOMGEN=Lagged Fibonacci\n#FORMAT: (PV ID Number),(PV Value)\n0,1.0\n0,3.0\n";
  std::string corrupt = kBlock;
  corrupt[3] = '\x05';
  std::string oneBatch = Header();
  oneBatch.replace(oneBatch.find("BATCHES=2"), 9, "BATCHES=1");
  const struct {
    const char* name;
    std::string bytes;
    int status;
    const char* message;
  } cases[] = {
      {"whole.bin", Header() + kBlock, 0, ""},
      {"whole.txt", asciiHead + "#META_DATA,BATCHES=2\n", 0, ""},
      {"plain.txt", "hello\n", 1, "not a results file"},
      {"corrupt.bin", Header() + kBlock + corrupt, 3, "is damaged: block at offset 311"},
      {"hugelength.bin", Header() + kBlock + "\xff\xff\xff\xff" + kBlock.substr(4), 3, "incomplete record"},
      {"count.bin", oneBatch + kBlock, 3, "the header counts 1 batches but the file holds 2 observations"},
      {"notrailer.txt", asciiHead, 3, "ends without its trailer"},
      {"trailer.txt", asciiHead + "#META_DATA,BATCHES=3\n", 3, "the trailer counts 3 batches"},
  };
  for (const auto& c : cases) {
    const Outcome o = Run("--csv '" + Write(c.name, c.bytes) + "'");
    EXPECT_EQ(o.status, c.status) << c.name << ": " << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.name << ": " << o.err;
    if (c.status != 1) {
      EXPECT_NE(o.out.find("0,scheduling,2,"), std::string::npos) << c.name;
    }
  }
  const Outcome missing = Run("'" + dir_ + "/absent.bin'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
}
