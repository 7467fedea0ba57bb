// Faults that only show while a model file runs: each stops the run with a
// message naming the file, line and expression, status 1, and results files
// that hold every replication finished before the fault, with counts that
// match their contents.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

#include "TestProcess.h"

namespace {

std::string Scratch(const std::string& name) {
  return testing::TempDir() + "run_fault_" + std::to_string(getpid()) + "_" + name;
}

// A clock ticking at rate 1 (while `enabling` holds, when given) that, on a
// rare case, meets the fault in `faulty` (a statement of the rare case's
// effect).
std::string ModelWith(const std::string& declarations, const std::string& faulty, const std::string& enabling) {
  return "global int ZERO = 0;\n"
         "san S {\n"
         "  place TICKS;\n"
         "  place A[3];\n" +
         declarations +
         "  activity TICK {\n"
         "    timed exponential(1.0);\n" +
         (enabling.empty() ? "" : "    enabled " + enabling + ";\n") +
         "    case weight 0.999 { TICKS++; }\n"
         "    case weight 0.001 { " + faulty + " }\n"
         "  }\n"
         "}\n"
         "reward ticks { interval [0, 10]; rate TICKS; }\n";
}

int CountDataLines(const std::string& ascii) {
  int n = 0;
  for (const std::string& line : testprocess::Lines(ascii))
    if (!line.empty() && line[0] != '#') ++n;
  return n;
}

TEST(RunFaultTest, AFaultStopsTheRunWithItsPlaceAndKeepsEveryFinishedReplication) {
  struct Case {
    const char* name;
    std::string declarations;
    std::string faulty;
    const char* message;
    std::string enabling;
  };
  const Case cases[] = {
      {"division", "", "TICKS = TICKS / ZERO;", "division by zero", ""},
      {"remainder", "", "TICKS %= ZERO;", "remainder by zero", ""},
      {"index", "", "A[TICKS + 3] = 1;", "is outside the array", ""},
      {"delay", "  place BAD;\n  activity SLOW { timed exponential(1.0 - BAD); enabled BAD > 0; }\n",
       "BAD = 1;", "outside the distribution's domain", ""},
      // The faulty firing leaves one instantaneous activity and no event.
      {"chain", "  place GO;\n  activity HOP { instantaneous; enabled GO > 0; fire { GO--; } }\n",
       "GO = 1; TICKS = TICKS / ZERO;", "division by zero", "GO == 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string model = Scratch(std::string(c.name) + ".san");
    std::ofstream(model) << ModelWith(c.declarations, c.faulty, c.enabling);
    const std::string ascii = Scratch("faulty.txt");
    const std::string binary = Scratch("faulty.bin");
    const testprocess::Outcome run = testprocess::RunRedirected(std::string(GPUSIM_BINARY) + " --model " + model +
                                                                    " -N 100000 -n 7 -s 3 -a " + ascii + " -b " + binary,
                                                                Scratch("out"), Scratch("err"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(model + ":"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("GOOD EXIT"), std::string::npos);

    const std::string text = testprocess::ReadFile(ascii);
    std::smatch batches;
    ASSERT_TRUE(std::regex_search(text, batches, std::regex("#META_DATA,BATCHES=([0-9]+)"))) << text;
    const int finished = std::stoi(batches[1]);
    EXPECT_GT(finished, 0);
    EXPECT_LT(finished, 100000);
    EXPECT_EQ(CountDataLines(text), finished);
    const std::string header = testprocess::ReadFile(binary).substr(0, 256);
    EXPECT_NE(header.find("BATCHES=" + std::to_string(finished) + ","), std::string::npos) << header;
    for (const std::string& f : {model, ascii, binary}) std::remove(f.c_str());
  }
}

}  // namespace
