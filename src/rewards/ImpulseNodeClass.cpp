#include "rewards/ImpulseNodeClass.h"

ImpulseNodeClass::ImpulseNodeClass()
    : Model(nullptr),
      WorkerIndex(-1),
      ImpulseIndex(-1),
      NumModelPointers(0),
      PVID(-1),
      Value(0.0),
      SquaredValue(0.0),
      StartTime(-1.0),
      StopTime(-1.0) {}

ImpulseNodeClass::~ImpulseNodeClass() = default;

void ImpulseNodeClass::completeAccumulation(double) {}

void ImpulseNodeClass::Accumulate(double, double) {}

double ImpulseNodeClass::CurrentImpulse() { return Value; }

void ImpulseNodeClass::Reset() {
  Value = 0.0;
  SquaredValue = 0.0;
}

void ImpulseNodeClass::DefineName(const char* name, int impulseIndex, int workerIndex) {
  Name = name ? name : "";
  ImpulseIndex = impulseIndex;
  WorkerIndex = workerIndex;
}

void ImpulseNodeClass::AddModelPointerSlot(BaseModelClass** slot) {
  ModelPointerSlots.push_back(slot);
  NumModelPointers = static_cast<int>(ModelPointerSlots.size());
}
