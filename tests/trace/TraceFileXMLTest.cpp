#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Cpp/TestModels.h"
#include "rewards/PVModel.h"
#include "trace/TraceFileXML.h"
#include "trace/XmlLint.h"

namespace {

using testmodels::PipelineJoin;
using testmodels::ProducerSAN;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A reward model with no variables around a child model: all the XML trace
// needs from it is the top-level model.
class TopOf : public PVModel {
 public:
  explicit TopOf(BaseModelClass* child) { ChildModel = child; }
  PerformanceVariableNode* createPVNode(int, int) override { return nullptr; }
};

const std::vector<std::string> kDocumentStart = {
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>",
    "<!DOCTYPE Trace",
    "  SYSTEM \"trace.dtd\">",
    "<Trace model=\"Example_Quelix\" generator=\"manually_generated\" >",
    "<Comment> Purpose of this trace: demonstration </Comment>",
    "<!-- TESTING declaration of processes -->",
    "<!-- Trace file of model Example_Quelix -->",
};

class XmlTraceTest : public ::testing::Test {
 protected:
  XmlTraceTest()
      : top(new PipelineJoin),
        model(*static_cast<PipelineJoin*>(top.ChildModel)),
        J(std::to_string(model.ModelId)),
        P(std::to_string(model.Producer->ModelId)),
        C(std::to_string(model.Consumer->ModelId)) {}

  std::string a(const BaseActionClass* action) { return "a" + std::to_string(action->ActionID); }

  // Header, first batch with the initial state and the producer's firing,
  // then the end of that batch.
  void TraceFirstBatch() {
    trace.printHeader(&top);
    trace.newBatch();
    trace.printInitialState(&model);
    trace.printFireAction(model.Producer->PRODUCE, 0.25);
    trace.printPreFireAction(model.Producer->PRODUCE);
    model.Producer->PRODUCE->Fire();
    trace.printPostFireAction(model.Producer->PRODUCE, model.Producer->PRODUCE);
    trace.newBatch();
  }

  std::ostringstream out;
  TraceFileXML trace{&out};
  TopOf top;
  PipelineJoin& model;
  const std::string J, P, C;  // model numbers of the join and its children
};

TEST_F(XmlTraceTest, DeclaresTheSharedPlaceOnceUnderTheJoinAndItsWritersAsInteractions) {
  trace.printHeader(&top);
  std::vector<std::string> expected = kDocumentStart;
  // The join's process comes first and declares the shared place; each
  // child's process follows (not nested) with its unshared places only. No
  // action is local: every one changes the shared buffer, so each is an
  // interaction touching the join and its own process.
  std::vector<std::string> rest = {
      "<Process id=\"p" + J + "\" name=\"Pipeline\" >",
      "<Var id=\"p" + J + "BUFFER\" name=\"BUFFER\" />",
      "</Process>",
      "<Process id=\"p" + P + "\" name=\"PRODUCER" + P + "\" >",
      "<Var id=\"p" + P + "SOURCE\" name=\"SOURCE\" />",
      "</Process>",
      "<Process id=\"p" + C + "\" name=\"CONSUMER" + C + "\" >",
      "<Var id=\"p" + C + "DONE_A\" name=\"DONE_A\" />",
      "<Var id=\"p" + C + "DONE_B\" name=\"DONE_B\" />",
      "</Process>",
      "<Interactions>",
      "<Undiraction id=\"" + a(model.Producer->PRODUCE) + "\" name=\"PRODUCE\">",
      "<Touch>p" + J + "</Touch><Touch>p" + P + "</Touch></Undiraction>",
      "<Undiraction id=\"" + a(model.Consumer->CONSUME_case1) + "\" name=\"CONSUME_case1\">",
      "<Touch>p" + J + "</Touch><Touch>p" + C + "</Touch></Undiraction>",
      "<Undiraction id=\"" + a(model.Consumer->CONSUME_case2) + "\" name=\"CONSUME_case2\">",
      "<Touch>p" + J + "</Touch><Touch>p" + C + "</Touch></Undiraction>",
      "</Interactions>",
      "<!-- process sequence -->",
      "<Sequence type=\"StateActionType\">",
  };
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(Lines(out.str()), expected);
  // Every process learnt its parent: the children the join, the join itself.
  EXPECT_EQ(model.ParentId, model.ModelId);
  EXPECT_EQ(model.Producer->ParentId, model.ModelId);
  EXPECT_EQ(model.Consumer->ParentId, model.ModelId);
}

TEST_F(XmlTraceTest, SequenceHoldsTheFirstBatchAndTheSecondBatchClosesTheDocument) {
  TraceFirstBatch();
  std::vector<std::string> lines = Lines(out.str());
  std::vector<std::string> sequence(lines.end() - 12, lines.end());
  // The state: the join's shared place, then each child's unshared places.
  // A firing lists what it changed, the shared place under its declarer.
  EXPECT_EQ(sequence, (std::vector<std::string>{
                          "<S>",
                          "<V id=\"p" + J + "BUFFER\" val=\"0\" />",
                          "<V id=\"p" + P + "SOURCE\" val=\"2\" />",
                          "<V id=\"p" + C + "DONE_A\" val=\"0\" />",
                          "<V id=\"p" + C + "DONE_B\" val=\"0\" />",
                          "</S>",
                          "<A id=\"" + a(model.Producer->PRODUCE) + "\" t=\"0.25\">",
                          "  <V id=\"p" + P + "SOURCE\"  val=\"1\" />",
                          "  <V id=\"p" + J + "BUFFER\"  val=\"1\" />",
                          "</A>",
                          "</Sequence>",
                          "</Trace>",
                      }));

  // The document is closed: later batches, states, firings and headers are
  // ignored.
  const std::string closed = out.str();
  trace.printInitialState(&model);
  trace.printFireAction(model.Producer->PRODUCE, 1.0);
  trace.printPostFireAction(model.Producer->PRODUCE, model.Producer->PRODUCE);
  trace.newBatch();
  trace.printHeader(&top);
  EXPECT_EQ(out.str(), closed);
  EXPECT_EQ(trace.getBatchCount(), 2);
}

TEST_F(XmlTraceTest, NothingIsWrittenBeforeTheFirstBatchOrAfterAHeaderComesTooLate) {
  // Before the first batch the sequence events write nothing...
  trace.printInitialState(&model);
  trace.printPostFireAction(model.Producer->PRODUCE, model.Producer->PRODUCE);
  EXPECT_EQ(out.str(), "");
  // ...and once a batch has begun the header is no longer written.
  trace.newBatch();
  trace.printHeader(&top);
  EXPECT_EQ(out.str(), "");
}

TEST_F(XmlTraceTest, RunThatNeverCompletesABatchLeavesTheDocumentOpen) {
  trace.printHeader(&top);
  trace.newBatch();
  trace.printInitialState(&model);
  EXPECT_EQ(Lines(out.str()).back(), "</S>");
  EXPECT_EQ(out.str().find("</Trace>"), std::string::npos);
}

TEST_F(XmlTraceTest, ModelMapAnswersWithTheSmallestDeclarerWithinTheLimit) {
  trace.printHeader(&top);
  const int j = model.ModelId, p = model.Producer->ModelId, c = model.Consumer->ModelId;
  EXPECT_EQ(trace.getModelMap("BUFFER", c), j);
  EXPECT_EQ(trace.getModelMap("BUFFER", j), j);
  EXPECT_EQ(trace.getModelMap("BUFFER", j - 1), -1);
  EXPECT_EQ(trace.getModelMap("SOURCE", p), p);
  EXPECT_EQ(trace.getModelMap("SOURCE", j), -1);  // declared by the producer only
  EXPECT_EQ(trace.getModelMap("NOWHERE", c), -1);
  EXPECT_TRUE(trace.inUsedStateName("BUFFER"));
  EXPECT_FALSE(trace.inUsedStateName("SOURCE"));  // unshared names are not "used"
}

TEST(XmlTraceNamesTest, SharedNameIsRecordedOnceByTheOutermostJoin) {
  TraceFileXML trace;
  // An outer join 3 (its own parent) shares X first.
  EXPECT_TRUE(trace.addUsedStateName("X", 3, 3));
  // An inner join 7 inside join 3, or inside a later join 5, finds X taken.
  EXPECT_FALSE(trace.addUsedStateName("X", 3, 7));
  EXPECT_FALSE(trace.addUsedStateName("X", 5, 7));
  // A join whose parent comes before X's first user records X again.
  EXPECT_TRUE(trace.addUsedStateName("X", 2, 2));
  EXPECT_TRUE(trace.inUsedStateName("X"));
  EXPECT_FALSE(trace.inUsedStateName("Y"));
  EXPECT_TRUE(trace.addState("s"));
  EXPECT_FALSE(trace.addState("s"));
}

TEST(XmlTraceAtomicTest, AtomicTopModelDeclaresItsLocalActionsAndEscapesNames) {
  std::ostringstream out;
  TraceFileXML trace(&out);
  TopOf top(new ProducerSAN);
  BaseModelClass& model = *top.ChildModel;
  model.DefineName("P&Q");
  const std::string p = std::to_string(model.ModelId);
  const std::string a = "a" + std::to_string(model.Actions[0]->ActionID);
  trace.printHeader(&top);
  std::vector<std::string> lines = Lines(out.str());
  std::vector<std::string> body(lines.begin() + 7, lines.end());
  EXPECT_EQ(body, (std::vector<std::string>{
                      "<Process id=\"p" + p + "\" name=\"P&amp;Q" + p + "\" >",
                      "<Action id=\"" + a + "\" name=\"PRODUCE\" />",
                      "<Var id=\"p" + p + "SOURCE\" name=\"SOURCE\" />",
                      "<Var id=\"p" + p + "BUFFER\" name=\"BUFFER\" />",
                      "</Process>",
                      "<Interactions>",
                      "</Interactions>",
                      "<!-- process sequence -->",
                      "<Sequence type=\"StateActionType\">",
                  }));
}

TEST_F(XmlTraceTest, DocumentIsValidAgainstTheShippedDocumentType) {
  TraceFirstBatch();
  const std::string path = ::testing::TempDir() + "xml_trace_test_valid.xml";
  std::ofstream(path) << out.str();
  std::string report;
  EXPECT_EQ(ValidateWithXmllint(path, &report), 0) << report;

  // The document type does check references: a firing of an undeclared
  // action is rejected.
  std::string broken = out.str();
  const std::string firing = "<A id=\"" + a(model.Producer->PRODUCE) + "\"";
  broken.replace(broken.find(firing), firing.size(), "<A id=\"a999999\"");
  std::ofstream(path) << broken;
  EXPECT_NE(ValidateWithXmllint(path, &report), 0);
  EXPECT_NE(report.find("a999999"), std::string::npos) << report;
  std::remove(path.c_str());
}

}  // namespace
