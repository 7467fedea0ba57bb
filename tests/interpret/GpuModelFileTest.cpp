// The GPU model written in the modelling language, run by the interpreter
// and compiled from its generated C++ (gpusim-gpu), against the built-in
// model: the same command line must give the same results files, traces and
// firing count, byte for byte, for every generator, several seeds, the size
// override, steady-state refusal and every way of building the affects
// relation.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "TestProcess.h"

namespace {

struct RunOutcome {
  int status = -1;
  std::string err;
  std::string firings;  // the "Actions fired:" line
  std::string ascii, binary, plainTrace, xmlTrace;
};

std::string Scratch(const std::string& name) {
  return testing::TempDir() + "gpu_model_file_" + std::to_string(getpid()) + "_" + name;
}

std::string FiringLine(const std::string& out) {
  for (const std::string& line : testprocess::Lines(out))
    if (line.rfind("Actions fired:", 0) == 0) return line;
  return "";
}

RunOutcome RunGpusim(const std::string& env, const std::string& simulator, const std::string& model,
                     const std::string& args) {
  const std::string base = Scratch("run");
  const std::string files = " -a " + base + ".txt -b " + base + ".bin -f " + base + "_trace ";
  const testprocess::Outcome o = testprocess::RunRedirected(
      "env -u SIMTEST " + env + " " + simulator + " " + model + files + args, base + ".out", base + ".err");
  RunOutcome r;
  r.status = o.status;
  r.err = o.err;
  r.firings = FiringLine(o.out);
  r.ascii = testprocess::ReadFile(base + ".txt");
  r.binary = testprocess::ReadFile(base + ".bin");
  r.plainTrace = testprocess::ReadFile(base + "_trace.txt");
  r.xmlTrace = testprocess::ReadFile(base + "_trace.xml");
  for (const char* ext : {".txt", ".bin", "_trace.txt", "_trace.xml"}) std::remove((base + ext).c_str());
  return r;
}

TEST(GpuModelFileTest, InterpretedAndCompiledFileMatchTheBuiltInModelByteForByte) {
  const std::string file = std::string("--model ") + GPUSIM_SOURCE_DIR + "/models/gpu.san";
  struct Case {
    std::string env;
    std::string args;
  };
  const Case cases[] = {
      {"", "-N 2000 -s 1 -r 0"},
      {"", "-N 2000 -s 77 -r 1"},
      {"", "-N 2000 -s 4242 -r 2"},
      {"", "-N 500 -s 9 -O s:size:20"},
      {"", "-N 300 -s 5 -m -x -l 4"},
      {"", "-N 300 -s 6 -r 2 -m -x -l 2 -O s:size:20"},
      {"", "-N 100 -t 0"},
      {"SIMTEST=0", "-N 1000 -s 3"},
      {"SIMTEST=1", "-N 1000 -s 3 -r 1"},
      {"SIMTEST=2", "-N 1000 -s 3 -r 2"},
      {"", "-N 10 -O s:size:10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.env + " " + c.args);
    const RunOutcome builtIn = RunGpusim(c.env, GPUSIM_BINARY, "", c.args);
    const RunOutcome interpreted = RunGpusim(c.env, GPUSIM_BINARY, file, c.args);
    const RunOutcome compiled = RunGpusim(c.env, std::string(GPUSIM_BUILD_DIR) + "/gpusim-gpu", "", c.args);
    for (const RunOutcome* other : {&interpreted, &compiled}) {
      SCOPED_TRACE(other == &compiled ? "compiled" : "interpreted");
      EXPECT_EQ(other->status, builtIn.status);
      EXPECT_EQ(other->firings, builtIn.firings);
      EXPECT_TRUE(other->ascii == builtIn.ascii) << "ASCII results differ";
      EXPECT_TRUE(other->binary == builtIn.binary) << "binary results differ";
      EXPECT_TRUE(other->plainTrace == builtIn.plainTrace) << "plain traces differ";
      EXPECT_TRUE(other->xmlTrace == builtIn.xmlTrace) << "XML traces differ";
      if (builtIn.status != 0) {
        EXPECT_FALSE(other->err.empty());
      }
    }
  }
}

}  // namespace
