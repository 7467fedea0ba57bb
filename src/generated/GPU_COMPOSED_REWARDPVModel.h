// GPU_COMPOSED_REWARDPVModel is the reward model of the GPU model: it wraps a
// new GPURJ and observes it with the six variables of
// GPU_COMPOSED_REWARDPVNodes.h, created in order 0 to 5. Its horizon is 1.0.
//
// Ownership: the reward model owns the GPURJ and the variable nodes (through
// PVModel); the study owns the reward model.
#ifndef GENERATED_GPU_COMPOSED_REWARDPVMODEL_H
#define GENERATED_GPU_COMPOSED_REWARDPVMODEL_H

#include "rewards/PVModel.h"

class GPU_COMPOSED_REWARDPVModel : public PVModel {
 public:
  explicit GPU_COMPOSED_REWARDPVModel(bool expandTimePoints);

  // A new node of variable pvIndex (0 to 5) for time point timeIndex; null
  // for any other pvIndex. The caller owns the node.
  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override;
};

#endif
