// VarModelPairClass names one state variable a rate reward depends on and the
// model it belongs to. Both names are owned copies.
#ifndef REWARDS_VARMODELPAIRCLASS_H
#define REWARDS_VARMODELPAIRCLASS_H

#include <string>

class VarModelPairClass {
 public:
  void SetPair(const char* variable, const char* model) {
    VariableName = variable;
    ModelName = model;
  }

  std::string ModelName;
  std::string VariableName;
};

#endif
