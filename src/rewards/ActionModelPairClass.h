// ActionModelPairClass names the action an impulse watches and the model it
// belongs to. Both names are owned copies; SetPair replaces earlier ones.
#ifndef REWARDS_ACTIONMODELPAIRCLASS_H
#define REWARDS_ACTIONMODELPAIRCLASS_H

#include <string>

class ActionModelPairClass {
 public:
  void SetPair(const char* action, const char* model) {
    ActionName = action;
    ModelName = model;
  }

  std::string ModelName;
  std::string ActionName;
};

#endif
