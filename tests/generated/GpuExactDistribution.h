// GpuExactDistribution: the exact probability distribution of the six reward
// variables of one replication of the composed GPU model, found by walking
// every reachable marking of the model.
//
// It is an independent reference for the simulator: the model is written here
// again, straight from its description (places, enabling predicates, firing
// effects and impulse values), without any class of the framework or of the
// generated model. The semantics it assumes are the simulator's for a model
// made only of instantaneous activities of rank 1 and weight 1: at each step
// every enabled activity (an activity with cases counts once) is equally
// likely to fire next; an activity with cases then picks one of its enabled
// cases in proportion to the case weights (0.5 and 0.5 here). A replication
// ends when nothing is enabled; all firings happen at time 0, inside the
// variables' interval [0, 1], so every impulse counts.
//
// Not thread-safe; a value type that owns its tables.
#ifndef TESTS_GENERATED_GPU_EXACT_DISTRIBUTION_H
#define TESTS_GENERATED_GPU_EXACT_DISTRIBUTION_H

#include <array>
#include <map>
#include <vector>

namespace gpu_reference {

constexpr int kNumRewardVariables = 6;
// Reward variable numbers, in the order the reward model creates them.
enum RewardVariable { kScheduling, kWriteOk, kWriteKo, kComputeOk, kComputeKo, kClockSteps };

using RewardValues = std::array<double, kNumRewardVariables>;

// The instruction program the generated study loads into SCHEDULER.
std::vector<short> DefaultProgram();

class GpuExactDistribution {
 public:
  // size: the length of SCHEDULER; program: its first elements (the others
  // hold 0). REQUIRES: program.size() <= size.
  explicit GpuExactDistribution(int size = 13, const std::vector<short>& program = DefaultProgram());

  // Probability of each joint outcome of the six variables.
  const std::map<RewardValues, double>& Joint() const { return joint_; }
  // Probability of each value of one variable.
  std::map<double, double> Marginal(int variable) const;
  double Mean(int variable) const;
  double Variance(int variable) const;
  // Firings of one replication: the fewest and the most over all outcomes.
  int MinFirings() const { return min_firings_; }
  int MaxFirings() const { return max_firings_; }
  // Number of distinct reachable (marking, rewards-so-far) states visited.
  int StatesVisited() const { return states_visited_; }

 private:
  std::map<RewardValues, double> joint_;
  int min_firings_ = 0;
  int max_firings_ = 0;
  int states_visited_ = 0;
};

}  // namespace gpu_reference

#endif
