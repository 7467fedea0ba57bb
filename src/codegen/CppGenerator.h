// CppGenerator writes the C++ of a checked model: the second back end of the
// modelling language, next to the interpreter. The code has the shape of the
// built-in GPU model's generated code, class by class: a class per san with a
// typed activity class per activity and case (enabling test and firing
// effect as direct code, marking pointers cached and registered with their
// places), the case groups, a class per join, the study with the model's
// global variables and experiments, and the reward model, whose variables are
// described as RewardDescriptions with compiled functions. Objects are built in the
// interpreter's order, so the two back ends give the same results, traces
// and firing counts byte for byte.
//
// The output is two files, GeneratedModel.h and GeneratedModel.cpp; linked
// with the simulator core and its entry point they make a simulator of the
// model (GenerateStudy and DestructStudy are defined there).
//
// Thread-safe: no state outside a call.
#ifndef CODEGEN_CPPGENERATOR_H
#define CODEGEN_CPPGENERATOR_H

#include <string>

#include "model/CheckedModel.h"

namespace codegen {

struct GeneratedFiles {
  std::string header;  // GeneratedModel.h
  std::string source;  // GeneratedModel.cpp
};

GeneratedFiles GenerateCpp(const sanmodel::CheckedModel& model);

// Writes the two files into dir (created if missing); false with *error
// naming the file and the reason when one cannot be written. A file whose
// content would not change is left untouched, so builds do not redo work.
bool WriteCpp(const sanmodel::CheckedModel& model, const std::string& dir, std::string* error);

}  // namespace codegen

#endif
