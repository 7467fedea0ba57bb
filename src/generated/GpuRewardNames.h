// The names of the GPU model's reward variables, in the order the simulator
// numbers them, for the tools that print results.
#ifndef GPU_REWARD_NAMES_H
#define GPU_REWARD_NAMES_H

#include <string>
#include <vector>

inline const std::vector<std::string>& GpuRewardNames() {
  static const std::vector<std::string> names = {"scheduling", "write_ok",   "write_ko",
                                                 "compute_ok", "compute_ko", "clock_steps"};
  return names;
}

#endif
