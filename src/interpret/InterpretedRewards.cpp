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

double InterpretedRewardModel::Evaluate(const void* context) {
  const CompiledValue* value = static_cast<const CompiledValue*>(context);
  Slot none{0};
  return value->code->AsReal(value->root, &none);
}

RewardValue InterpretedRewardModel::Value(const sanmodel::Expr& e) {
  Values.push_back(std::make_unique<CompiledValue>(CompiledValue{&Code, Code.Expression(e, RewardScope())}));
  RewardValue value;
  value.Function = &Evaluate;
  value.Context = Values.back().get();
  value.IsConstant = Code.IsConstant(Values.back()->root, &value.Constant);
  return value;
}

void InterpretedRewardModel::CompileRewards() {
  for (const sanmodel::Reward& reward : Model.Rewards) {
    RewardDescription description;
    description.name = reward.name;
    description.kind = reward.kind == sanmodel::RewardKind::Instant    ? RewardDescription::Kind::Instant
                : reward.kind == sanmodel::RewardKind::Interval ? RewardDescription::Kind::Interval
                                                                : RewardDescription::Kind::Steady;
    description.averaged = reward.averaged;
    if (reward.hasRate) {
      description.hasRate = true;
      description.rate = Value(reward.rate);
      std::vector<int> read;
      CollectInstances(reward.rate, &read);
      // A rate that reads no place still needs one worker to be evaluated.
      if (read.empty()) read.push_back(0);
      description.rateModels = InstanceNames(Model, read);
    }
    for (const sanmodel::Impulse& impulse : reward.impulses) {
      const sanmodel::Instance& instance = Model.Instances[static_cast<std::size_t>(impulse.instance)];
      const sanmodel::ActivityDecl& activity =
          Model.Sans[static_cast<std::size_t>(instance.san)].activities[static_cast<std::size_t>(impulse.activity)];
      std::vector<int> read;
      CollectInstances(impulse.value, &read);
      read.erase(std::remove(read.begin(), read.end(), impulse.instance), read.end());
      const RewardValue value = Value(impulse.value);
      const int cases = activity.hasCases ? static_cast<int>(activity.cases.size()) : 0;
      for (int c = 0; c < std::max(cases, 1); ++c) {
        if (impulse.caseIndex >= 0 && c != impulse.caseIndex) continue;
        RewardDescription::Impulse one;
        one.action = cases == 0 ? activity.name : activity.name + "_case" + std::to_string(c + 1);
        one.model = instance.name;
        one.furtherModels = InstanceNames(Model, read);
        one.value = value;
        description.impulses.push_back(one);
      }
    }
    for (std::size_t k = 0; k < reward.starts.size(); ++k) {
      description.starts.push_back(TimePoint(reward.starts[k]));
      description.stops.push_back(TimePoint(reward.stops[k]));
    }
    Descriptions.push_back(std::move(description));
  }
}

PerformanceVariableNode* InterpretedRewardModel::createPVNode(int pvIndex, int timeIndex) {
  if (pvIndex < 0 || pvIndex >= static_cast<int>(Descriptions.size())) return nullptr;
  return new DescribedVariable(Descriptions[static_cast<std::size_t>(pvIndex)], timeIndex);
}

}  // namespace saninterp
