// The XML trace's declarations for the composed GPU model, built in-process so
// that every action can be matched with the process it belongs to.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "generated/GPURJ.h"
#include "generated/GPU_COMPOSED_STUDYSetStudy.h"
#include "rewards/PVModel.h"
#include "trace/TraceFileXML.h"

namespace {

class TopOf : public PVModel {
 public:
  explicit TopOf(BaseModelClass* child) { ChildModel = child; }
  PerformanceVariableNode* createPVNode(int, int) override { return nullptr; }
};

const char* const kShared[] = {"KO_READ",           "MEM_OP_COMPLETE", "OK_READ",
                               "READ_RESULT_MEMORY", "READ_TOTAL_MEMORY", "RESULT_KO",
                               "RESULT_OK",          "WRITE_OUTPUT_MEMORY", "WRITE_RESULT_MEMORY"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(GpuTraceDeclarationsTest, SharedPlacesBelongToTheJoinAndEveryWriterIsAnInteraction) {
  size = 13;
  TopOf top(new GPURJ);
  auto& gpu = *static_cast<GPURJ*>(top.ChildModel);
  std::ostringstream out;
  TraceFileXML trace(&out);
  trace.printHeader(&top);
  const std::vector<std::string> lines = Lines(out.str());
  const std::string j = std::to_string(gpu.ModelId);

  // The join's process comes first and declares exactly the nine shared
  // places; no other process declares them again.
  std::vector<std::string> joinProcess;
  for (size_t i = 7; i < lines.size() && lines[i] != "</Process>"; i++) joinProcess.push_back(lines[i]);
  std::vector<std::string> expected = {"<Process id=\"p" + j + "\" name=\"Join\" >"};
  for (const char* name : kShared)
    expected.push_back("<Var id=\"p" + j + name + "\" name=\"" + name + "\" />");
  EXPECT_EQ(joinProcess, expected);
  for (const char* name : kShared) {
    int declared = 0;
    for (const std::string& line : lines)
      if (line.find("<Var ") == 0 && line.find(std::string("name=\"") + name + "\"") != std::string::npos)
        declared++;
    // OUTPUT_MEMORY keeps RESULT_OK and RESULT_KO of its own, unshared.
    const bool alsoLocal = std::string(name) == "RESULT_OK" || std::string(name) == "RESULT_KO";
    EXPECT_EQ(declared, alsoLocal ? 2 : 1) << name;
  }

  // Every action of every child changes a shared place, so none is a local
  // Action; each is an interaction touching the join and its own process.
  EXPECT_EQ(out.str().find("<Action "), std::string::npos);
  std::map<std::string, std::string> touches;  // "a<id>" -> its Touch line
  for (size_t i = 0; i + 1 < lines.size(); i++) {
    if (lines[i].find("<Undiraction id=\"") != 0) continue;
    const std::string id = lines[i].substr(17, lines[i].find('"', 17) - 17);
    EXPECT_TRUE(touches.emplace(id, lines[i + 1]).second) << "declared twice: " << id;
  }
  int actions = 0;
  for (int c = 0; c < gpu.GetNumberOfChildren(); c++) {
    BaseModelClass* child = gpu.GetChild(c);
    for (int k = 0; k < child->NumActions; k++, actions++) {
      const std::string id = "a" + std::to_string(child->Actions[k]->ActionID);
      ASSERT_EQ(touches.count(id), 1u) << child->Name << "->" << child->Actions[k]->Name;
      EXPECT_EQ(touches[id], "<Touch>p" + j + "</Touch><Touch>p" + std::to_string(child->ModelId) +
                                 "</Touch></Undiraction>");
    }
  }
  EXPECT_EQ(actions, 20);
  EXPECT_EQ(touches.size(), 20u);
}

}  // namespace
