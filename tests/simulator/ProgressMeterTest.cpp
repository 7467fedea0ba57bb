// The progress line: its text, and whole runs of gpusim with the error
// stream on a pseudo-terminal (through script(1)) and off one.
#include "simulator/ProgressMeter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "TestProcess.h"

namespace {

TEST(ProgressMeterTest, LineShowsRateAndWithALimitThePercentageAndTimeLeft) {
  EXPECT_EQ(ProgressMeter::LineText("replications", 2500, 10000, 0.5),
            "2500/10000 replications (25.0%), 5000/s, 2s left");
  EXPECT_EQ(ProgressMeter::LineText("batches", 7, 0, 125.0), "7 batches, 0/s, 2m05s");
  EXPECT_EQ(ProgressMeter::LineText("replications", 0, 100, 0.0), "0/100 replications (0.0%), 0/s, ? left");
}

class ProgressRunTest : public testing::Test {
 protected:
  std::string Path(const std::string& suffix) const {
    return "/tmp/gpusim-progress-" + std::to_string(::getpid()) + suffix;
  }
  void TearDown() override {
    for (const char* suffix : {".a", ".b", ".tty", ".out", ".err"}) std::remove(Path(suffix).c_str());
  }
  // Runs gpusim with standard output to a file and the error stream on a
  // fresh pseudo-terminal; returns what the terminal showed.
  std::string RunOnTerminal(const std::string& environment, const std::string& arguments) {
    const std::string command = environment + " " + GPUSIM_BINARY + " " + arguments + " >" + Path(".out");
    const testprocess::Outcome r = testprocess::RunRedirected(
        "timeout 120 script -qec \"" + command + "\" /dev/null </dev/null", Path(".tty"), Path(".err"));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
};

TEST_F(ProgressRunTest, ShownOnATerminalOnlyAndNeverChangingTheResults) {
  const std::string arguments = "-N 3000 -n 500 -s 11";
  const std::string terminal = RunOnTerminal("env -u GPUSIM_PROGRESS", arguments + " -a " + Path(".a"));
  EXPECT_NE(terminal.find("\r3000 replications in "), std::string::npos) << terminal;
  EXPECT_NE(terminal.find("SIMULATOR::MAIN()-GOOD EXIT"), std::string::npos) << terminal;

  const testprocess::Outcome plain = testprocess::RunRedirected(
      std::string("env -u GPUSIM_PROGRESS ") + GPUSIM_BINARY + " " + arguments + " -a " + Path(".b"), Path(".out"),
      Path(".err"));
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err.find('\r'), std::string::npos) << plain.err;
  EXPECT_EQ(plain.err.find("replications"), std::string::npos) << plain.err;
  EXPECT_EQ(testprocess::ReadFile(Path(".a")), testprocess::ReadFile(Path(".b")));
}

TEST_F(ProgressRunTest, TheEnvironmentVariableTurnsItOff) {
  for (const char* off : {"0", "off"}) {
    const std::string terminal = RunOnTerminal(std::string("GPUSIM_PROGRESS=") + off, "-N 200");
    EXPECT_EQ(terminal.find("replications"), std::string::npos) << off << ": " << terminal;
    EXPECT_NE(terminal.find("SIMULATOR::MAIN()-GOOD EXIT"), std::string::npos) << terminal;
  }
}

}  // namespace
