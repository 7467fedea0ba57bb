#include "generated/GPU_COMPOSED_STUDYSetStudy.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "generated/GPU_COMPOSED_REWARDPVModel.h"

short size = 0;
BaseStudyClass* GlobalStudyPtr = nullptr;

BaseStudyClass* GenerateStudy() {
  if (GlobalStudyPtr == nullptr) GlobalStudyPtr = new GPU_COMPOSED_STUDYSetStudy();
  return GlobalStudyPtr;
}

void DestructStudy() {
  delete GlobalStudyPtr;
  GlobalStudyPtr = nullptr;
}

GPU_COMPOSED_STUDYSetStudy::GPU_COMPOSED_STUDYSetStudy() {
  AddGlobalVariable("size", "short");
  NumExps = 1;
  SizeValues.assign(NumExps, 0);
  SetValues_size();
  SetDefaultQuelixRoot("c:/Quelix-2.5/");
}

GPU_COMPOSED_STUDYSetStudy::~GPU_COMPOSED_STUDYSetStudy() {
  delete CurrentPVModel;
  CurrentPVModel = nullptr;
}

void GPU_COMPOSED_STUDYSetStudy::SetValues_size() { SizeValues[0] = 13; }

PVModel* GPU_COMPOSED_STUDYSetStudy::GetPVModel(bool expandTimePoints) {
  delete CurrentPVModel;
  CurrentPVModel = nullptr;
  CurrentPVModel = new GPU_COMPOSED_REWARDPVModel(expandTimePoints);
  return CurrentPVModel;
}

// An experiment the study does not have is bad input (option -e): it is
// reported and ends the process rather than reading past the value table.
void GPU_COMPOSED_STUDYSetStudy::SetGVs(int experiment) {
  if (experiment < 0 || experiment >= static_cast<int>(SizeValues.size())) {
    std::cerr << "!! GPU_COMPOSED_STUDYSetStudy::SetGVs: Experiment number " << experiment
              << " does not exist; the study has " << SizeValues.size() << " experiment(s), numbered from 0."
              << std::endl;
    std::exit(1);
  }
  size = SizeValues[experiment];
}

void GPU_COMPOSED_STUDYSetStudy::PrintGlobalValues(int experiment) {
  if (NumGVs == 0) {
    std::cout << "There are no global variables." << std::endl;
    return;
  }
  SetGVs(experiment);
  std::cout << "The Global Variable values for experiment " << GetExpName(experiment) << " are:" << std::endl;
  std::cout << "size\tshort\t" << size << std::endl;
}

void* GPU_COMPOSED_STUDYSetStudy::GetGVValue(const char* name) {
  if (std::strcmp("size", name) == 0) return &size;
  std::cerr << "!! GPU_COMPOSED_STUDYSetStudy::GetGVValue: Global Variable " << name << " does not exist."
            << std::endl;
  return nullptr;
}

void GPU_COMPOSED_STUDYSetStudy::OverrideGVValue(const char* name, void* value) {
  if (std::strcmp("size", name) == 0) {
    size = *static_cast<short*>(value);
    return;
  }
  std::cerr << "!! GPU_COMPOSED_STUDYSetStudy::OverrideGVValue: Global Variable " << name << " does not exist."
            << std::endl;
}
