// ModelGroupClass is one binding of a reward worker to model instances: entry d
// of Models is the instance chosen for the worker's model dependency d.
// The group owns its array, not the models (they belong to the model tree).
#ifndef REWARDS_MODELGROUPCLASS_H
#define REWARDS_MODELGROUPCLASS_H

#include <algorithm>
#include <vector>

class BaseModelClass;

class ModelGroupClass {
 public:
  ModelGroupClass() : NumModels(0) {}

  // n null entries.
  void CreateModelList(int n) {
    Models.assign(static_cast<std::size_t>(n), nullptr);
    NumModels = n;
  }
  void SetModel(int d, BaseModelClass* m) { Models[static_cast<std::size_t>(d)] = m; }
  bool IsDependentOnModel(const BaseModelClass* m) const {
    return std::find(Models.begin(), Models.end(), m) != Models.end();
  }

  std::vector<BaseModelClass*> Models;
  int NumModels;
};

#endif
