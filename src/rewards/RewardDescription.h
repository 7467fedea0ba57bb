// Reward variables described by data rather than by a class each: a
// RewardDescription names a variable's kind, time points, rate reward and impulses,
// with every reward value given as a RewardValue (a function of the current
// marking, or a constant). DescribedVariable turns one description at one time
// point into a PerformanceVariableNode with its rate workers and impulse
// workers. Models read from a file (evaluated by the interpreter) and models
// generated from a file (compiled functions) both describe their variables
// this way, so the two observe a model identically.
//
// Semantics: an instant-of-time variable takes its rate at each time point;
// an interval-of-time variable (and a steady-state one, batch by batch)
// accumulates its rate over the part of each inter-event period inside its
// window, divided by the window's length when averaged; an impulse is worth
// its value, evaluated after the firing, divided by the window's length when
// averaged. A rate reward depends on the models named in rateModels (at
// least one, so that it has a worker); an impulse watches one action of one
// model and may depend on further models.
//
// Ownership: a description's functions and contexts must outlive every node made
// from it; a node owns its impulse prototypes, each prototype its workers.
// Not thread-safe: used by the simulation thread only.
#ifndef REWARDS_REWARDDESCRIPTION_H
#define REWARDS_REWARDDESCRIPTION_H

#include <memory>
#include <string>
#include <vector>

#include "rewards/IntervalOfTimeImpulse.h"
#include "rewards/PerformanceVariableNode.h"
#include "rewards/PerformanceVariableWorker.h"

// A reward value: Function(Context), or Constant when IsConstant.
struct RewardValue {
  double (*Function)(const void* context) = nullptr;
  const void* Context = nullptr;
  bool IsConstant = false;
  double Constant = 0.0;

  double operator()() const { return IsConstant ? Constant : Function(Context); }
};

struct RewardDescription {
  enum class Kind { Instant, Interval, Steady };
  struct Impulse {
    std::string action;
    std::string model;
    std::vector<std::string> furtherModels;
    RewardValue value;
  };

  std::string name;
  Kind kind = Kind::Interval;
  bool averaged = false;
  std::vector<double> starts;  // one per time point; an instant has start == stop
  std::vector<double> stops;
  bool hasRate = false;
  RewardValue rate;
  std::vector<std::string> rateModels;
  std::vector<Impulse> impulses;
};

class DescribedRateWorker final : public PerformanceVariableWorker {
 public:
  DescribedRateWorker(const RewardValue& rate, int numModels, bool instant, double divisor);

  double Reward_Function() override { return Rate(); }
  void AccumulateRate(double t, double lastT) override;
  void CurrentReward() override { Value = Reward_Function(); }

 private:
  RewardValue Rate;
  bool Instant;
  double Divisor;
  std::vector<BaseModelClass*> BoundModels;
};

class DescribedImpulse final : public IntervalOfTimeImpulse {
 public:
  DescribedImpulse(const RewardValue& value, int numModels, double divisor);

  double Impulse_Function(double) override { return Divisor == 1.0 ? Worth() : Worth() / Divisor; }
  // As the base class credits, with a constant value taken directly.
  void Accumulate(double, double lastT) override {
    if (Credits(lastT)) Value += Worth.IsConstant ? ConstantWorth : Impulse_Function(lastT);
  }
  bool CreditsConstant(double* impulse) const override {
    *impulse = ConstantWorth;
    return Worth.IsConstant;
  }
  ImpulseNodeClass** CreateImpulseWorkerList(int n) override;

 private:
  RewardValue Worth;
  double Divisor;
  double ConstantWorth;
  std::vector<BaseModelClass*> BoundModels;
  std::vector<std::unique_ptr<DescribedImpulse> > Workers;
  std::vector<ImpulseNodeClass*> WorkerList;
};

class DescribedVariable : public PerformanceVariableNode {
 public:
  // REQUIRES: description outlives the node; 0 <= timeIndex < description.starts.size().
  DescribedVariable(const RewardDescription& description, int timeIndex);

  void CreateWorkerList() override;

 private:
  const RewardDescription& Description;
  bool Instant;
  double Divisor;
  BaseModelClass* TheTopModel = nullptr;
  std::vector<std::unique_ptr<DescribedImpulse> > Prototypes;
};

#endif
