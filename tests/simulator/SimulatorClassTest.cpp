#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "random/UserDistributions.h"
#include "simulator/SimulatorClass.h"

namespace {

const char kUsage[] =
    "Valid Options\n"
    "-a <name>: write ASCII output to file <name>\n"
    "-b <name>: write binary output to file <name>\n"
    "-c <num>: Client identification number (default=0)\n"
    "-e <num>: Experiment to run, 'Experiment 1' is num=0 (default = 0)\n"
    "-f <name>: Trace file name (default=<stdout>)\n"
    "-m: Enable Quelix trace \n"
    "-l <num>: Trace Level (1, 2,3,4 [default=1])\n"
    "-x: Enable XML trace \n"
    "-n <num>: Num observations sent in 1 update to SimMgr. (default=1000)\n"
    "-N <num>: Maximum number of batches to run (default=infinite)\n"
    "-p <num>: Communication port of network server (default=10000)\n"
    "-i <address>: Numeric IPv4 address the network server listens on (default=every interface)\n"
    "-r <num>: Random Number Generator (0 = Lagged Fibonacci[default], 1 = Tausworthe, 2 = "
    "Mersenne Twister\n"
    "-s <num>: Random Number Seed (31415[default])\n"
    "-t <num>: Simulation Type (1 = Terminating[default] 0 = Steady State)\n"
    "-w: Simulator will wait to send output until socket connection is established.\n"
    "\n";

const char kParsingError[] = "ERROR: Parsing command line options\n";

// Parses a command line (the program name is added) on a configuration-only
// simulator and keeps what it wrote.
struct Parsed {
  explicit Parsed(std::initializer_list<std::string> arguments) : sim(out, err) {
    words.push_back("gpusim");
    words.insert(words.end(), arguments);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    result = sim.ParseCommandLineOptions(static_cast<int>(words.size()), argv.data());
  }
  std::vector<std::string> words;
  std::ostringstream out, err;
  SimulatorClass sim;
  short result;
};

TEST(CommandLineTest, EveryOptionSetsItsFieldAndEchoesExactly) {
  Parsed p({"-a", "out.txt", "-b", "out.bin", "-c", "7", "-e", "2", "-f", "run1", "-l", "3",
            "-n", "50", "-N", "9", "-O", "size=4", "-p", "8000", "-i", "127.0.0.1", "-r", "1", "-s", "7", "-t", "0",
            "-w", "-x"});
  ASSERT_EQ(p.result, 0) << p.err.str();
  EXPECT_EQ(p.out.str(),
            "ASCIIFilename: out.txt\n"
            "BinFilename: out.bin\n"
            "ClientID: 7\n"
            "Experiment: 2\n"
            "TraceFile: run1\n"
            "TraceLevel: 3\n"
            "ReportSize: 50\n"
            "Max Number of Batches: 9\n"
            "OverrideString is size=4\n"
            "Port: 8000\n"
            "Listen Address: 127.0.0.1\n"
            "Random Number Generator: Tausworthe\n"
            "Random Number Seed: 7\n"
            "Is Terminating Simulation: 0\n"
            "Wait For Socket Enabled\n");
  EXPECT_EQ(p.err.str(), "");
  const SimulatorClass& s = p.sim;
  EXPECT_EQ(s.AsciiFileName, "out.txt");
  EXPECT_EQ(s.BinaryFileName, "out.bin");
  EXPECT_EQ(s.ClientId, 7);
  EXPECT_EQ(s.Experiment, 2u);
  EXPECT_EQ(s.TraceFileName, "run1");
  EXPECT_EQ(s.RequestedTraceLevel, 3);
  EXPECT_EQ(s.ReportSize, 50);
  EXPECT_EQ(s.MaxBatches, 9);
  EXPECT_EQ(s.OverrideString, "size=4");
  EXPECT_EQ(s.Port, 8000);
  EXPECT_EQ(s.ListenAddress, "127.0.0.1");
  EXPECT_EQ(s.RNGType, 1);
  EXPECT_EQ(s.Seed, 7u);
  EXPECT_EQ(s.IsTerminating, 0);
  EXPECT_TRUE(s.WaitForConnection);
  EXPECT_TRUE(s.XMLTrace);
  EXPECT_FALSE(s.QuelixTrace);  // -f with -x gives only the XML trace
}

TEST(CommandLineTest, DefaultsWhenOnlyUnrelatedWordsAreGiven) {
  Parsed p({"stray", "words"});
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(p.out.str(), "");
  const SimulatorClass& s = p.sim;
  EXPECT_EQ(s.ReportSize, 1000);
  EXPECT_EQ(s.MaxBatches, 0);
  EXPECT_EQ(s.Port, 10000);
  EXPECT_EQ(s.Seed, 31415u);
  EXPECT_EQ(s.RNGType, 0);
  EXPECT_EQ(s.IsTerminating, 1);
  EXPECT_EQ(s.RequestedTraceLevel, 1);
  EXPECT_FALSE(s.QuelixTrace || s.XMLTrace || s.WaitForConnection);
}

TEST(CommandLineTest, JoinedAndSeparateParametersAreEquivalent) {
  Parsed joined({"-p8000", "-s7", "-rr"});  // "r" is not a number: type 0
  Parsed separate({"-p", "8000", "-s", "7", "-r", "0"});
  ASSERT_EQ(joined.result, 0);
  ASSERT_EQ(separate.result, 0);
  EXPECT_EQ(joined.out.str(), separate.out.str());
  EXPECT_EQ(joined.out.str(),
            "Port: 8000\nRandom Number Seed: 7\nRandom Number Generator: Lagged Fibonacci\n");
}

TEST(CommandLineTest, NumbersAreReadLikeAtoi) {
  Parsed p({"-e-1", "-s", "3000000000", "-c", "12abc", "-n", "ten"});
  EXPECT_EQ(p.out.str(),
            "Experiment: 4294967295\n"
            "Random Number Seed: 3000000000\n"
            "ClientID: 12\n"
            "ReportSize: 0\n");
  EXPECT_EQ(p.sim.Seed, 3000000000u);
  EXPECT_EQ(p.sim.ReportSize, 0);
}

TEST(CommandLineTest, ReportSizeBelowOneIsRefusedAfterItsEcho) {
  for (const char* size : {"-n0", "-n-5", "-nnone"}) {
    Parsed p({size});
    EXPECT_EQ(p.result, 1) << size;
    EXPECT_NE(p.err.str().find("ERROR: Report size (-n) must be at least 1"), std::string::npos);
  }
  Parsed zero({"-n", "0"});
  EXPECT_EQ(zero.out.str(), "ReportSize: 0\n");
  EXPECT_EQ(zero.err.str(), "ERROR: Report size (-n) must be at least 1, got 0\n");
}

TEST(CommandLineTest, MissingParameterIsReportedForEachOptionThatNeedsOne) {
  for (const char* option : {"-a", "-b", "-c", "-e", "-f", "-i", "-l", "-n", "-N", "-O", "-p", "-r",
                             "-s", "-t"}) {
    Parsed last({option});
    EXPECT_EQ(last.result, 1) << option;
    EXPECT_EQ(last.err.str(), std::string("Expect a parameter after '") + option + "'\n");
    // An argument that begins with '-' is never taken as a parameter.
    Parsed beforeOption({option, "-x"});
    EXPECT_EQ(beforeOption.result, 1) << option;
    EXPECT_EQ(beforeOption.err.str(), last.err.str());
  }
}

TEST(CommandLineTest, FlagsRefuseAParameter) {
  for (const char* flag : {"-m", "-w", "-x"}) {
    Parsed separate({flag, "file"});
    EXPECT_EQ(separate.result, 1);
    EXPECT_EQ(separate.err.str(), std::string("Did not expect a parameter after '") + flag + "'\n");
    Parsed joined({std::string(flag) + "file"});
    EXPECT_EQ(joined.result, 1);
    EXPECT_EQ(joined.err.str(), separate.err.str());
  }
}

TEST(CommandLineTest, GeneratorOutOfRangeFailsSilently) {
  for (const char* value : {"-r3", "-r-1", "-r7"}) {
    Parsed p({value});
    EXPECT_EQ(p.result, 1) << value;
    EXPECT_EQ(p.err.str(), "");
    EXPECT_EQ(p.out.str(), "");
  }
  Parsed mt({"-r", "2"});
  EXPECT_EQ(mt.out.str(), "Random Number Generator: Mersenne Twister\n");
}

TEST(CommandLineTest, ArgumentLengthLimitAppliesToOptionsNotSeparateParameters) {
  const std::string longName(129, 'a');
  Parsed tooLong({"-a" + std::string(127, 'a')});
  EXPECT_EQ(tooLong.result, 1);
  EXPECT_EQ(tooLong.err.str(), "ERROR: Command Line Argument Too Long, Limited to 128 Characters\n");
  Parsed longWord({longName});
  EXPECT_EQ(longWord.result, 1);
  Parsed atLimit({"-a" + std::string(126, 'a')});
  EXPECT_EQ(atLimit.result, 0);
  Parsed separate({"-a", longName});
  EXPECT_EQ(separate.result, 0);
  EXPECT_EQ(separate.sim.AsciiFileName, longName);
}

TEST(CommandLineTest, UnknownOptionStopsParsingAfterEarlierEchoes) {
  Parsed p({"-c", "3", "-q", "-s", "9"});
  EXPECT_EQ(p.result, 1);
  EXPECT_EQ(p.out.str(), "ClientID: 3\n");
  EXPECT_EQ(p.err.str(), "ERROR: Unrecognized Command Line option: -q\n");
  EXPECT_EQ(p.sim.Seed, 31415u);
  Parsed dash({"-"});
  EXPECT_EQ(dash.result, 1);
  EXPECT_EQ(dash.err.str(), "ERROR: Unrecognized Command Line option: -\n");
  Parsed whole({"-qlong"});
  EXPECT_EQ(whole.err.str(), "ERROR: Unrecognized Command Line option: -qlong\n");
}

TEST(CommandLineTest, TraceFileOrLevelAloneTurnsOnThePlainTrace) {
  Parsed file({"-f", "run1"});
  EXPECT_TRUE(file.sim.QuelixTrace);
  EXPECT_FALSE(file.sim.XMLTrace);
  Parsed level({"-l", "2"});
  EXPECT_TRUE(level.sim.QuelixTrace);
  Parsed both({"-f", "run1", "-x"});
  EXPECT_FALSE(both.sim.QuelixTrace);
  EXPECT_TRUE(both.sim.XMLTrace);
  Parsed none({"-N", "1"});
  EXPECT_FALSE(none.sim.QuelixTrace);
}

TEST(CommandLineTest, NoArgumentsIsAnError) {
  Parsed p({});
  EXPECT_EQ(p.result, 1);
  EXPECT_EQ(p.err.str(), "ERROR: No command line options specified\n");
}

TEST(CommandLineTest, UsageTextIsExact) {
  std::ostringstream out, err;
  SimulatorClass sim(out, err);
  sim.PrintUsage();
  EXPECT_EQ(err.str(), kUsage);
  EXPECT_EQ(out.str(), "");
}

TEST(SimulatorClassTest, GeneratorTypeNames) {
  EXPECT_EQ(to_string(RandomNumberGeneratorType::LaggedFibonacci), "Lagged Fibonacci");
  EXPECT_EQ(to_string(RandomNumberGeneratorType::Tausworthe), "Tausworthe");
  EXPECT_EQ(to_string(RandomNumberGeneratorType::MersenneTwister), "Mersenne Twister");
  EXPECT_EQ(to_string(static_cast<RandomNumberGeneratorType>(7)), "Unknown");
  EXPECT_EQ(to_string(static_cast<RandomNumberGeneratorType>(-1)), "Unknown");
}

// Builds a simulator in this process; the generator it installs is replaced
// by a fresh lagged Fibonacci afterwards so that other tests see the default.
template <class Check>
void ConstructAndCheck(std::vector<std::string> words, Check check) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  {
    SimulatorClass sim(static_cast<int>(words.size()), argv.data());
    check();
  }
  testing::internal::GetCapturedStdout();
  TheDistribution->setGenerator(new LaggedFibonacci());
}

TEST(SimulatorClassTest, GeneratorIsReplacedBeforeSeeding) {
  ConstructAndCheck({"gpusim", "-r", "2", "-s", "5489"}, [] {
    MersenneTwister reference;
    reference.srnd(5489);
    ASSERT_NE(dynamic_cast<MersenneTwister*>(TheDistribution->getGenerator()), nullptr);
    EXPECT_EQ(TheDistribution->getGenerator()->rnd(), reference.rnd());
  });
}

TEST(SimulatorClassTest, SeedZeroMeansTheDefaultSeed) {
  ConstructAndCheck({"gpusim", "-r", "1", "-s", "0"}, [] {
    Tausworthe reference;
    reference.srnd(31415);
    ASSERT_NE(dynamic_cast<Tausworthe*>(TheDistribution->getGenerator()), nullptr);
    EXPECT_EQ(TheDistribution->getGenerator()->rnd(), reference.rnd());
  });
}

TEST(SimulatorClassTest, DefaultGeneratorIsKept) {
  RandomNumberGenerator* before = TheDistribution->getGenerator();
  ConstructAndCheck({"gpusim", "-r", "0"}, [before] {
    EXPECT_EQ(TheDistribution->getGenerator(), before);
  });
}

// ---------------------------------------------------------------------------
// Whole runs of the executable.

using RunResult = testprocess::Outcome;

RunResult RunGpusim(const std::string& arguments) {
  const std::string base = std::string(GPUSIM_BUILD_DIR) + "/simulator_test_" +
                           testing::UnitTest::GetInstance()->current_test_info()->name();
  return testprocess::RunRedirected("timeout 60 " + std::string(GPUSIM_BINARY) + " " + arguments, base + ".out",
                                    base + ".err");
}

TEST(GpusimRunTest, NoArgumentsPrintsUsageAndFails) {
  RunResult r = RunGpusim("");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            std::string("ERROR: No command line options specified\n") + kUsage + kParsingError);
}

TEST(GpusimRunTest, OptionErrorsPrintTheirMessageThenUsage) {
  const std::string longOption = "-a" + std::string(127, 'x');
  const struct {
    std::string arguments;
    std::string message;
  } cases[] = {
      {"-r3", ""},
      {"-N 3 -r", "Expect a parameter after '-r'\n"},
      {"-m file", "Did not expect a parameter after '-m'\n"},
      {longOption, "ERROR: Command Line Argument Too Long, Limited to 128 Characters\n"},
      {"-z", "ERROR: Unrecognized Command Line option: -z\n"},
      {"-O", "Expect a parameter after '-O'\n"},
      {"-n 0", "ERROR: Report size (-n) must be at least 1, got 0\n"},
      {"-n many", "ERROR: Report size (-n) must be at least 1, got 0\n"},
      {"-i localhost", "ERROR: Listen address (-i) must be a numeric IPv4 address, got 'localhost'\n"},
      {"-i 127.0.0", "ERROR: Listen address (-i) must be a numeric IPv4 address, got '127.0.0'\n"},
  };
  for (const auto& c : cases) {
    RunResult r = RunGpusim(c.arguments);
    EXPECT_EQ(r.status, 1) << c.arguments;
    EXPECT_EQ(r.err, c.message + kUsage + kParsingError) << c.arguments;
  }
}

TEST(GpusimRunTest, ShortRunWalksThroughToAGoodExit) {
  RunResult r = RunGpusim("-N 3");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Max Number of Batches: 3\n", 0), 0u) << r.out;
  // Three replications of the GPU model fire its activities.
  const std::string fired = "SIMULATOR::Preparing to run()\nActions fired: ";
  const std::string::size_type at = r.out.find(fired);
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_GT(std::atoi(r.out.c_str() + at + fired.size()), 0) << r.out;
  EXPECT_NE(r.out.find("\nCPU time (s): ", at), std::string::npos) << r.out;
  const std::string goodExit = "SIMULATOR::MAIN()-GOOD EXIT\n";
  ASSERT_GE(r.out.size(), goodExit.size());
  EXPECT_EQ(r.out.substr(r.out.size() - goodExit.size()), goodExit);
  EXPECT_EQ(r.err, goodExit);
}

TEST(GpusimRunTest, SeedWithTheTopBitSetFinishes) {
  RunResult r = RunGpusim("-s 3000000000 -N 1");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Random Number Seed: 3000000000\n"), std::string::npos);
  EXPECT_EQ(r.err, "SIMULATOR::MAIN()-GOOD EXIT\n");
}

}  // namespace
