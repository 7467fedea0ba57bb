// The companion metadata file of the simulator's results files
// (ResultsMetadata): written when a results file is opened, so that a run cut
// short still has its labels, and printed alone by --metadata for a manager
// that must learn the variables before it starts its simulators.
#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "rewards/BaseStudyClass.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/SimulatorClass.h"
#include "text/TextFormat.h"

namespace {

constexpr unsigned int kDefaultSeed = 31415;

std::string GlobalValue(BaseStudyClass& study, int i) {
  void* value = study.GetGVValue(study.GetGVName(i));
  if (value == nullptr) return "?";
  const std::string type = study.GetGVType(i);
  if (type == "bool") return *static_cast<bool*>(value) ? "1" : "0";
  if (type == "char") return std::to_string(static_cast<int>(*static_cast<char*>(value)));
  if (type == "short") return std::to_string(*static_cast<short*>(value));
  if (type == "int") return std::to_string(*static_cast<int*>(value));
  if (type == "long") return std::to_string(*static_cast<long*>(value));
  if (type == "float") return NumberText(*static_cast<float*>(value));
  return NumberText(*static_cast<double*>(value));
}

std::string Kind(const PerformanceVariableNode& node) {
  const std::string type = node.Type == InstantOfTime ? "instant" : "interval";
  return node.IsSteadyState ? "steady-state-" + type : type + "-of-time";
}

std::string TimePoint(const PerformanceVariableNode& node) {
  if (node.Type == InstantOfTime && !node.IsSteadyState) return NumberText(node.StopTime);
  return NumberText(node.StartTime) + ":" + NumberText(node.StopTime);
}

}  // namespace

ResultsMetadata SimulatorClass::DescribeRun() const {
  ResultsMetadata m;
  m.Add("format", "gpusim-metadata 1");
  if (ModelFile.empty()) {
    m.Add("model", "built-in GPU model");
  } else {
    std::ifstream in(ModelFile, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    m.Add("model", ModelFile);
    m.Add("model_digest", ModelDigest(text.str()));
  }
  m.Add("experiment", std::to_string(Experiment));
  if (Study != nullptr) m.Add("experiments", std::to_string(Study->GetNumExps()));
  for (int i = 0; Study != nullptr && i < Study->GetNumGVs(); ++i) {
    m.Add("global", std::string(Study->GetGVName(i)) + "," + Study->GetGVType(i) + "," + GlobalValue(*Study, i));
  }
  if (!OverrideString.empty()) m.Add("overrides", OverrideString);
  m.Add("simulation", IsTerminating != 0 ? "terminating" : "steady-state");
  m.Add("generator", to_string(static_cast<RandomNumberGeneratorType>(RNGType)));
  m.Add("seed", std::to_string(Seed != 0 ? Seed : kDefaultSeed));
  m.Add("version", GPUSIM_VERSION);
  PerformanceVariableNode** nodes = RewardModel != nullptr ? RewardModel->GetPVList() : nullptr;
  for (int i = 0; nodes != nullptr && i < RewardModel->GetNumPVs(); ++i) {
    m.Add("variable", std::to_string(i) + "," + nodes[i]->Name + "," + Kind(*nodes[i]) + "," + TimePoint(*nodes[i]));
  }
  return m;
}

void SimulatorClass::WriteCompanion(const std::string& resultsPath) const {
  // A simulator built without a study (a test's configuration-only one)
  // has nothing to describe.
  if (RunMetadata.fields.empty()) return;
  struct stat file {};
  if (::stat(resultsPath.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return;
  ResultsMetadata metadata = RunMetadata;
  metadata.fields.insert(metadata.fields.begin() + 1, {"results", resultsPath});
  std::string error;
  if (!metadata.WriteFile(ResultsMetadata::PathFor(resultsPath), &error)) {
    std::cerr << "WARNING: The results file '" << resultsPath << "' has no metadata: " << error << std::endl;
  }
}
