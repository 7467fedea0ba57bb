#include "simulator/SimulatorClass.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "TestProcess.h"

namespace {

using testprocess::ReadLines;

// A configuration-only simulator with NumPVs variables and no model: the
// output side needs nothing else.
class OutputTest : public ::testing::Test {
 protected:
  OutputTest() : Sim(Echo, Errors) {}
  void SetUp() override {
    Ascii = ::testing::TempDir() + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
  }
  void TearDown() override { std::remove(Ascii.c_str()); }

  void StartPackets(int numPVs, int reportSize) {
    Sim.NumPVs = numPVs;
    Sim.ReportSize = reportSize;
    Sim.ValuePacket = Sim.CreateDataPacket(numPVs);
    Sim.SquarePacket = Sim.CreateDataPacket(numPVs);
  }
  // Fills the current report: variable i gets counts[i] values base + i + j/10.
  void Fill(const std::vector<int>& counts, double base) {
    for (int i = 0; i < Sim.NumPVs; ++i) {
      Sim.ValuePacket->Counts[i] = counts[i];
      Sim.SquarePacket->Counts[i] = counts[i];
      for (int j = 0; j < counts[i]; ++j) Sim.ValuePacket->Value(i, j) = base + i + j / 10.0;
    }
  }

  std::ostringstream Echo, Errors;
  SimulatorClass Sim;
  std::string Ascii;
};

}  // namespace

TEST_F(OutputTest, AsciiValueTextTrimsZerosButKeepsOneDecimal) {
  EXPECT_EQ(SimulatorClass::AsciiValueText(1.5), "1.5");
  EXPECT_EQ(SimulatorClass::AsciiValueText(2.0), "2.0");
  EXPECT_EQ(SimulatorClass::AsciiValueText(0.1234567891), "0.1234567891");
  EXPECT_EQ(SimulatorClass::AsciiValueText(1e-12), "0.0");
  EXPECT_EQ(SimulatorClass::AsciiValueText(-3.25), "-3.25");
  EXPECT_EQ(SimulatorClass::AsciiValueText(0.0), "0.0");
  EXPECT_EQ(SimulatorClass::AsciiValueText(100.0), "100.0");  // zeros before the point stay
  EXPECT_EQ(SimulatorClass::AsciiValueText(1e20), "100000000000000000000.0");
  EXPECT_EQ(SimulatorClass::AsciiValueText(-1.7976931348623157e308).size(), 1u + 309u + 2u);
}

TEST_F(OutputTest, AsciiFileHasHeaderPvMajorLinesAndTrailer) {
  Sim.Seed = 0;  // shown as the default seed
  Sim.Experiment = 2;
  Sim.RNGType = 2;
  Sim.AsciiFileName = Ascii;
  Sim.AsciiFile = Sim.CreateAsciiFile(Ascii);
  StartPackets(3, 4);
  Fill({2, 0, 1}, 1.0);  // variable 1 has no observation in this report
  Sim.RunState = 1;
  EXPECT_TRUE(Sim.CheckReportSize(0.0));
  Sim.Batches = 7;
  Sim.CloseAsciiFileChecked();
  EXPECT_EQ(ReadLines(Ascii), (std::vector<std::string>{
                                  "#QUELIX_SIM_ASCII_FILE,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=2,"
                                  "SEED=31415,RANDOMGEN=Mersenne Twister",
                                  "#FORMAT: (PV ID Number),(PV Value)",
                                  "0,1.0",
                                  "0,1.1",
                                  "2,3.0",
                                  "#META_DATA,BATCHES=7",
                              }));
  EXPECT_EQ(Sim.ExitStatus, 0);
}

TEST_F(OutputTest, DefaultHeaderNamesTheDefaultGenerator) {
  Sim.AsciiFile = Sim.CreateAsciiFile(Ascii);
  Sim.AsciiFile->close();
  EXPECT_EQ(ReadLines(Ascii).front(),
            "#QUELIX_SIM_ASCII_FILE,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
            "RANDOMGEN=Lagged Fibonacci");
}

TEST_F(OutputTest, WithoutSinksTheOutputStepStillRecyclesEveryPacket) {
  StartPackets(1, 2);
  Fill({2}, 0.0);
  EXPECT_TRUE(Sim.CheckReportSize(0.0));
  EXPECT_EQ(Sim.FullPackets->Count(), 0);
  EXPECT_EQ(Sim.FreePackets->Count(), 2);
  EXPECT_EQ(Sim.OutputCount, 2);
  // The next hand-over reuses the two recycled packets.
  Fill({1}, 0.0);
  Sim.CheckReportSize(0.0);
  EXPECT_EQ(Sim.FreePackets->Count(), 2);
}

TEST_F(OutputTest, AFastRunIsThrottledUntilTwentyFiveReportsWait) {
  Sim.AsciiFile = Sim.CreateAsciiFile(Ascii);
  StartPackets(1, 1);
  std::vector<bool> ran;
  for (int report = 0; report < 40; ++report) {
    Fill({1}, report);
    ran.push_back(Sim.CheckReportSize(0.0));
  }
  // The first ten hand-overs are written at once; then reports wait until
  // FullPackets holds 50 packets, and those 25 are written together.
  for (int r = 0; r < 10; ++r) EXPECT_TRUE(ran[r]) << r;
  for (int r = 10; r < 34; ++r) EXPECT_FALSE(ran[r]) << r;
  EXPECT_TRUE(ran[34]);
  for (int r = 35; r < 40; ++r) EXPECT_FALSE(ran[r]) << r;
  EXPECT_EQ(Sim.FullPackets->Count(), 10);  // five reports still held back

  // A finishing run's report is never held back, and drains the queue.
  Sim.RunState = 1;
  Fill({1}, 40);
  EXPECT_TRUE(Sim.CheckReportSize(0.0));
  EXPECT_EQ(Sim.RunState, 2);
  Sim.AsciiFile->flush();
  std::vector<std::string> lines = ReadLines(Ascii);
  ASSERT_EQ(lines.size(), 2u + 41u);
  for (int r = 0; r <= 40; ++r) EXPECT_EQ(lines[2 + r], "0," + SimulatorClass::AsciiValueText(r)) << r;
}

TEST_F(OutputTest, SlowOutputIsNeverThrottled) {
  StartPackets(1, 1);
  for (int report = 0; report < 20; ++report) {
    Fill({1}, report);
    EXPECT_TRUE(Sim.CheckReportSize(100.0));  // 100 CPU seconds: far above 0.2 per step
  }
}

TEST_F(OutputTest, AnAsciiFileThatCannotBeOpenedIsAStartUpError) {
  const std::string name = ::testing::TempDir() + std::to_string(getpid()) + "_no/such/dir/out.txt";
  EXPECT_EXIT(Sim.CreateAsciiFile(name), testing::ExitedWithCode(1),
              "ERROR: Unable to open ASCII results file '" + name + "': No such file or directory");
}

TEST_F(OutputTest, AFailedWriteStopsTheRunWithAFailureStatus) {
  // /dev/full accepts the open and fails every write with "no space".
  std::ifstream probe("/dev/full");
  if (!probe) GTEST_SKIP() << "no /dev/full on this machine";
  Sim.AsciiFileName = "/dev/full";
  // Opened directly: CreateAsciiFile would refuse it at its header.
  Sim.AsciiFile = std::make_unique<std::ofstream>("/dev/full");
  StartPackets(1, 1);
  Fill({1}, 1.0);
  testing::internal::CaptureStderr();
  Sim.CheckReportSize(0.0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: Unable to write ASCII results file '/dev/full': No space left on device"),
            std::string::npos)
      << err;
  EXPECT_EQ(Sim.RunState, 2);
  EXPECT_EQ(Sim.ExitStatus, 1);
  EXPECT_EQ(Sim.AsciiFile, nullptr);  // closed; nothing more is attempted
  Sim.CloseAsciiFileChecked();
  EXPECT_EQ(Sim.ExitStatus, 1);
}

// ---------------------------------------------------------------------------
// Whole runs of the program
// ---------------------------------------------------------------------------

namespace {

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& name) {
  std::ifstream in(name);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

RunResult RunGpusim(const std::string& arguments) {
  const std::string base = ::testing::TempDir() + std::to_string(getpid()) + "_output_run_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string command =
      "timeout 60 " + std::string(GPUSIM_BINARY) + " " + arguments + " >" + base + ".out 2>" + base + ".err";
  const int raw = std::system(command.c_str());
  RunResult r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(base + ".out"), ReadAll(base + ".err")};
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

}  // namespace

TEST(GpusimOutputRunTest, AnAsciiFileThatCannotBeOpenedStopsTheRunBeforeItStarts) {
  RunResult r = RunGpusim("-N 2 -a /no/such/dir/out.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: Unable to open ASCII results file '/no/such/dir/out.txt': No such file or directory\n");
  EXPECT_EQ(r.out.find("SIMULATOR::Preparing to run()"), std::string::npos);
}

TEST(GpusimOutputRunTest, AFullDiskEndsTheRunWithAFailureStatus) {
  if (!std::ifstream("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
  RunResult r = RunGpusim("-N 5 -n 1 -a /dev/full");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("ERROR: Unable to write ASCII results file '/dev/full': No space left on device"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("GOOD EXIT"), std::string::npos);
  EXPECT_EQ(r.err.find("GOOD EXIT"), std::string::npos);
}

TEST(GpusimOutputRunTest, AnAsciiRunIsReproducible) {
  const std::string base = ::testing::TempDir() + std::to_string(getpid());
  const std::string a = base + "_repro_a.txt", b = base + "_repro_b.txt";
  ASSERT_EQ(RunGpusim("-N 20 -n 6 -s 99 -a " + a).status, 0);
  ASSERT_EQ(RunGpusim("-N 20 -n 6 -s 99 -a " + b).status, 0);
  const std::string first = ReadAll(a);
  EXPECT_EQ(first, ReadAll(b));
  EXPECT_NE(first.find("#META_DATA,BATCHES=20\n"), std::string::npos);
  std::remove(a.c_str());
  std::remove(b.c_str());
}
