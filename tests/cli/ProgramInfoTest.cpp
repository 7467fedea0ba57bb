// --help and --version of every user executable, run as a user runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "TestProcess.h"

namespace {

testprocess::Outcome RunTool(const std::string& program, const std::string& arguments) {
  const std::string base = "/tmp/gpusim-programinfo-" + std::to_string(::getpid());
  return testprocess::RunRedirected(std::string(GPUSIM_BUILD_DIR) + "/" + program + " " + arguments, base + ".out",
                                    base + ".err");
}

struct InfoCase {
  const char* program;
  const char* arguments;
  const char* expectedStart;  // of standard output
};

TEST(ProgramInfoTest, HelpAndVersionGoToStandardOutputWithStatusZero) {
  const std::string version = GPUSIM_VERSION;
  const InfoCase cases[] = {
      {"gpusim", "--help", "Usage: gpusim [--model FILE] [options]\n"},
      {"gpusim", "-h", "Usage: gpusim [--model FILE] [options]\n"},
      {"gpusim", "-N 5 -h", "Usage: gpusim [--model FILE] [options]\n"},
      {"gpusim", "--version", "gpusim "},
      {"gpusim", "-V", "gpusim "},
      {"gpusim-report", "--help", "Usage: gpusim-report [options]"},
      {"gpusim-report", "-h", "Usage: gpusim-report [options]"},
      {"gpusim-report", "--version", "gpusim-report "},
      {"gpusim-report", "--csv -V", "gpusim-report "},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.arguments);
    const testprocess::Outcome r = RunTool(c.program, c.arguments);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(c.expectedStart, 0), 0u) << r.out;
    if (std::string(c.expectedStart).back() == ' ') {
      EXPECT_EQ(r.out, c.expectedStart + version + "\n");
    }
  }
}

// Every option each parser takes, as --help must name it (the manual pages
// are made from --help).
TEST(ProgramInfoTest, HelpNamesEveryOption) {
  const std::pair<const char*, std::vector<std::string>> tools[] = {
      {"gpusim",
       {"--model", "--check", "--metadata", "-a", "-b", "-c", "-e", "-f", "-i", "-l", "-m", "-n", "-N", "-O", "-p", "-r", "-s", "-t",
        "-w", "-x", "-h", "--help", "-V", "--version"}},
      {"gpusim-manager",
       {"--simulators", "--seed", "--replications", "--rel-width", "--abs-width", "--confidence",
        "--min-replications", "--max-seconds", "--report-size", "--start-timeout", "--binary", "--csv", "--json",
        "--quiet", "--gpusim", "--launcher", "--slurm-args", "--hosts", "--remote-gpusim", "--ssh-command", "-h",
        "--help", "-V", "--version"}},
      {"gpusim-report", {"--csv", "--json", "--confidence", "--plot", "-h", "--help", "-V", "--version"}},
      {"gpusim-gen", {"-o", "--depfile", "-h", "--help", "-V", "--version"}},
  };
  for (const auto& tool : tools) {
    const std::string help = RunTool(tool.first, "--help").out;
    for (const std::string& option : tool.second) {
      // An option is named at the start of a help line, alone or before ", ", " " or " |".
      const bool named = help.find("\n  " + option + " ") != std::string::npos ||
                         help.find("\n  " + option + ",") != std::string::npos ||
                         help.find(", " + option + " ") != std::string::npos ||
                         help.find("| " + option + " ") != std::string::npos;
      EXPECT_TRUE(named) << tool.first << " --help does not name " << option;
    }
  }
}

TEST(ProgramInfoTest, OtherUnknownOptionsKeepTheirErrors) {
  const testprocess::Outcome simulator = RunTool("gpusim", "--verbose");
  EXPECT_EQ(simulator.status, 1);
  EXPECT_EQ(simulator.out, "");
  EXPECT_NE(simulator.err.find("ERROR: Unrecognized Command Line option: --verbose\n"), std::string::npos);
  EXPECT_NE(simulator.err.find("ERROR: Parsing command line options"), std::string::npos);
  EXPECT_EQ(RunTool("gpusim-report", "--verbose x.bin").status, 2);
}

}  // namespace
