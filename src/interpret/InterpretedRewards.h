// InterpretedRewardModel is the reward side of a model file: the PVModel
// over the model tree built from the checked model. It describes each
// reward as a RewardDescription whose values are compiled expressions, and makes
// one DescribedVariable per reward and time point. A rate reward depends on
// the instances its expression reads (the first instance when it reads
// none); an impulse on every case of an activity becomes one impulse per
// case. Instance names are unique in a checked model's tree, so every
// dependency binds exactly one model.
//
// Ownership: the reward model owns the model tree (as ChildModel), the
// compiled reward code and the nodes. The checked model and the global
// values must outlive it.
#ifndef INTERPRET_INTERPRETEDREWARDS_H
#define INTERPRET_INTERPRETEDREWARDS_H

#include <memory>
#include <string>
#include <vector>

#include "interpret/CompiledCode.h"
#include "interpret/GlobalValues.h"
#include "interpret/InterpretedSan.h"
#include "model/CheckedModel.h"
#include "rewards/PVModel.h"
#include "rewards/RewardDescription.h"

namespace saninterp {

class InterpretedRewardModel : public PVModel {
 public:
  InterpretedRewardModel(const sanmodel::CheckedModel& model, const GlobalValues& globals, bool expandTimePoints);
  InterpretedRewardModel(const InterpretedRewardModel&) = delete;
  InterpretedRewardModel& operator=(const InterpretedRewardModel&) = delete;

  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override;

 private:
  // What a reward value's function evaluates: one compiled root.
  struct CompiledValue {
    const CompiledCode* code;
    int root;
  };

  static double Evaluate(const void* context);
  void CompileRewards();
  RewardValue Value(const sanmodel::Expr& e);
  CompileScope RewardScope() const;
  double TimePoint(const sanmodel::Expr& e) const;

  const sanmodel::CheckedModel& Model;
  const GlobalValues& Globals;
  std::vector<InterpretedSan*> Sans;  // by instance
  CompiledCode Code;
  std::vector<std::unique_ptr<CompiledValue> > Values;  // stable addresses: the descriptions point at them
  std::vector<RewardDescription> Descriptions;
};

}  // namespace saninterp

#endif
