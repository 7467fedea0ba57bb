#include "interpret/InterpretedStudy.h"

#include <cstdlib>
#include <iostream>

#include "interpret/InterpretedRewards.h"
#include "model/ConstantEvaluator.h"
#include "model/ModelLoader.h"

namespace saninterp {


InterpretedStudy::InterpretedStudy(sanmodel::CheckedModel model)
    : Checked(std::move(model)), Values(Checked.Globals) {
  for (const sanmodel::Global& g : Checked.Globals) AddGlobalVariable(g.name.c_str(), sanmodel::DeclTypeName(g.type));
  NumExps = static_cast<unsigned int>(Checked.Experiments.size());
  if (!Checked.Experiments.empty()) Values.Apply(Checked.Experiments[0]);
}

InterpretedStudy::~InterpretedStudy() {
  delete CurrentPVModel;
  CurrentPVModel = nullptr;
}

PVModel* InterpretedStudy::GetPVModel(bool expandTimePoints) {
  delete CurrentPVModel;
  CurrentPVModel = nullptr;
  CurrentPVModel = new InterpretedRewardModel(Checked, Values, expandTimePoints);
  return CurrentPVModel;
}

void InterpretedStudy::SetGVs(int experiment) {
  if (experiment < 0 || experiment >= static_cast<int>(Checked.Experiments.size())) {
    std::cout << std::flush;
    std::cerr << "ERROR: Experiment number " << experiment << " does not exist; " << Checked.Files[0] << " has "
              << Checked.Experiments.size() << " experiment(s), numbered from 0." << std::endl;
    std::exit(1);
  }
  Values.Apply(Checked.Experiments[static_cast<std::size_t>(experiment)]);
}

void InterpretedStudy::PrintGlobalValues(int experiment) {
  if (Checked.Globals.empty()) {
    std::cout << "There are no global variables." << std::endl;
    return;
  }
  SetGVs(experiment);
  std::cout << "The Global Variable values for experiment "
            << Checked.Experiments[static_cast<std::size_t>(experiment)].name << " are:" << std::endl;
  for (std::size_t g = 0; g < Checked.Globals.size(); ++g) {
    std::cout << Checked.Globals[g].name << "\t" << sanmodel::DeclTypeName(Checked.Globals[g].type) << "\t"
              << Values.Text(static_cast<int>(g)) << std::endl;
  }
}

void* InterpretedStudy::GetGVValue(const char* name) { return Values.Address(name); }

void InterpretedStudy::OverrideGVValue(const char* name, void* value) { Values.Override(name, value); }

std::unique_ptr<InterpretedStudy> LoadStudy(const std::string& path, std::ostream& err) {
  sanmodel::LoadResult loaded = sanmodel::LoadModel(path);
  if (!loaded.ok) {
    err << loaded.report << std::flush;
    return nullptr;
  }
  return std::make_unique<InterpretedStudy>(std::move(loaded.model));
}

}  // namespace saninterp
