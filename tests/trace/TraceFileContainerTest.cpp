#include "trace/TraceFileContainer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
// Records every event it receives, tagged with its own name.
class RecordingTrace : public TraceFile {
 public:
  RecordingTrace(const char* tag, std::vector<std::string>* log) : Tag(tag), Log(log) {}
  void printFooter() override { Log->push_back(Tag + ":footer"); }
  void newBatch() override { Log->push_back(Tag + ":batch"); }
  void printFireAction(BaseActionClass*, double t) override {
    Log->push_back(Tag + ":fire@" + std::to_string(static_cast<int>(t)));
  }
  void printStr(int level, const char* text) override {
    Log->push_back(Tag + ":" + std::to_string(level) + ":" + text);
  }
  void printHeader(PVModel* model) override {
    Log->push_back(Tag + (model ? ":header(model)" : ":header(none)"));
  }

 private:
  std::string Tag;
  std::vector<std::string>* Log;
};
}  // namespace

TEST(TraceFileContainerTest, PassesEveryEventToEachFileInOrder) {
  std::vector<std::string> log;
  RecordingTrace plain("plain", &log), xml("xml", &log);
  TraceFileContainer trace;
  trace.AddTraceFile(&plain);
  trace.AddTraceFile(&xml);
  trace.printHeader();
  trace.newBatch();
  trace.printFireAction(nullptr, 3.0);
  trace.printf(2, "n=%d %s", 5, "ok");
  trace.printFooter();
  std::vector<std::string> expected = {
      "plain:header(none)", "xml:header(none)", "plain:batch", "xml:batch",
      "plain:fire@3",       "xml:fire@3",       "plain:2:n=5 ok", "xml:2:n=5 ok",
      "plain:footer",       "xml:footer"};
  EXPECT_EQ(log, expected);
}

TEST(TraceFileContainerTest, LongFormattedMessagesAreCutAt999Characters) {
  std::vector<std::string> log;
  RecordingTrace file("f", &log);
  TraceFileContainer trace;
  trace.AddTraceFile(&file);
  std::string longText(1500, 'x');
  trace.printf(1, "%s", longText.c_str());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "f:1:" + std::string(999, 'x'));
}

TEST(TraceFileContainerTest, WithoutFilesEveryEventDoesNothing) {
  TraceFileContainer trace;
  trace.printHeader();
  trace.newBatch();
  trace.printFooter();
  EXPECT_EQ(trace.getNumTraceFiles(), 0);
  EXPECT_EQ(trace.printf(1, "x"), 0);
}

TEST(TraceFileTest, LevelsAndStreams) {
  TraceFile defaults;
  EXPECT_EQ(defaults.getTraceLevel(), 1);
  EXPECT_EQ(TraceLevel, 1);
  EXPECT_EQ(defaults.getStream(), nullptr);

  std::ostringstream out;
  TraceFile onStream(&out);
  EXPECT_EQ(onStream.getTraceLevel(), 0);
  EXPECT_EQ(onStream.getStream(), &out);
  onStream.setTraceLevel(3);
  EXPECT_EQ(onStream.getTraceLevel(), 3);
  EXPECT_EQ(TraceLevel, 3);

  std::string name = ::testing::TempDir() + std::to_string(getpid()) + "_trace_file_test.txt";
  {
    std::ofstream old(name);
    old << "earlier content";
  }
  {
    TraceFile onFile(name.c_str());
    *onFile.getStream() << "new";
  }
  std::ifstream in(name);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "new");
  std::remove(name.c_str());
}
