#include "rewards/RewardDescription.h"

#include <algorithm>

DescribedRateWorker::DescribedRateWorker(const RewardValue& rate, int numModels, bool instant, double divisor)
    : Rate(rate), Instant(instant), Divisor(divisor), BoundModels(static_cast<std::size_t>(numModels)) {
  for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
}

void DescribedRateWorker::AccumulateRate(double t, double lastT) {
  Value = Reward_Function();
  if (Instant) {
    Factor = 1.0;
    return;
  }
  Factor = std::max(0.0, std::min(t, StopTime) - std::max(lastT, StartTime)) / Divisor;
}

DescribedImpulse::DescribedImpulse(const RewardValue& value, int numModels, double divisor)
    : Worth(value),
      Divisor(divisor),
      ConstantWorth(divisor == 1.0 ? value.Constant : value.Constant / divisor),
      BoundModels(static_cast<std::size_t>(numModels)) {
  for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
}

ImpulseNodeClass** DescribedImpulse::CreateImpulseWorkerList(int n) {
  Workers.clear();
  WorkerList.clear();
  for (int i = 0; i < n; ++i) {
    Workers.push_back(std::make_unique<DescribedImpulse>(Worth, static_cast<int>(BoundModels.size()), Divisor));
    WorkerList.push_back(Workers.back().get());
  }
  return WorkerList.data();
}

DescribedVariable::DescribedVariable(const RewardDescription& description, int timeIndex)
    : Description(description), Instant(description.kind == RewardDescription::Kind::Instant), Divisor(1.0) {
  TopModelSlot = &TheTopModel;
  const std::size_t k = static_cast<std::size_t>(timeIndex);
  if (description.averaged) Divisor = description.stops[k] - description.starts[k];
  for (const RewardDescription::Impulse& impulse : description.impulses) {
    Prototypes.push_back(std::make_unique<DescribedImpulse>(
        impulse.value, 1 + static_cast<int>(impulse.furtherModels.size()), Divisor));
  }
  const int rateModels = description.hasRate ? static_cast<int>(description.rateModels.size()) : 0;
  Initialize(description.name.c_str(), Instant ? InstantOfTime : IntervalOfTime, static_cast<int>(description.starts.size()),
             description.starts.data(), description.stops.data(), timeIndex, static_cast<int>(Prototypes.size()), rateModels, 0);
  if (description.hasRate)
    for (const std::string& model : description.rateModels) AddModelDependency(model.c_str());
  for (std::size_t i = 0; i < description.impulses.size(); ++i) {
    const RewardDescription::Impulse& impulse = description.impulses[i];
    AddImpulse(impulse.action.c_str(), impulse.model.c_str(), Prototypes[i].get());
    for (const std::string& model : impulse.furtherModels)
      AddImpulseModelDependency(model.c_str(), Prototypes[i].get());
  }
  IsSteadyState = description.kind == RewardDescription::Kind::Steady ? 1 : 0;
}

void DescribedVariable::CreateWorkerList() {
  for (int i = 0; i < NumWorkers; ++i) {
    Workers[static_cast<std::size_t>(i)] =
        std::make_unique<DescribedRateWorker>(Description.rate, NumModelDependencies, Instant, Divisor);
  }
}
