#include "rewards/PerformanceVariableWorker.h"

#include <iostream>

PerformanceVariableWorker::PerformanceVariableWorker()
    : Index(-1),
      PVID(-1),
      Value(0.0),
      SquaredValue(0.0),
      Factor(0.0),
      StartTime(-1.0),
      StopTime(-1.0) {}

PerformanceVariableWorker::~PerformanceVariableWorker() = default;

void PerformanceVariableWorker::CurrentReward() {
  std::cerr << "!! Calling PerformanceVariableWorker::CurrentReward()" << std::endl;
}

void PerformanceVariableWorker::Reset() {
  Value = 0.0;
  SquaredValue = 0.0;
}

void PerformanceVariableWorker::DefineName(const char* name, int index) {
  Name = name ? name : "";
  Index = index;
}
