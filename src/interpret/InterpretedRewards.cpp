#include "interpret/InterpretedRewards.h"

#include <algorithm>

#include "interpret/InterpretedJoin.h"

namespace saninterp {

namespace {

// The instances an expression reads, in order of first mention.
void CollectInstances(const sanmodel::Expr& e, std::vector<int>* out) {
  if (e.op == sanmodel::Op::InstancePlace || e.op == sanmodel::Op::InstanceArrayElement) {
    if (std::find(out->begin(), out->end(), e.instance) == out->end()) out->push_back(e.instance);
  }
  for (const sanmodel::Expr& a : e.args) CollectInstances(a, out);
}

std::vector<std::string> InstanceNames(const sanmodel::CheckedModel& model, const std::vector<int>& instances) {
  std::vector<std::string> names;
  for (int i : instances) names.push_back(model.Instances[static_cast<std::size_t>(i)].name);
  return names;
}

}  // namespace

// --- RateWorker ---------------------------------------------------------------

RateWorker::RateWorker(const CompiledCode* code, int root, int numModels, bool instant, double divisor)
    : Code(code), Root(root), Instant(instant), Divisor(divisor), BoundModels(static_cast<std::size_t>(numModels)) {
  for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
}

void RateWorker::AccumulateRate(double t, double lastT) {
  Value = Reward_Function();
  if (Instant) {
    Factor = 1.0;
    return;
  }
  Factor = std::max(0.0, std::min(t, StopTime) - std::max(lastT, StartTime)) / Divisor;
}

// --- RewardImpulse --------------------------------------------------------------

RewardImpulse::RewardImpulse(const CompiledCode* code, int root, int numModels, double divisor)
    : Code(code), Root(root), Divisor(divisor), BoundModels(static_cast<std::size_t>(numModels)) {
  for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
  IsConstant = code->IsConstant(root, &ConstantValue);
  if (IsConstant && Divisor != 1.0) ConstantValue /= Divisor;
}

double RewardImpulse::Impulse_Function(double) {
  const double v = Code->AsReal(Root, &Scratch);
  return Divisor == 1.0 ? v : v / Divisor;
}

ImpulseNodeClass** RewardImpulse::CreateImpulseWorkerList(int n) {
  Workers.clear();
  WorkerList.clear();
  for (int i = 0; i < n; ++i) {
    Workers.push_back(std::make_unique<RewardImpulse>(Code, Root, static_cast<int>(BoundModels.size()), Divisor));
    WorkerList.push_back(Workers.back().get());
  }
  return WorkerList.data();
}

// --- RewardNode -------------------------------------------------------------------

RewardNode::RewardNode(const sanmodel::Reward& decl, const CompiledReward& compiled, const CompiledCode* code,
                       int timeIndex)
    : Compiled(compiled), Code(code), Instant(decl.kind == sanmodel::RewardKind::Instant), Divisor(1.0) {
  TopModelSlot = &TheTopModel;
  const std::size_t k = static_cast<std::size_t>(timeIndex);
  if (decl.averaged) Divisor = compiled.stops[k] - compiled.starts[k];
  for (const CompiledReward::ImpulseOf& impulse : compiled.impulses) {
    Prototypes.push_back(std::make_unique<RewardImpulse>(
        code, impulse.root, 1 + static_cast<int>(impulse.furtherModels.size()), Divisor));
  }
  const int rateModels = compiled.rateRoot >= 0 ? static_cast<int>(compiled.rateModels.size()) : 0;
  Initialize(decl.name.c_str(), Instant ? InstantOfTime : IntervalOfTime, static_cast<int>(compiled.starts.size()),
             compiled.starts.data(), compiled.stops.data(), timeIndex, static_cast<int>(Prototypes.size()),
             rateModels, 0);
  if (compiled.rateRoot >= 0)
    for (const std::string& model : compiled.rateModels) AddModelDependency(model.c_str());
  for (std::size_t i = 0; i < compiled.impulses.size(); ++i) {
    const CompiledReward::ImpulseOf& impulse = compiled.impulses[i];
    AddImpulse(impulse.action.c_str(), impulse.model.c_str(), Prototypes[i].get());
    for (const std::string& model : impulse.furtherModels)
      AddImpulseModelDependency(model.c_str(), Prototypes[i].get());
  }
  IsSteadyState = decl.kind == sanmodel::RewardKind::Steady ? 1 : 0;
}

void RewardNode::CreateWorkerList() {
  for (int i = 0; i < NumWorkers; ++i) {
    Workers[static_cast<std::size_t>(i)] = std::make_unique<RateWorker>(
        Code, Compiled.rateRoot, NumModelDependencies, Instant, Divisor);
  }
}

// --- InterpretedRewardModel ---------------------------------------------------------

InterpretedRewardModel::InterpretedRewardModel(const sanmodel::CheckedModel& model, const GlobalValues& globals,
                                               bool expandTimePoints)
    : Model(model), Globals(globals), Code(model) {
  ChildModel = BuildModelTree(model, globals, &Sans).release();
  DefineName((std::string(ChildModel->Name) + "RewardModel").c_str());
  StoreLastAction = 1;
  CompileRewards();
  CreatePVList(static_cast<int>(Model.Rewards.size()), expandTimePoints);
  Initialize();
}

CompileScope InterpretedRewardModel::RewardScope() const {
  CompileScope scope;
  scope.global = [this](int g) { return Globals.Constant(g); };
  scope.instancePlace = [this](int i, int p) { return Sans[static_cast<std::size_t>(i)]->Cell(p); };
  scope.instanceArray = [this](int i, int p) { return Sans[static_cast<std::size_t>(i)]->Elements(p); };
  return scope;
}

double InterpretedRewardModel::TimePoint(const sanmodel::Expr& e) const {
  CompiledCode scratch(Model);
  Slot none{0};
  return scratch.AsReal(scratch.Expression(e, RewardScope()), &none);
}

void InterpretedRewardModel::CompileRewards() {
  const CompileScope scope = RewardScope();
  for (const sanmodel::Reward& reward : Model.Rewards) {
    CompiledReward compiled;
    if (reward.hasRate) {
      compiled.rateRoot = Code.Expression(reward.rate, scope);
      std::vector<int> read;
      CollectInstances(reward.rate, &read);
      // A rate that reads no place still needs one worker to be evaluated.
      if (read.empty()) read.push_back(0);
      compiled.rateModels = InstanceNames(Model, read);
    }
    for (const sanmodel::Impulse& impulse : reward.impulses) {
      const sanmodel::Instance& instance = Model.Instances[static_cast<std::size_t>(impulse.instance)];
      const sanmodel::ActivityDecl& activity =
          Model.Sans[static_cast<std::size_t>(instance.san)].activities[static_cast<std::size_t>(impulse.activity)];
      std::vector<int> read;
      CollectInstances(impulse.value, &read);
      read.erase(std::remove(read.begin(), read.end(), impulse.instance), read.end());
      const int root = Code.Expression(impulse.value, scope);
      const int cases = activity.hasCases ? static_cast<int>(activity.cases.size()) : 0;
      for (int c = 0; c < std::max(cases, 1); ++c) {
        if (impulse.caseIndex >= 0 && c != impulse.caseIndex) continue;
        CompiledReward::ImpulseOf one;
        one.action = cases == 0 ? activity.name : activity.name + "_case" + std::to_string(c + 1);
        one.model = instance.name;
        one.furtherModels = InstanceNames(Model, read);
        one.root = root;
        compiled.impulses.push_back(one);
      }
    }
    for (std::size_t k = 0; k < reward.starts.size(); ++k) {
      compiled.starts.push_back(TimePoint(reward.starts[k]));
      compiled.stops.push_back(TimePoint(reward.stops[k]));
    }
    Rewards.push_back(std::move(compiled));
  }
}

PerformanceVariableNode* InterpretedRewardModel::createPVNode(int pvIndex, int timeIndex) {
  if (pvIndex < 0 || pvIndex >= static_cast<int>(Rewards.size())) return nullptr;
  const std::size_t k = static_cast<std::size_t>(pvIndex);
  return new RewardNode(Model.Rewards[k], Rewards[k], &Code, timeIndex);
}

}  // namespace saninterp
