#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Cpp/TestModels.h"
#include "trace/TraceFileQuelix.h"

namespace {

using testmodels::PipelineJoin;

const std::string kStars(38, '*');

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Id(const BaseModelClass* m) { return "(" + std::to_string(m->ModelId) + ")"; }

class QuelixTraceTest : public ::testing::Test {
 protected:
  // One firing of the consumer's case group: the group is announced, case 1
  // fires and moves the buffer's token to DONE_A.
  void TraceOneFiring(int level) {
    trace.setTraceLevel(level);
    model.BUFFER->setMark(1);
    BaseActionClass* group = model.Consumer->CONSUMEGroup;
    trace.printFireAction(group, 0.123456789);
    trace.printPreFireAction(group);
    model.Consumer->CONSUME_case1->Fire();
    trace.printPostFireAction(group, model.Consumer->CONSUME_case1);
  }

  std::ostringstream out;
  TraceFileQuelix trace{&out};
  PipelineJoin model;
};

TEST_F(QuelixTraceTest, HeaderBatchMarkersAndStatesAreWrittenEvenAtLevelZero) {
  trace.setTraceLevel(0);
  trace.printHeader(nullptr);
  trace.newBatch();
  TraceOneFiring(0);
  trace.newBatch();
  trace.printFooter();
  EXPECT_EQ(Lines(out.str()),
            (std::vector<std::string>{kStars, "\t\tTRACE", kStars, "##### NEW BATCH #####", "##### NEW BATCH #####"}));
}

TEST_F(QuelixTraceTest, LevelOneNamesTheFiringAndWhatFired) {
  TraceOneFiring(1);
  const std::string consumer = Id(model.Consumer);
  // Six significant digits; the After line names the group, then the case.
  EXPECT_EQ(Lines(out.str()), (std::vector<std::string>{
                                  "#### Firing: 0.123457  Action: " + consumer + "CONSUMER->CONSUMEGroup",
                                  "#### After: " + consumer + "CONSUMEGroup->CONSUME_case1",
                              }));
}

TEST_F(QuelixTraceTest, LevelTwoAddsEnablingStateBeforeAndAffectedStateAfter) {
  model.Consumer->DONE_A->SetPrefix("OUT");
  TraceOneFiring(2);
  const std::string consumer = Id(model.Consumer);
  // The enabling state is the group's first member's, read before the firing;
  // the affected state is the fired case's, read after it. The shared buffer
  // is listed by the join's place that the actions now name.
  EXPECT_EQ(Lines(out.str()), (std::vector<std::string>{
                                  "#### Firing: 0.123457  Action: " + consumer + "CONSUMER->CONSUMEGroup",
                                  "Enabling state before action firing:",
                                  "  BUFFER = 1",
                                  "#### After: " + consumer + "CONSUMEGroup->CONSUME_case1",
                                  "Affected state after firing: ",
                                  "  BUFFER = 0",
                                  "  OUT.DONE_A = 1",
                              }));
  // Levels above 2 add nothing.
  std::string atTwo = out.str();
  out.str("");
  TraceOneFiring(4);
  EXPECT_EQ(Lines(out.str()).size(), Lines(atTwo).size());
}

TEST_F(QuelixTraceTest, StateListsTheComposedModelThenEachChildWithItsPlaces) {
  model.Producer->SOURCE->SetPrefix("IN");
  trace.printInitialState(&model);
  EXPECT_EQ(Lines(out.str()), (std::vector<std::string>{
                                  "Initial Model State:",
                                  "  Model: " + Id(&model) + "Pipeline",
                                  "  Model: " + Id(model.Producer) + "PRODUCER",
                                  "    IN.SOURCE = 2",
                                  "    BUFFER = 0",
                                  "  Model: " + Id(model.Consumer) + "CONSUMER",
                                  "    BUFFER = 0",
                                  "    DONE_A = 0",
                                  "    DONE_B = 0",
                              }));
}

TEST(QuelixTraceFileTest, WritesToItsNamedFileLineByLineAndRedirectsTrout) {
  const std::string path = ::testing::TempDir() + "quelix_trace_test.txt";
  std::ostream* before = trout;
  {
    TraceFileQuelix trace(path.c_str());
    EXPECT_EQ(trout, trace.getStream());
    EXPECT_EQ(trace.getTraceLevel(), 0);
    trace.printHeader(nullptr);
    trace.newBatch();
    // Read while the trace is still open: every line must already be flushed.
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(Lines(text.str()), (std::vector<std::string>{kStars, "\t\tTRACE", kStars, "##### NEW BATCH #####"}));
  }
  trout = before;
  std::remove(path.c_str());
}

TEST(QuelixTraceFileTest, DefaultConstructedTraceHasNoStreamAndWritesNothing) {
  std::ostream* before = trout;
  TraceFileQuelix trace;
  EXPECT_EQ(trace.getStream(), nullptr);
  EXPECT_EQ(trace.getTraceLevel(), 1);
  EXPECT_EQ(trout, before);
  PipelineJoin model;
  trace.printHeader(nullptr);
  trace.newBatch();
  trace.printInitialState(&model);
  trace.printFireAction(model.Producer->PRODUCE, 0.0);
  trace.printPostFireAction(model.Producer->PRODUCE, model.Producer->PRODUCE);
}

}  // namespace
