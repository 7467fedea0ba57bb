#include "rewards/RewardSpec.h"

#include <algorithm>

SpecifiedRateWorker::SpecifiedRateWorker(const RewardValue& rate, int numModels, bool instant, double divisor)
    : Rate(rate), Instant(instant), Divisor(divisor), BoundModels(static_cast<std::size_t>(numModels)) {
  for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
}

void SpecifiedRateWorker::AccumulateRate(double t, double lastT) {
  Value = Reward_Function();
  if (Instant) {
    Factor = 1.0;
    return;
  }
  Factor = std::max(0.0, std::min(t, StopTime) - std::max(lastT, StartTime)) / Divisor;
}

SpecifiedImpulse::SpecifiedImpulse(const RewardValue& value, int numModels, double divisor)
    : Worth(value),
      Divisor(divisor),
      ConstantWorth(divisor == 1.0 ? value.Constant : value.Constant / divisor),
      BoundModels(static_cast<std::size_t>(numModels)) {
  for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
}

ImpulseNodeClass** SpecifiedImpulse::CreateImpulseWorkerList(int n) {
  Workers.clear();
  WorkerList.clear();
  for (int i = 0; i < n; ++i) {
    Workers.push_back(std::make_unique<SpecifiedImpulse>(Worth, static_cast<int>(BoundModels.size()), Divisor));
    WorkerList.push_back(Workers.back().get());
  }
  return WorkerList.data();
}

SpecifiedVariable::SpecifiedVariable(const RewardSpec& spec, int timeIndex)
    : Spec(spec), Instant(spec.kind == RewardSpec::Kind::Instant), Divisor(1.0) {
  TopModelSlot = &TheTopModel;
  const std::size_t k = static_cast<std::size_t>(timeIndex);
  if (spec.averaged) Divisor = spec.stops[k] - spec.starts[k];
  for (const RewardSpec::Impulse& impulse : spec.impulses) {
    Prototypes.push_back(std::make_unique<SpecifiedImpulse>(
        impulse.value, 1 + static_cast<int>(impulse.furtherModels.size()), Divisor));
  }
  const int rateModels = spec.hasRate ? static_cast<int>(spec.rateModels.size()) : 0;
  Initialize(spec.name.c_str(), Instant ? InstantOfTime : IntervalOfTime, static_cast<int>(spec.starts.size()),
             spec.starts.data(), spec.stops.data(), timeIndex, static_cast<int>(Prototypes.size()), rateModels, 0);
  if (spec.hasRate)
    for (const std::string& model : spec.rateModels) AddModelDependency(model.c_str());
  for (std::size_t i = 0; i < spec.impulses.size(); ++i) {
    const RewardSpec::Impulse& impulse = spec.impulses[i];
    AddImpulse(impulse.action.c_str(), impulse.model.c_str(), Prototypes[i].get());
    for (const std::string& model : impulse.furtherModels)
      AddImpulseModelDependency(model.c_str(), Prototypes[i].get());
  }
  IsSteadyState = spec.kind == RewardSpec::Kind::Steady ? 1 : 0;
}

void SpecifiedVariable::CreateWorkerList() {
  for (int i = 0; i < NumWorkers; ++i) {
    Workers[static_cast<std::size_t>(i)] =
        std::make_unique<SpecifiedRateWorker>(Spec.rate, NumModelDependencies, Instant, Divisor);
  }
}
