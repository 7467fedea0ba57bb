// The six reward variables of the GPU model and their sixteen impulses. Each
// variable observes the interval [0, 1] (one time point, interval of time)
// and is a sum of impulses: a constant reward per firing of one activity of
// one submodel instance of GPURJ. No variable has a rate reward.
//
//   0 scheduling   1 per DISPATCHER of COMPUTE_UNIT
//   1 write_ok     1 per WRITE_OK of RESULT_MEMORY
//   2 write_ko     1 per WRITE_KO of RESULT_MEMORY
//   3 compute_ok   2 per COMPUTE_WITH_OK_DATA of COMPUTE_UNIT
//   4 compute_ko   0 per COMPUTE_WITH_KO_DATA of COMPUTE_UNIT (always 0)
//   5 clock_steps  eleven weighted impulses (see the constructor); two of
//                  them name OUTPUT_MEMORY actions that do not exist and so
//                  earn nothing
//
// Ownership: a variable embeds its impulse prototypes; each prototype owns
// the impulse workers it creates.
#ifndef GENERATED_GPU_COMPOSED_REWARDPVNODES_H
#define GENERATED_GPU_COMPOSED_REWARDPVNODES_H

#include <memory>
#include <vector>

#include "rewards/IntervalOfTimeImpulse.h"
#include "rewards/PerformanceVariableNode.h"

// The common shape of the generated impulses: NumModels model-pointer
// members (which the constant reward functions never read) and the list of
// workers of the same class made by CreateImpulseWorkerList.
template <class Self, int NumModels>
class GpuImpulse : public IntervalOfTimeImpulse {
 public:
  GpuImpulse() {
    for (int d = 0; d < NumModels; d++) AddModelPointerSlot(&Models[d]);
  }

  // The same crediting as the base class, with the reward function called
  // directly: the workers of a firing are credited on every event.
  void Accumulate(double, double lastT) override {
    if (Credits(lastT)) Value += static_cast<Self*>(this)->Self::Impulse_Function(lastT);
  }

  // Neither is overridden here or by the generated classes: the interval
  // impulse's completion only divides a time-averaged sum, and its Reset
  // only clears Value.
  bool HasPlainEnds() const override { return !TimeAveraged; }

  // Every generated impulse is a constant (Self::kWorth).
  bool CreditsConstant(double* impulse) const override {
    *impulse = Self::kWorth;
    return true;
  }

  ImpulseNodeClass** CreateImpulseWorkerList(int n) override {
    Workers.clear();
    WorkerList.clear();
    for (int i = 0; i < n; i++) {
      Workers.push_back(std::make_unique<Self>());
      WorkerList.push_back(Workers.back().get());
    }
    WorkerListSize = n;
    return WorkerList.data();
  }

  BaseModelClass* Models[NumModels] = {};
  std::vector<ImpulseNodeClass*> WorkerList;  // the array handed to the node
  int WorkerListSize = 0;

 private:
  std::vector<std::unique_ptr<Self> > Workers;
};

#define GPU_IMPULSE_CLASS(name, numModels, worth)                \
  class name : public GpuImpulse<name, numModels> {              \
   public:                                                       \
    static constexpr double kWorth = worth;                      \
    double Impulse_Function(double) override { return kWorth; }  \
  }

GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV0Impulse0, 1, 1.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV1Impulse0, 1, 1.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV2Impulse0, 1, 1.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV3Impulse0, 1, 2.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV4Impulse0, 1, 0.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse0, 4, 2.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse1, 4, 32.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse2, 4, 360.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse3, 4, 64.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse4, 4, 32.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse5, 4, 32.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse6, 4, 64.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse7, 4, 360.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse8, 4, 1.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse9, 4, 2.0);
GPU_IMPULSE_CLASS(GPU_COMPOSED_REWARDPV5Impulse10, 4, 32.0);

#undef GPU_IMPULSE_CLASS

// The common shape of the generated variables: the model member that
// TopModelSlot addresses, and no rate workers.
class GpuRewardVariable : public PerformanceVariableNode {
 public:
  void CreateWorkerList() override;

 protected:
  GpuRewardVariable();
  BaseModelClass* TheGPURJModel = nullptr;
};

class GPU_COMPOSED_REWARDPV0 : public GpuRewardVariable {
 public:
  explicit GPU_COMPOSED_REWARDPV0(int timeIndex);
  GPU_COMPOSED_REWARDPV0Impulse0 Impulse0;
};

class GPU_COMPOSED_REWARDPV1 : public GpuRewardVariable {
 public:
  explicit GPU_COMPOSED_REWARDPV1(int timeIndex);
  GPU_COMPOSED_REWARDPV1Impulse0 Impulse0;
};

class GPU_COMPOSED_REWARDPV2 : public GpuRewardVariable {
 public:
  explicit GPU_COMPOSED_REWARDPV2(int timeIndex);
  GPU_COMPOSED_REWARDPV2Impulse0 Impulse0;
};

class GPU_COMPOSED_REWARDPV3 : public GpuRewardVariable {
 public:
  explicit GPU_COMPOSED_REWARDPV3(int timeIndex);
  GPU_COMPOSED_REWARDPV3Impulse0 Impulse0;
};

class GPU_COMPOSED_REWARDPV4 : public GpuRewardVariable {
 public:
  explicit GPU_COMPOSED_REWARDPV4(int timeIndex);
  GPU_COMPOSED_REWARDPV4Impulse0 Impulse0;
};

class GPU_COMPOSED_REWARDPV5 : public GpuRewardVariable {
 public:
  explicit GPU_COMPOSED_REWARDPV5(int timeIndex);
  GPU_COMPOSED_REWARDPV5Impulse0 Impulse0;
  GPU_COMPOSED_REWARDPV5Impulse1 Impulse1;
  GPU_COMPOSED_REWARDPV5Impulse2 Impulse2;
  GPU_COMPOSED_REWARDPV5Impulse3 Impulse3;
  GPU_COMPOSED_REWARDPV5Impulse4 Impulse4;
  GPU_COMPOSED_REWARDPV5Impulse5 Impulse5;
  GPU_COMPOSED_REWARDPV5Impulse6 Impulse6;
  GPU_COMPOSED_REWARDPV5Impulse7 Impulse7;
  GPU_COMPOSED_REWARDPV5Impulse8 Impulse8;
  GPU_COMPOSED_REWARDPV5Impulse9 Impulse9;
  GPU_COMPOSED_REWARDPV5Impulse10 Impulse10;

 private:
  // Declares impulse: its action and model, then its further models.
  void AddClockImpulse(ImpulseNodeClass* impulse, const char* action, const char* model, const char* other1,
                       const char* other2, const char* other3);
};

#endif
