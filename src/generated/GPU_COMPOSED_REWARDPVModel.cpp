#include "generated/GPU_COMPOSED_REWARDPVModel.h"

#include "generated/GPU_COMPOSED_REWARDPVNodes.h"
#include "generated/GPURJ.h"

GPU_COMPOSED_REWARDPVModel::GPU_COMPOSED_REWARDPVModel(bool expandTimePoints) : PVModel() {
  ChildModel = new GPURJ();
  DefineName("GPU_COMPOSED_REWARDPVModel");
  StoreLastAction = 1;
  CreatePVList(6, expandTimePoints);
  Initialize();
}

PerformanceVariableNode* GPU_COMPOSED_REWARDPVModel::createPVNode(int pvIndex, int timeIndex) {
  switch (pvIndex) {
    case 0: return new GPU_COMPOSED_REWARDPV0(timeIndex);
    case 1: return new GPU_COMPOSED_REWARDPV1(timeIndex);
    case 2: return new GPU_COMPOSED_REWARDPV2(timeIndex);
    case 3: return new GPU_COMPOSED_REWARDPV3(timeIndex);
    case 4: return new GPU_COMPOSED_REWARDPV4(timeIndex);
    case 5: return new GPU_COMPOSED_REWARDPV5(timeIndex);
    default: return nullptr;
  }
}
