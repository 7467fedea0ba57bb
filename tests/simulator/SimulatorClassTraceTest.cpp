// Whole runs of the executable with traces: which files are written, and
// that the firings of the GPU model are traced in both formats.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "simulator/EngineTestModels.h"
#include "simulator/SimulatorClass.h"
#include "trace/TraceFileQuelix.h"
#include "trace/XmlLint.h"

namespace {

using enginetest::EngineRewardModel;
using enginetest::HandSAN;
using enginetest::Harness;
using enginetest::VariableSpec;

using RunOutput = testprocess::Outcome;
using testprocess::Lines;
using testprocess::ReadFile;

// A path in the build tree named after the running test.
std::string TestPath(const std::string& suffix) {
  return std::string(GPUSIM_BUILD_DIR) + "/trace_run_" +
         testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
}

RunOutput Gpusim(const std::string& arguments) {
  return testprocess::RunRedirected("timeout 60 " + std::string(GPUSIM_BINARY) + " " + arguments, TestPath(".out"),
                                    TestPath(".err"));
}

int ActionsFired(const std::string& out) {
  const std::string::size_type at = out.find("Actions fired: ");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 15);
}

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
  return n;
}

const std::string kStars(38, '*');
const char kFiring[] = "#### Firing: 0  Action: ";
const char kAfter[] = "#### After: ";

// Splits "<prefix>(<id>)<left>-><right>" into id, left and right; false for
// a line of another shape.
bool SplitNamed(const std::string& line, const std::string& prefix, std::vector<std::string>* parts) {
  if (line.rfind(prefix + "(", 0) != 0) return false;
  const std::string::size_type open = prefix.size(), close = line.find(')', open);
  const std::string::size_type arrow = line.find("->", close == std::string::npos ? open : close);
  if (close == std::string::npos || arrow == std::string::npos) return false;
  *parts = {line.substr(open + 1, close - open - 1), line.substr(close + 1, arrow - close - 1), line.substr(arrow + 2)};
  return !(*parts)[0].empty() && !(*parts)[1].empty() && !(*parts)[2].empty();
}

// The value of attribute name in an XML line, or "".
std::string Attribute(const std::string& line, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const std::string::size_type at = line.find(key);
  if (at == std::string::npos) return "";
  const std::string::size_type start = at + key.size();
  return line.substr(start, line.find('"', start) - start);
}
const char* const kChildren[] = {"COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY", "RESULT_MEMORY"};

// Checks that every firing line is followed by its After line naming the same
// model and group, and returns the names of the actions that fired.
std::vector<std::string> FiredActions(const std::vector<std::string>& lines) {
  std::vector<std::string> fired;
  for (size_t i = 0; i < lines.size(); i++) {
    std::vector<std::string> firing, after;
    if (!SplitNamed(lines[i], kFiring, &firing)) continue;
    size_t j = i + 1;
    while (j < lines.size() && lines[j].rfind("#### ", 0) != 0) j++;
    const bool paired = j < lines.size() && SplitNamed(lines[j], kAfter, &after);
    EXPECT_TRUE(paired) << lines[i];
    if (!paired) continue;
    EXPECT_EQ(after[0], firing[0]) << lines[j];
    EXPECT_EQ(after[1], firing[2]) << lines[j];
    EXPECT_NE(std::find(std::begin(kChildren), std::end(kChildren), firing[1]), std::end(kChildren)) << lines[i];
    fired.push_back(after[2]);
  }
  return fired;
}

TEST(TracedRunTest, PlainTraceAtLevelOneHasOneFiringAndOneAfterLinePerFiring) {
  RunOutput r = Gpusim("-N 1 -m -l 1");
  ASSERT_EQ(r.status, 0) << r.err;
  // No file name: the trace goes to standard output, announced first.
  const std::string::size_type header = r.out.find("Adding cout: \n" + kStars + "\n\t\tTRACE\n" + kStars + "\n");
  ASSERT_NE(header, std::string::npos) << r.out;
  const std::vector<std::string> lines = Lines(r.out);
  EXPECT_EQ(Count(lines, "##### NEW BATCH #####"), 2);  // before and after the replication
  EXPECT_EQ(Count(lines, "Initial Model State:"), 1);
  EXPECT_EQ(Count(lines, "  Model: ("), 5);  // the join, then its four children
  const std::vector<std::string> fired = FiredActions(lines);
  EXPECT_GT(fired.size(), 0u);
  EXPECT_EQ(static_cast<int>(fired.size()), ActionsFired(r.out));
  EXPECT_EQ(Count(lines, "#### Firing: "), ActionsFired(r.out));
  EXPECT_EQ(Count(lines, "#### After: "), ActionsFired(r.out));
  // The program starts with the dispatcher; level 1 lists no state.
  EXPECT_NE(r.out.find("#### Firing: 0  Action: (3)COMPUTE_UNIT->DISPATCHER\n"
                       "#### After: (3)DISPATCHER->DISPATCHER\n"),
            std::string::npos);
  EXPECT_EQ(Count(lines, "Enabling state"), 0);
  EXPECT_EQ(Count(lines, "Affected state"), 0);
}

TEST(TracedRunTest, PlainTraceAtLevelTwoListsEnablingAndAffectedState) {
  RunOutput r = Gpusim("-N 1 -m -l 2");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  const int fired = ActionsFired(r.out);
  EXPECT_EQ(static_cast<int>(FiredActions(lines).size()), fired);
  EXPECT_EQ(Count(lines, "Enabling state before action firing:"), fired);
  EXPECT_EQ(Count(lines, "Affected state after firing: "), fired);
  // The first dispatch: its enabling places before, then everything it may
  // change, the program's elements by their prefixed names.
  std::string expected =
      "#### Firing: 0  Action: (3)COMPUTE_UNIT->DISPATCHER\n"
      "Enabling state before action firing:\n"
      "  INST_COUNTER = -1\n"
      "  INSTRUCTION_READY = 1\n"
      "#### After: (3)DISPATCHER->DISPATCHER\n"
      "Affected state after firing: \n"
      "  INST_COUNTER = 0\n"
      "  INSTRUCTION_READY = 0\n"
      "  READ_TOTAL_MEMORY = 1\n"
      "  READ_RESULT_MEMORY = 0\n"
      "  WRITE_RESULT_MEMORY = 0\n"
      "  WRITE_OUTPUT_MEMORY = 0\n"
      "  ALU_INSTRUCTION = 0\n";
  const int program[] = {0, 0, 4, 2, 0, 1, 4, 2, 1, 0, 0, 4, 3};
  for (int i = 0; i < 13; i++)
    expected += "  SCHEDULER." + std::to_string(i) + " = " + std::to_string(program[i]) + "\n";
  expected += "#### Firing: ";
  EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
}

TEST(TracedRunTest, PlainTraceAtLevelZeroHasNoFiringLines) {
  RunOutput r = Gpusim("-N 2 -l 0");  // -l alone turns the plain trace on
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  EXPECT_GT(ActionsFired(r.out), 0);
  EXPECT_EQ(Count(lines, kStars), 2);
  EXPECT_EQ(Count(lines, "##### NEW BATCH #####"), 3);
  EXPECT_EQ(Count(lines, "Initial Model State:"), 2);  // one per replication
  EXPECT_EQ(Count(lines, "#### "), 0);
}

TEST(TracedRunTest, FileNameGivesBothTraceFilesAndTheXmlHoldsTheFirstReplication) {
  const std::string base = TestPath("");
  RunOutput r = Gpusim("-N 2 -f '" + base + "' -m -x");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Adding cout: "), std::string::npos);
  EXPECT_EQ(r.out.find(kStars), std::string::npos);
  EXPECT_EQ(r.out.find("<?xml"), std::string::npos);

  const std::vector<std::string> plain = Lines(ReadFile(base + ".txt"));
  ASSERT_GE(plain.size(), 4u);
  EXPECT_EQ(plain[0], kStars);
  // The firings of the first replication, between its two batch markers.
  std::vector<std::string> first;
  int markers = 0;
  for (const std::string& line : plain) {
    markers += line == "##### NEW BATCH #####";
    if (markers == 1) first.push_back(line);
  }
  const std::vector<std::string> firstFired = FiredActions(first);
  EXPECT_EQ(static_cast<int>(FiredActions(plain).size()), ActionsFired(r.out));
  ASSERT_GT(firstFired.size(), 0u);
  EXPECT_LT(static_cast<int>(firstFired.size()), ActionsFired(r.out));

  const std::string xmlPath = base + ".xml";
  const std::string xml = ReadFile(xmlPath);
  std::string report;
  EXPECT_EQ(CheckWellFormed(xmlPath, &report), 0) << report;
  EXPECT_EQ(ValidateWithXmllint(xmlPath, &report), 0) << report;
  const std::vector<std::string> lines = Lines(xml);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "</Sequence>");
  EXPECT_EQ(lines.back(), "</Trace>");
  // The A elements are the first replication's firings in firing order.
  std::map<std::string, std::string> names;  // action id -> name
  std::vector<std::string> xmlFired;
  for (const std::string& line : lines) {
    if (line.rfind("<Undiraction ", 0) == 0) names[Attribute(line, "id")] = Attribute(line, "name");
    if (line.rfind("<A ", 0) == 0) {
      EXPECT_EQ(Attribute(line, "t"), "0") << line;
      EXPECT_EQ(names.count(Attribute(line, "id")), 1u) << line;
      xmlFired.push_back(names[Attribute(line, "id")]);
    }
  }
  EXPECT_EQ(xmlFired, firstFired);
  EXPECT_EQ(Count(lines, "<S>"), 1);
  std::remove((base + ".txt").c_str());
  std::remove(xmlPath.c_str());
}

TEST(TracedRunTest, XmlTraceWithoutFileNameGoesToStandardOutputUnannounced) {
  RunOutput r = Gpusim("-N 1 -x");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Adding cout: "), std::string::npos);
  const std::string::size_type start = r.out.find("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n");
  const std::string::size_type end = r.out.find("</Sequence>\n</Trace>\n");
  ASSERT_NE(start, std::string::npos) << r.out;
  ASSERT_NE(end, std::string::npos) << r.out;
  EXPECT_LT(start, end);
  EXPECT_EQ(Count(Lines(r.out), "<A id="), ActionsFired(r.out));
}

TEST(TracedRunTest, UnwritableTraceFileIsAStartUpError) {
  RunOutput r = Gpusim("-N 1 -f /nonexistent-directory/run -m");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ERROR: Cannot open the trace file '/nonexistent-directory/run.txt'"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("Actions fired: "), std::string::npos);
}

// The GPU model has no steady-state variable, so the steady-state loop is
// traced on a hand-built clock: one firing per time unit, batches of 10.
TEST(TracedLoopTest, SteadyStateRunStartsWithTheInitialStateAndTracesEveryFiring) {
  auto* san = new HandSAN("CLOCK");
  Place* p = san->AddPlace("P", 1);
  san->AddActivity("TICK", {p}, {p})->Fixed(1.0);
  san->Finish();
  VariableSpec v;
  v.RatePlace = "P";
  v.Stop = 10.0;
  v.SteadyState = 1;
  EngineRewardModel model(san, {v});
  std::ostringstream out;
  TraceFileQuelix plain(&out);
  plain.setTraceLevel(1);
  {
    Harness h;
    h.Sim.IsTerminating = 0;
    h.Sim.MaxBatches = 2;
    testing::internal::CaptureStdout();
    h.Install(&model);
    h.Sim.Trace->addPVModel(&model);
    h.Sim.Trace->AddTraceFile(&plain);
    h.Sim.TraceEnabled = true;
    h.Sim.Run();
    testing::internal::GetCapturedStdout();
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "##### NEW BATCH #####");
    EXPECT_EQ(lines[1], "Initial Model State:");
    EXPECT_EQ(lines[3], "    P = 1");
    EXPECT_EQ(Count(lines, "Initial Model State:"), 1);
    EXPECT_EQ(Count(lines, "#### Firing: "), h.Sim.ActionsFired);
    EXPECT_EQ(Count(lines, "#### After: "), h.Sim.ActionsFired);
    EXPECT_EQ(Count(lines, "##### NEW BATCH #####"), 3);  // the start, then each closed batch
    const std::string id = std::to_string(san->ModelId);
    EXPECT_EQ(lines[4], "#### Firing: 1  Action: (" + id + ")CLOCK->TICK");
    EXPECT_EQ(lines[5], "#### After: (" + id + ")TICK->TICK");
  }
}

}  // namespace
