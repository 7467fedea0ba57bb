// PerformanceVariableWorker computes the rate reward of one variable for one
// binding of model instances. A generated worker keeps one model-pointer member
// per model dependency of its variable and registers the members' addresses in
// ModelPointerSlots, in dependency order; set-up stores the bound instances
// there. Each event, the owning node calls AccumulateRate and then reads Value
// and, from its first worker, Factor.
//
// Ownership: the worker owns its name; the slots point into the worker itself;
// the bound models belong to the model tree. The owning node deletes the worker.
#ifndef REWARDS_PERFORMANCEVARIABLEWORKER_H
#define REWARDS_PERFORMANCEVARIABLEWORKER_H

#include <string>
#include <vector>

class BaseModelClass;

class PerformanceVariableWorker {
 public:
  PerformanceVariableWorker();
  PerformanceVariableWorker(const PerformanceVariableWorker&) = delete;
  PerformanceVariableWorker& operator=(const PerformanceVariableWorker&) = delete;
  virtual ~PerformanceVariableWorker();

  // The reward function of the bound instances' current state, for the
  // generated worker's own use in AccumulateRate; the framework never calls it.
  virtual double Reward_Function() = 0;
  // Brings Value, and Factor, up to date for the period (lastT, t].
  virtual void AccumulateRate(double t, double lastT) = 0;
  // Instantaneous reward of the current state; the base only complains.
  virtual void CurrentReward();
  virtual void Reset();

  // Replaces Name by a copy of name and records the worker's index.
  void DefineName(const char* name, int index);
  // Registers the address of one model-pointer member (next dependency).
  void AddModelPointerSlot(BaseModelClass** slot) { ModelPointerSlots.push_back(slot); }

  std::vector<BaseModelClass**> ModelPointerSlots;
  std::string Name;
  int Index;
  int PVID;
  double Value;
  double SquaredValue;
  double Factor;
  double StartTime;
  double StopTime;
};

#endif
