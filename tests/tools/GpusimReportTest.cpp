// Runs the gpusim-report executable on hand-written results files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "TestProcess.h"
#include "trace/XmlLint.h"

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

  // Writes the companion metadata file that names the GPU model's six
  // variables beside the results file path, as gpusim would.
  static void Label(const std::string& path) {
    std::ofstream(path + ".meta") << "format=gpusim-metadata 1\nmodel=built-in GPU model\n"
                                     "variable=0,scheduling,interval-of-time,0:1\n"
                                     "variable=1,write_ok,interval-of-time,0:1\n"
                                     "variable=2,write_ko,interval-of-time,0:1\n"
                                     "variable=3,compute_ok,interval-of-time,0:1\n"
                                     "variable=4,compute_ko,interval-of-time,0:1\n"
                                     "variable=5,clock_steps,interval-of-time,0:1\n";
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

const std::string kCsvHeader =
    "pv,name,observations,mean,stddev,ci_low,ci_high,half_width,rel_half_width,confidence,target\n";

}  // namespace

TEST_F(GpusimReportTest, SummarisesABinaryFileWithTheModelsNames) {
  const std::string path = Write("run.bin", Header() + kBlock + kBlock.substr(0, 20));
  Label(path);
  const Outcome text = Run("'" + path + "'");
  EXPECT_EQ(text.status, 3) << "a cut block is damage" << text.err;
  EXPECT_NE(text.out.find("binary, 1 observation blocks"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("batches 2)"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Model: built-in GPU model"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("scheduling"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("clock_steps"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("write_ok"), std::string::npos) << "variables without observations are not listed";
  EXPECT_NE(text.err.find("is damaged: it ends in an incomplete record (20 bytes ignored)"), std::string::npos)
      << text.err;

  const Outcome csv = Run("--csv '" + path + "'");
  EXPECT_EQ(csv.status, 3);
  EXPECT_EQ(csv.out,
            kCsvHeader +
                "0,scheduling,2,2,1.414213562,-10.70620474,14.70620474,12.70620474,6.353102368,0.95,\n"
                "5,clock_steps,2,4,0,4,4,0,0,0.95,\n");

  const Outcome json = Run("--json '" + path + "'");
  EXPECT_EQ(json.status, 3);
  EXPECT_NE(json.out.find("\"format\": \"binary\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"truncated_bytes\": 20"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"records\": 1, \"batches\": 2, \"has_metadata\": true"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"model\": \"built-in GPU model\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"name\": \"clock_steps\", \"observations\": 2"), std::string::npos) << json.out;
}

TEST_F(GpusimReportTest, SummarisesAnAsciiFile) {
  const std::string path = Write("run.txt",
                                 "#QUELIX_SIM_ASCII_FILE,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
                                 "RANDOMGEN=Lagged Fibonacci\n#FORMAT: (PV ID Number),(PV Value)\n"
                                 "0,1.0\n0,3.0\n5,4.0\n5,4.0\n#META_DATA,BATCHES=2\n");
  Label(path);
  const Outcome csv = Run("--csv '" + path + "'");
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out,
            kCsvHeader +
                "0,scheduling,2,2,1.414213562,-10.70620474,14.70620474,12.70620474,6.353102368,0.95,\n"
                "5,clock_steps,2,4,0,4,4,0,0,0.95,\n");
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
    const std::string path = Write(c.name, c.bytes);
    Label(path);
    const Outcome o = Run("--csv '" + path + "'");
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

namespace {

// The rows of a CSV report up to the metadata columns, which name the files.
std::string Figures(const std::string& csv) {
  std::string figures;
  for (const std::string& line : testprocess::Lines(csv)) figures += line.substr(0, line.find(",0.95,")) + "\n";
  return figures;
}

class GpusimReportPoolingTest : public GpusimReportTest {
 protected:
  // An ASCII results file of a real run with the given seed.
  std::string Simulate(const std::string& name, int seed) {
    const std::string path = dir_ + "/" + name;
    const Outcome run = testprocess::RunRedirected(std::string(GPUSIM_BINARY) + " -N 400 -n 100 -s " +
                                                       std::to_string(seed) + " -a '" + path + "'",
                                                   dir_ + "/out", dir_ + "/err");
    EXPECT_EQ(run.status, 0) << run.err;
    return path;
  }
};

}  // namespace

TEST_F(GpusimReportPoolingTest, TwoFilesPoolLikeOneFileHoldingBoth) {
  const std::string a = Simulate("a.txt", 1);
  const std::string b = Simulate("b.txt", 2);
  // One file with a's header, a's observations, then b's.
  std::string both;
  for (const std::string& line : testprocess::ReadLines(a)) {
    if (line.rfind("#META", 0) != 0) both += line + "\n";
  }
  for (const std::string& line : testprocess::ReadLines(b)) {
    if (line[0] != '#') both += line + "\n";
  }
  const std::string combined = Write("both.txt", both + "#META_DATA,BATCHES=800\n");
  Write("both.txt.meta", testprocess::ReadFile(a + ".meta"));

  const Outcome pooled = Run("--csv '" + a + "' '" + b + "'");
  const Outcome single = Run("--csv '" + combined + "'");
  EXPECT_EQ(pooled.status, 0);
  EXPECT_EQ(pooled.err, "") << "different seeds: no warning";
  EXPECT_EQ(Figures(pooled.out), Figures(single.out));
  EXPECT_NE(pooled.out.find("1,write_ok,800,"), std::string::npos) << pooled.out;

  const Outcome text = Run("'" + a + "' '" + b + "'");
  EXPECT_NE(text.out.find("Pooled: 2 files, 800 observations per variable\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Generator: Lagged Fibonacci  Seed: 2"), std::string::npos) << text.out;
}

TEST_F(GpusimReportPoolingTest, WarnsWhenTwoFilesComeFromTheSameStream) {
  const std::string a = Simulate("a.txt", 5);
  const std::string b = Simulate("b.bin", 5);  // an ASCII file, whatever its name
  const Outcome r = Run("--json '" + a + "' '" + Simulate("c.txt", 6) + "' '" + b + "'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "gpusim-report: warning: " + a + " and " + b +
                       " both used seed 5 of generator Lagged Fibonacci: those observations are the same stream, not "
                       "independent ones\n");
  EXPECT_NE(r.out.find("\"seed\": 6,"), std::string::npos) << r.out;
}

TEST_F(GpusimReportPoolingTest, ConfidenceLevelSetsTheIntervalAndItsName) {
  const std::string a = Simulate("a.txt", 3);
  const Outcome r99 = Run("--confidence 0.99 --csv '" + a + "'");
  EXPECT_EQ(r99.status, 0);
  EXPECT_EQ(r99.out.rfind(kCsvHeader, 0), 0u) << r99.out;
  EXPECT_NE(r99.out.find(",0.99,\n"), std::string::npos) << r99.out;
  EXPECT_NE(Run("--confidence 0.999 '" + a + "'").out.find("99.9% confidence interval"), std::string::npos);
  for (const char* bad : {"1", "0", "95", "x", "0.9x"}) {
    EXPECT_EQ(Run(std::string("--confidence ") + bad + " '" + a + "'").status, 2) << bad;
  }
  EXPECT_EQ(Run("'" + a + "' --confidence").status, 2);
}

TEST_F(GpusimReportPoolingTest, PlotsAreDrawnAsValidSvgAndPng) {
  const std::string a = Simulate("a.txt", 4);
  const std::string svg = dir_ + "/plot.svg";
  const Outcome drawn = Run("--plot '" + svg + "' '" + a + "'");
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  std::string report;
  EXPECT_EQ(CheckWellFormed(svg, &report), 0) << report;
  const std::string picture = testprocess::ReadFile(svg);
  EXPECT_NE(picture.find("write_ok: running mean and 95% confidence band"), std::string::npos);
  EXPECT_NE(picture.find("compute_ok: histogram of 400 observations"), std::string::npos);
  EXPECT_NE(testprocess::ReadFile(svg + ".gp").find("set output"), std::string::npos) << "the script is kept";

  // A chosen variable, its reference line and its final interval.
  const Outcome chosen = Run("--plot '" + svg + "' --variables write_ok --reference write_ok=1.25 '" + a + "'");
  ASSERT_EQ(chosen.status, 0) << chosen.err;
  const std::string only = testprocess::ReadFile(svg);
  EXPECT_NE(only.find("reference 1.25"), std::string::npos);
  EXPECT_NE(only.find(", 95% interval ["), std::string::npos);
  EXPECT_EQ(only.find("compute_ok"), std::string::npos) << "not chosen";
  for (const char* bad : {"--variables nothing", "--reference write_ok=x", "--reference nothing=1", "--reference =1"}) {
    const Outcome o = Run(std::string(bad) + " --plot '" + svg + "' '" + a + "'");
    EXPECT_EQ(o.status, 2) << bad;
    EXPECT_NE(o.err.find(std::string(bad).substr(0, 11)), std::string::npos) << bad << ": " << o.err;
  }

  const std::string png = dir_ + "/plot.PNG";
  ASSERT_EQ(Run("--csv --plot '" + png + "' '" + a + "'").status, 0);
  const std::string bytes = testprocess::ReadFile(png);
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  const auto be32 = [&bytes](std::size_t at) {
    return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
           (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
  };
  EXPECT_EQ(be32(16), 1100u);        // width
  EXPECT_EQ(be32(20), 6u * 300 + 40);  // a row per reward variable
}

TEST_F(GpusimReportPoolingTest, PlotFailuresAreClearErrors) {
  const std::string a = Simulate("a.txt", 4);
  EXPECT_EQ(Run("--plot '" + dir_ + "/p.pdf' '" + a + "'").status, 2);
  const Outcome missing = testprocess::RunRedirected(
      "env PATH=/nonexistent " + std::string(GPUSIM_BUILD_DIR) + "/gpusim-report --plot '" + dir_ + "/p.svg' '" + a +
          "'",
      dir_ + "/out", dir_ + "/err");
  EXPECT_EQ(missing.status, 4);
  EXPECT_NE(missing.err.find("cannot draw " + dir_ + "/p.svg: gnuplot is not installed"), std::string::npos)
      << missing.err;
  EXPECT_NE(missing.out.find("write_ok"), std::string::npos) << "the table is still printed";
}

// Without its companion file a results file still reads; its variables are
// named by number.
TEST_F(GpusimReportTest, AFileWithoutMetadataNamesItsVariablesByNumber) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"plain.bin", Header() + kBlock},
      {"plain.txt",
       "#QUELIX_SIM_ASCII_FILE,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
       "RANDOMGEN=Lagged Fibonacci\n#FORMAT: (PV ID Number),(PV Value)\n0,1.0\n0,3.0\n5,4.0\n5,4.0\n"
       "#META_DATA,BATCHES=2\n"},
  };
  for (const auto& c : cases) {
    const Outcome o = Run("--csv '" + Write(c.name, c.bytes) + "'");
    EXPECT_EQ(o.status, 0) << c.name << ": " << o.err;
    EXPECT_EQ(o.err, "") << c.name;
    EXPECT_NE(o.out.find("\n0,pv0,2,"), std::string::npos) << c.name << ": " << o.out;
    EXPECT_NE(o.out.find("\n5,pv5,2,"), std::string::npos) << c.name << ": " << o.out;
  }
}

// A model from a file: gpusim writes its metadata beside both kinds of
// results file, and every form of the report names the model's variables.
TEST_F(GpusimReportTest, AModelFilesNamesReachTheTableCsvAndJson) {
  const std::string model = std::string(GPUSIM_SOURCE_DIR) + "/models/mm1k.san";
  const Outcome run = testprocess::RunRedirected(std::string(GPUSIM_BINARY) + " --model '" + model +
                                                     "' -t 0 -N 10 -a '" + dir_ + "/x.txt' -b '" + dir_ + "/x.bin'",
                                                 dir_ + "/sim.out", dir_ + "/sim.err");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* file : {"x.txt", "x.bin"}) {
    const std::string meta = testprocess::ReadFile(dir_ + "/" + file + ".meta");
    EXPECT_NE(meta.find("\nmodel=" + model + "\nmodel_digest=fnv1a64:"), std::string::npos) << meta;
    EXPECT_NE(meta.find("\nsimulation=steady-state\n"), std::string::npos) << meta;
    EXPECT_NE(meta.find("\nvariable=0,blocking,steady-state-interval,"), std::string::npos) << meta;
    for (const char* style : {"", "--csv ", "--json "}) {
      const Outcome o = Run(std::string(style) + "'" + dir_ + "/" + file + "'");
      EXPECT_EQ(o.status, 0) << file << " " << style << o.err;
      for (const char* name : {"blocking", "mean_in_system", "idle", "throughput"}) {
        EXPECT_NE(o.out.find(name), std::string::npos) << file << " " << style << name << "\n" << o.out;
      }
      EXPECT_EQ(o.out.find("scheduling"), std::string::npos) << file << " " << style << o.out;
    }
  }
}

// The warning compares the seeds the runs used, from the metadata, with the
// generator; every file's header below holds the same seed (31415), which
// decides only for files without metadata.
TEST_F(GpusimReportTest, RepeatedStreamsAreFoundByTheSeedsTheRunsUsed) {
  const std::string lf = "generator=Lagged Fibonacci\n";
  const std::string single5 = lf + "seed=5\n";
  const std::string merged = lf + "base_seed=1\nsimulator=0,111,local pid 1\nsimulator=1,222,local pid 2\n";
  const std::string otherMerged = lf + "base_seed=2\nsimulator=0,333,local pid 1\nsimulator=1,444,local pid 2\n";
  const struct {
    const char* name;
    std::string firstMeta;  // "-": no metadata file
    std::string secondMeta;
    std::string warning;  // empty: none
  } cases[] = {
      {"two single runs, one seed", single5, single5, "both used seed 5 of generator Lagged Fibonacci"},
      {"one seed, two generators", single5, "generator=Tausworthe\nseed=5\n", ""},
      {"two single runs, two seeds", single5, lf + "seed=6\n", ""},
      {"a merged file and a run with a simulator's seed", merged, lf + "seed=222\n", "both used seed 222 of"},
      {"one merged file twice", merged, merged, "both used seeds 111, 222 of"},
      {"merged files of two base seeds", merged, otherMerged, ""},
      {"no metadata: the header seeds", "-", "-",
       "both used seed 31415 of generator Lagged Fibonacci: those observations are the same stream, not independent "
       "ones (a file without metadata: its header's seed was compared)"},
  };
  for (const auto& c : cases) {
    const std::string first = Write("first.bin", Header() + kBlock);
    const std::string second = Write("second.bin", Header() + kBlock);
    std::remove((first + ".meta").c_str());
    std::remove((second + ".meta").c_str());
    if (c.firstMeta != "-") Write("first.bin.meta", c.firstMeta);
    if (c.secondMeta != "-") Write("second.bin.meta", c.secondMeta);
    const Outcome o = Run("--csv '" + first + "' '" + second + "'");
    EXPECT_EQ(o.status, 0) << c.name << ": " << o.err;
    if (c.warning.empty()) {
      EXPECT_EQ(o.err, "") << c.name;
    } else {
      EXPECT_NE(o.err.find("warning: " + first + " and " + second + " " + c.warning), std::string::npos)
          << c.name << ": " << o.err;
    }
  }
}

// Files whose metadata share a sweep key are the points of a sweep: a table
// each, the sweep's table ordered by the swept value, and the picture of
// each variable against it.
TEST_F(GpusimReportTest, ASweepsFilesAreItsPointsNotAPool) {
  const std::string model = std::string(GPUSIM_SOURCE_DIR) + "/models/mm1k.san";
  std::string files;
  for (const char* lambda : {"2.5", "0.5", "1.5", "1", "2"}) {
    const std::string path = dir_ + "/p" + lambda + ".bin";
    const Outcome run = testprocess::RunRedirected(std::string(GPUSIM_BINARY) + " --model '" + model +
                                                       "' -t 0 -N 20 -O d:lambda:" + lambda + " -b '" + path + "'",
                                                   dir_ + "/sim.out", dir_ + "/sim.err");
    ASSERT_EQ(run.status, 0) << run.err;
    std::ofstream(path + ".meta", std::ios::app) << "sweep=lambda\n";
    files += " '" + path + "'";
  }
  const Outcome csv = Run("--csv" + files);
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.err, "") << "the points share their seed by design: not a pool, no warning";
  const std::vector<std::string> lines = testprocess::Lines(csv.out);
  ASSERT_EQ(lines.size(), 1u + 5 * 4) << csv.out;
  EXPECT_EQ(lines[0].rfind("point,lambda,pv,name,observations,mean,", 0), 0u) << lines[0];
  const char* order[] = {"1,0.5,0,blocking,20,", "2,1,0,blocking,20,", "3,1.5,0,blocking,20,",
                         "4,2,0,blocking,20,", "5,2.5,0,blocking,20,"};
  for (int point = 0; point < 5; ++point) EXPECT_EQ(lines[1 + 4 * point].rfind(order[point], 0), 0u) << lines[1 + 4 * point];

  const Outcome text = Run(files);
  EXPECT_NE(text.out.find("Point 5: lambda=2.5\nResults file: "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Sweep over lambda: 5 points\nPoint  lambda  PV"), std::string::npos) << text.out;
  EXPECT_NE(Run("--json" + files).out.find("{\"point\": 5, \"globals\": {\"lambda\": 2.5}"), std::string::npos);

  const std::string svg = dir_ + "/sweep.svg";
  const Outcome plot = Run("--plot '" + svg + "' --variables blocking --reference blocking=0.1" + files);
  ASSERT_EQ(plot.status, 0) << plot.err;
  const std::string picture = testprocess::ReadFile(svg);
  EXPECT_NE(picture.find("blocking against lambda"), std::string::npos);
  EXPECT_NE(picture.find("reference 0.1"), std::string::npos);
  EXPECT_EQ(picture.find("throughput against"), std::string::npos);
  EXPECT_NE(testprocess::ReadFile(svg + ".gp").find("with yerrorlines"), std::string::npos);
}
