// A model file from arbitrary bytes, through the whole front end. The reader
// serves the same bytes for the first few paths, so imports (nested,
// repeated, cyclic, missing) are exercised too; more files would only repeat
// the same text and slow every input down (the file limit has a test of
// its own). Beyond not crashing, a
// result must be consistent: a report exactly when there are errors, and a
// checked model with a top and an experiment when there are none.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "model/ModelLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::SilenceStandardStreams();
  const std::string text(reinterpret_cast<const char*>(data), size);
  int reads = 0;
  const sanmodel::LoadResult result =
      sanmodel::LoadModel("fuzz.san", [&](const std::string&, std::string* out, std::string* error) {
        if (++reads > 4) {
          *error = "No such file or directory";
          return false;
        }
        *out = text;
        return true;
      });
  if (result.ok != result.report.empty()) __builtin_trap();
  if (result.ok != result.diagnostics.empty()) __builtin_trap();
  if (result.ok) {
    const sanmodel::CheckedModel& model = result.model;
    if (model.Top < 0 || model.Experiments.empty() || model.Instances.empty()) __builtin_trap();
    for (const sanmodel::Experiment& experiment : model.Experiments) {
      if (experiment.intValues.size() != model.Globals.size()) __builtin_trap();
    }
  }
  return 0;
}
