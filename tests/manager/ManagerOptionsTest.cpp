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
  };
  for (const Case& c : cases) {
    ManagerOptions o;
    std::string error;
    EXPECT_FALSE(Parse(c.words, o, error)) << c.words[0];
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

}  // namespace
