#include "generated/GPU_COMPOSED_REWARDPVNodes.h"

namespace {
const RewardType kIntervalOfTime = static_cast<RewardType>(1);
double kStartTimes[] = {0.0};
double kStopTimes[] = {1.0};
}  // namespace

GpuRewardVariable::GpuRewardVariable() { TopModelSlot = &TheGPURJModel; }

void GpuRewardVariable::CreateWorkerList() {}

GPU_COMPOSED_REWARDPV0::GPU_COMPOSED_REWARDPV0(int timeIndex) {
  Initialize("scheduling", kIntervalOfTime, 1, kStartTimes, kStopTimes, timeIndex, 1, 0, 0);
  AddImpulse("DISPATCHER", "COMPUTE_UNIT", &Impulse0);
}

GPU_COMPOSED_REWARDPV1::GPU_COMPOSED_REWARDPV1(int timeIndex) {
  Initialize("write_ok", kIntervalOfTime, 1, kStartTimes, kStopTimes, timeIndex, 1, 0, 0);
  AddImpulse("WRITE_OK", "RESULT_MEMORY", &Impulse0);
}

GPU_COMPOSED_REWARDPV2::GPU_COMPOSED_REWARDPV2(int timeIndex) {
  Initialize("write_ko", kIntervalOfTime, 1, kStartTimes, kStopTimes, timeIndex, 1, 0, 0);
  AddImpulse("WRITE_KO", "RESULT_MEMORY", &Impulse0);
}

GPU_COMPOSED_REWARDPV3::GPU_COMPOSED_REWARDPV3(int timeIndex) {
  Initialize("compute_ok", kIntervalOfTime, 1, kStartTimes, kStopTimes, timeIndex, 1, 0, 0);
  AddImpulse("COMPUTE_WITH_OK_DATA", "COMPUTE_UNIT", &Impulse0);
}

GPU_COMPOSED_REWARDPV4::GPU_COMPOSED_REWARDPV4(int timeIndex) {
  Initialize("compute_ko", kIntervalOfTime, 1, kStartTimes, kStopTimes, timeIndex, 1, 0, 0);
  AddImpulse("COMPUTE_WITH_KO_DATA", "COMPUTE_UNIT", &Impulse0);
}

GPU_COMPOSED_REWARDPV5::GPU_COMPOSED_REWARDPV5(int timeIndex) {
  Initialize("clock_steps", kIntervalOfTime, 1, kStartTimes, kStopTimes, timeIndex, 11, 0, 0);
  AddClockImpulse(&Impulse0, "COMPUTE_WITH_OK_DATA", "COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY", "RESULT_MEMORY");
  AddClockImpulse(&Impulse1, "READ_FROM_case2", "RESULT_MEMORY", "COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY");
  AddClockImpulse(&Impulse2, "WRITE_TO_case2", "OUTPUT_MEMORY", "COMPUTE_UNIT", "TOTAL_MEMORY", "RESULT_MEMORY");
  AddClockImpulse(&Impulse3, "READ_FROM_case2", "TOTAL_MEMORY", "COMPUTE_UNIT", "OUTPUT_MEMORY", "RESULT_MEMORY");
  AddClockImpulse(&Impulse4, "READ_FROM_case1", "RESULT_MEMORY", "COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY");
  AddClockImpulse(&Impulse5, "WRITE_OK", "RESULT_MEMORY", "COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY");
  AddClockImpulse(&Impulse6, "READ_FROM_case1", "TOTAL_MEMORY", "COMPUTE_UNIT", "OUTPUT_MEMORY", "RESULT_MEMORY");
  AddClockImpulse(&Impulse7, "WRITE_TO_case1", "OUTPUT_MEMORY", "COMPUTE_UNIT", "TOTAL_MEMORY", "RESULT_MEMORY");
  AddClockImpulse(&Impulse8, "DISPATCHER", "COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY", "RESULT_MEMORY");
  AddClockImpulse(&Impulse9, "COMPUTE_WITH_KO_DATA", "COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY", "RESULT_MEMORY");
  AddClockImpulse(&Impulse10, "WRITE_KO", "RESULT_MEMORY", "COMPUTE_UNIT", "TOTAL_MEMORY", "OUTPUT_MEMORY");
}

void GPU_COMPOSED_REWARDPV5::AddClockImpulse(ImpulseNodeClass* impulse, const char* action, const char* model,
                                             const char* other1, const char* other2, const char* other3) {
  AddImpulse(action, model, impulse);
  AddImpulseModelDependency(other1, impulse);
  AddImpulseModelDependency(other2, impulse);
  AddImpulseModelDependency(other3, impulse);
}
