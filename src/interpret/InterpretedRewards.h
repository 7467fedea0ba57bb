// The reward side of a model file, through the framework's reward classes:
//
//   InterpretedRewardModel: the PVModel over the model tree built from the
//     checked model; it compiles every reward's rate and impulse values once
//     and makes one node per reward and time point.
//   RewardNode: one reward at one time point. Its rate reward depends on the
//     instances its rate expression reads (at least one, so that it has a
//     worker); each impulse watches one action of one instance (one impulse
//     per case for an impulse on every case of an activity) and depends on
//     the further instances its value reads.
//   RateWorker: evaluates the rate expression. For an interval of time its
//     Factor is the part of (lastT, t] inside the node's window (divided by
//     the window's length when averaged); for an instant of time it is 1.
//   RewardImpulse: evaluates an impulse's value after the firing; an
//     averaged reward divides it by its window's length.
//
// Instance names are unique in a checked model's tree, so every dependency
// binds exactly one model and every node has at most one rate worker and
// one worker per impulse.
//
// Ownership: the reward model owns the model tree (as ChildModel), the
// compiled reward code and the nodes; a node owns its impulse prototypes,
// each prototype its workers. The checked model and the global values must
// outlive the reward model.
#ifndef INTERPRET_INTERPRETEDREWARDS_H
#define INTERPRET_INTERPRETEDREWARDS_H

#include <memory>
#include <string>
#include <vector>

#include "interpret/CompiledCode.h"
#include "interpret/GlobalValues.h"
#include "interpret/InterpretedSan.h"
#include "model/CheckedModel.h"
#include "rewards/IntervalOfTimeImpulse.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "rewards/PerformanceVariableWorker.h"

namespace saninterp {

class RateWorker : public PerformanceVariableWorker {
 public:
  RateWorker(const CompiledCode* code, int root, int numModels, bool instant, double divisor);

  double Reward_Function() override { return Code->AsReal(Root, &Scratch); }
  void AccumulateRate(double t, double lastT) override;
  void CurrentReward() override { Value = Reward_Function(); }

 private:
  const CompiledCode* Code;
  int Root;
  bool Instant;
  double Divisor;
  Slot Scratch{0};
  std::vector<BaseModelClass*> BoundModels;
};

class RewardImpulse : public IntervalOfTimeImpulse {
 public:
  RewardImpulse(const CompiledCode* code, int root, int numModels, double divisor);

  double Impulse_Function(double) override;
  // As the base class credits, with a constant value taken directly.
  void Accumulate(double, double lastT) override {
    if (Credits(lastT)) Value += IsConstant ? ConstantValue : Impulse_Function(lastT);
  }
  ImpulseNodeClass** CreateImpulseWorkerList(int n) override;

 private:
  const CompiledCode* Code;
  int Root;
  double Divisor;
  bool IsConstant = false;
  double ConstantValue = 0.0;
  Slot Scratch{0};
  std::vector<BaseModelClass*> BoundModels;
  std::vector<std::unique_ptr<RewardImpulse> > Workers;
  std::vector<ImpulseNodeClass*> WorkerList;
};

// What a reward's nodes share: its compiled code roots and dependencies.
struct CompiledReward {
  int rateRoot = -1;
  std::vector<std::string> rateModels;  // instance names the rate reads
  struct ImpulseOf {
    std::string action;
    std::string model;
    std::vector<std::string> furtherModels;
    int root = -1;
  };
  std::vector<ImpulseOf> impulses;
  std::vector<double> starts;
  std::vector<double> stops;
};

class RewardNode : public PerformanceVariableNode {
 public:
  RewardNode(const sanmodel::Reward& decl, const CompiledReward& compiled, const CompiledCode* code, int timeIndex);

  void CreateWorkerList() override;

 private:
  const CompiledReward& Compiled;
  const CompiledCode* Code;
  bool Instant;
  double Divisor;
  BaseModelClass* TheTopModel = nullptr;
  std::vector<std::unique_ptr<RewardImpulse> > Prototypes;
};

class InterpretedRewardModel : public PVModel {
 public:
  InterpretedRewardModel(const sanmodel::CheckedModel& model, const GlobalValues& globals, bool expandTimePoints);
  InterpretedRewardModel(const InterpretedRewardModel&) = delete;
  InterpretedRewardModel& operator=(const InterpretedRewardModel&) = delete;

  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override;

 private:
  void CompileRewards();
  CompileScope RewardScope() const;
  double TimePoint(const sanmodel::Expr& e) const;

  const sanmodel::CheckedModel& Model;
  const GlobalValues& Globals;
  std::vector<InterpretedSan*> Sans;  // by instance
  CompiledCode Code;
  std::vector<CompiledReward> Rewards;
};

}  // namespace saninterp

#endif
