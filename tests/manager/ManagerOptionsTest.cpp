#include "manager/ManagerOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Parse(std::vector<const char*> words, ManagerOptions& options, std::string& error) {
  words.insert(words.begin(), "gpusim-manager");
  return ParseManagerOptions(static_cast<int>(words.size()), words.data(), options, error);
}

TEST(ManagerOptionsTest, ReadsItsOwnOptionsAndPassesTheRestOn) {
  ManagerOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--simulators", "4", "--seed=7", "--rel-width", "0.005", "--confidence", "0.99", "--json",
                     "--", "-r", "2", "-O", "s:size:20", "-e0"},
                    o, error))
      << error;
  EXPECT_EQ(o.simulators, 4);
  EXPECT_EQ(o.baseSeed, 7u);
  EXPECT_DOUBLE_EQ(o.precision.relWidth, 0.005);
  EXPECT_DOUBLE_EQ(o.precision.confidence, 0.99);
  EXPECT_EQ(o.output, ManagerOptions::Output::kJson);
  EXPECT_EQ(o.simulatorArguments, (std::vector<std::string>{"-r", "2", "-O", "s:size:20", "-e0"}));
  EXPECT_EQ(o.generator, 2);
  EXPECT_EQ(o.launcher, "local");
  EXPECT_GE(ManagerOptions().simulators, 0);
}

TEST(ManagerOptionsTest, AnSshStudyRunsOneSimulatorPerHostSlotUnlessToldOtherwise) {
  ManagerOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--launcher", "ssh", "--hosts", "n1,n2:3", "--ssh-command", "ssh -p 2222"}, o, error)) << error;
  EXPECT_EQ(o.simulators, 4);
  EXPECT_EQ(o.launcherSettings.at("ssh-command"), "ssh -p 2222");
  ManagerOptions k;
  ASSERT_TRUE(Parse({"--launcher", "ssh", "--hosts", "n1,n2:3", "--simulators", "8"}, k, error)) << error;
  EXPECT_EQ(k.simulators, 8);
}

TEST(ManagerOptionsTest, RejectsBadCommandLinesNamingTheProblem) {
  struct Case {
    std::vector<const char*> words;
    const char* message;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--simulators", "0"}, "--simulators"},
      {{"--simulators", "-2"}, "--simulators"},
      {{"--simulators", "two"}, "--simulators"},
      {{"--rel-width", "0"}, "--rel-width"},
      {{"--rel-width", "1"}, "--rel-width"},
      {{"--confidence", "1.5"}, "--confidence"},
      {{"--confidence", "0"}, "--confidence"},
      {{"--replications"}, "needs a value"},
      {{"--quiet=yes"}, "takes no value"},
      {{"--launcher", "carrier-pigeon"}, "unknown launcher"},
      {{"--launcher", "ssh"}, "--launcher ssh needs --hosts"},
      {{"--launcher", "ssh", "--hosts", "n1:0"}, "--hosts"},
      {{"--hosts", "n1"}, "--hosts needs --launcher ssh"},
      {{"--launcher", "ssh", "--hosts", "n1", "--slurm-args", "-p x"}, "--slurm-args needs --launcher slurm"},
      {{"--", "-s", "5"}, "--seed"},
      {{"--", "-N100"}, "--replications"},
      {{"--", "-b", "x.bin"}, "--binary"},
      {{"--", "-w"}, "connection"},
      {{"--warmup-batches", "-1"}, "--warmup-batches"},
      {{"--sweep", "lambda"}, "NAME=v1,v2"},
      {{"--sweep", "lambda=1,,2"}, "empty value"},
      {{"--sweep", "lambda=2:1:0.5"}, "FROM <= TO"},
      {{"--sweep", "lambda=0:1:0"}, "STEP > 0"},
      {{"--sweep", "lambda=0:1e9:1"}, "more than 10000 values"},
      {{"--experiments", "1;3"}, "'all' or a list"},
      {{"--sweep", "lambda=1,2", "--binary", "x.bin"}, "a folder ending in '/'"},
      {{"--binary", "out/"}, "only a sweep writes into"},
  };
  for (const Case& c : cases) {
    ManagerOptions o;
    std::string error;
    EXPECT_FALSE(Parse(c.words, o, error)) << c.words[0];
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

// The points of a sweep in odometer order (the experiment slowest, the last
// --sweep fastest), each with its -e and one -O after the user's own.
TEST(ManagerOptionsTest, ASweepPlansEveryCombinationTypedFromTheMetadata) {
  ManagerOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--experiments", "0,2", "--sweep", "K=4,5", "--sweep", "lambda=0.5:1:0.25", "--", "--model",
                     "m.san", "-O", "d:mu:2"},
                    o, error))
      << error;
  EXPECT_EQ(o.simulatorArguments[1].front(), '/') << "the model's path is made absolute";
  const ResultsMetadata metadata = ResultsMetadata::Parse(
      "experiments=3\nglobal=K,int,5\nglobal=lambda,double,1\nglobal=mu,double,1.25\n");
  std::vector<SweepPoint> points;
  ASSERT_TRUE(PlanSweep(o.experiments, o.sweeps, o.simulatorArguments, metadata, &points, &error)) << error;
  ASSERT_EQ(points.size(), 12u);
  EXPECT_EQ(DescribePoint(points[0]), "experiment=0, K=4, lambda=0.5");
  EXPECT_EQ(DescribePoint(points[1]), "experiment=0, K=4, lambda=0.75");
  EXPECT_EQ(DescribePoint(points[11]), "experiment=2, K=5, lambda=1");
  EXPECT_EQ(SweepKey(points), "experiment,K,lambda");
  const std::vector<std::string> last = {"--model", o.simulatorArguments[1],  //
                                         "-e", "2", "-O", "d:mu:2:i:K:5:d:lambda:1"};
  EXPECT_EQ(points[11].simulatorArguments, last);

  struct Refused {
    std::vector<const char*> words;
    const char* message;
  };
  const Refused refused[] = {
      {{"--sweep", "size=1,2"}, "no global of that name (its globals: K, lambda, mu)"},
      {{"--sweep", "K=1,2", "--sweep", "K=3"}, "given twice"},
      {{"--experiments", "3"}, "'3' is not an experiment of the model (it has 3"},
      {{"--experiments", "all", "--", "-e", "1"}, "-e is not accepted"},
  };
  for (const Refused& r : refused) {
    ManagerOptions each;
    ASSERT_TRUE(Parse(r.words, each, error)) << error;
    EXPECT_FALSE(PlanSweep(each.experiments, each.sweeps, each.simulatorArguments, metadata, &points, &error));
    EXPECT_NE(error.find(r.message), std::string::npos) << error;
  }
}

}  // namespace
