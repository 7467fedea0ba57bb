// Hand-built reward variables and models for the reward tests, written the
// way generated code writes them.
//
//   PlantJoin(p, c) ("Plant"): p instances of the PRODUCER SAN, then c
//     instances of the CONSUMER SAN (tests/Cpp/TestModels.h), all sharing
//     BUFFER. The SANs count the name look-ups made on them, so tests can check
//     that a run makes none.
//   ConstantImpulse: an interval-of-time impulse earning a constant per firing;
//     its workers count their Accumulate calls.
//   MarkingWorker: a rate worker whose reward is the SOURCE marking of each
//     bound producer plus the DONE_A marking of each bound consumer.
//   TestVariable: a variable built from a VariableSpec.
//   TestRewardModel: a reward model over a given child whose variables come
//     from a list of VariableSpecs.
#ifndef TESTS_REWARDS_REWARDTESTMODELS_H
#define TESTS_REWARDS_REWARDTESTMODELS_H

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Cpp/TestModels.h"
#include "rewards/IntervalOfTimeImpulse.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "rewards/PerformanceVariableWorker.h"

namespace rewardtest {

// Name look-ups (listModels, listActions by name) made on the counting SANs.
inline int NameLookups = 0;

class CountingProducer : public testmodels::ProducerSAN {
 public:
  void listModels(const char* name, List<BaseModelClass>* out) override {
    ++NameLookups;
    ProducerSAN::listModels(name, out);
  }
  void listActions(const char* name, List<BaseActionClass>* out) override {
    ++NameLookups;
    ProducerSAN::listActions(name, out);
  }
  using ProducerSAN::listActions;
};

class CountingConsumer : public testmodels::ConsumerSAN {
 public:
  void listModels(const char* name, List<BaseModelClass>* out) override {
    ++NameLookups;
    ConsumerSAN::listModels(name, out);
  }
  void listActions(const char* name, List<BaseActionClass>* out) override {
    ++NameLookups;
    ConsumerSAN::listActions(name, out);
  }
  using ConsumerSAN::listActions;
};

inline const char* const PlantSharedNames[] = {"BUFFER"};

class PlantJoin : public Join {
 public:
  PlantJoin(int producers, int consumers) : Join("Plant", producers + consumers, 1, PlantSharedNames) {
    for (int i = 0; i < producers; ++i) {
      Producers.push_back(new CountingProducer());
      Children[i] = Producers.back();
      Producers.back()->DefineName("PRODUCER");
    }
    for (int i = 0; i < consumers; ++i) {
      Consumers.push_back(new CountingConsumer());
      Children[producers + i] = Consumers.back();
      Consumers.back()->DefineName("CONSUMER");
    }
    SetupActions();
    BUFFER = new Place("BUFFER");
    addSharedPtr(BUFFER, "BUFFER");
    for (testmodels::ProducerSAN* p : Producers) {
      BUFFER->ShareWith(p->BUFFER);
      addSharingInfo(p->BUFFER, BUFFER, p);
    }
    for (testmodels::ConsumerSAN* c : Consumers) {
      BUFFER->ShareWith(c->BUFFER);
      addSharingInfo(c->BUFFER, BUFFER, c);
    }
    Setup();
  }
  ~PlantJoin() override {
    delete BUFFER;
    for (auto* p : Producers) delete p;
    for (auto* c : Consumers) delete c;
  }

  std::vector<testmodels::ProducerSAN*> Producers;
  std::vector<testmodels::ConsumerSAN*> Consumers;
  Place* BUFFER;
};

class ConstantImpulse : public IntervalOfTimeImpulse {
 public:
  ConstantImpulse(double value, int numModels, bool timeAveraged)
      : IntervalOfTimeImpulse(timeAveraged), TheValue(value), BoundModels(static_cast<std::size_t>(numModels)) {
    for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
  }

  double Impulse_Function(double) override { return TheValue; }
  void Accumulate(double t, double lastT) override {
    ++AccumulateCalls;
    IntervalOfTimeImpulse::Accumulate(t, lastT);
  }
  ImpulseNodeClass** CreateImpulseWorkerList(int n) override {
    WorkerList.clear();
    WorkerPointers.clear();
    for (int i = 0; i < n; ++i) {
      WorkerList.push_back(std::make_unique<ConstantImpulse>(TheValue, NumModelPointers, TimeAveraged));
      WorkerPointers.push_back(WorkerList.back().get());
    }
    return WorkerPointers.data();
  }
  ConstantImpulse* Worker(int j) { return WorkerList[static_cast<std::size_t>(j)].get(); }

  double TheValue;
  std::vector<BaseModelClass*> BoundModels;
  int AccumulateCalls = 0;
  std::vector<std::unique_ptr<ConstantImpulse>> WorkerList;
  std::vector<ImpulseNodeClass*> WorkerPointers;
};

class MarkingWorker : public PerformanceVariableWorker {
 public:
  MarkingWorker(int numModels, bool instant) : BoundModels(static_cast<std::size_t>(numModels)), Instant(instant) {
    for (BaseModelClass*& slot : BoundModels) AddModelPointerSlot(&slot);
  }

  double Reward_Function() override {
    double reward = 0.0;
    for (BaseModelClass* m : BoundModels) {
      if (auto* p = dynamic_cast<testmodels::ProducerSAN*>(m)) reward += p->SOURCE->getMark();
      if (auto* c = dynamic_cast<testmodels::ConsumerSAN*>(m)) reward += c->DONE_A->getMark();
    }
    return reward;
  }
  // Value is the current reward rate; Factor the part of (lastT, t] inside the
  // observed interval (1 for an instant-of-time variable).
  void AccumulateRate(double t, double lastT) override {
    Value = Reward_Function();
    Factor = Instant ? 1.0 : std::max(0.0, std::min(t, StopTime) - std::max(lastT, StartTime));
  }
  void CurrentReward() override { Value = Reward_Function(); }

  std::vector<BaseModelClass*> BoundModels;
  bool Instant;
};

struct ImpulseSpec {
  std::string Action;
  std::string Model;
  double Value = 1.0;
  std::vector<std::string> FurtherModels;
  bool TimeAveraged = false;
};

struct VariableSpec {
  std::string Name = "v";
  RewardType Type = IntervalOfTime;
  std::vector<double> Starts{0.0};
  std::vector<double> Stops{1.0};
  std::vector<ImpulseSpec> Impulses;
  std::vector<std::pair<std::string, std::string>> VariableDeps;  // (variable, model)
  std::vector<std::string> ModelDeps;
  int SteadyState = 0;
};

class TestVariable : public PerformanceVariableNode {
 public:
  TestVariable(const VariableSpec& declared, int timeIndex) : Instant(declared.Type == InstantOfTime) {
    TopModelSlot = &TopModel;
    for (const ImpulseSpec& impulse : declared.Impulses) {
      Prototypes.push_back(std::make_unique<ConstantImpulse>(
          impulse.Value, 1 + static_cast<int>(impulse.FurtherModels.size()), impulse.TimeAveraged));
    }
    Initialize(declared.Name.c_str(), declared.Type, static_cast<int>(declared.Starts.size()), declared.Starts.data(),
               declared.Stops.data(), timeIndex, static_cast<int>(declared.Impulses.size()),
               static_cast<int>(declared.ModelDeps.size() + declared.VariableDeps.size()),
               static_cast<int>(declared.VariableDeps.size()));
    for (const auto& dependency : declared.VariableDeps) {
      AddVariableDependency(dependency.first.c_str(), dependency.second.c_str());
    }
    for (const std::string& model : declared.ModelDeps) AddModelDependency(model.c_str());
    for (std::size_t k = 0; k < declared.Impulses.size(); ++k) {
      const ImpulseSpec& impulse = declared.Impulses[k];
      AddImpulse(impulse.Action.c_str(), impulse.Model.c_str(), Prototypes[k].get());
      for (const std::string& model : impulse.FurtherModels) {
        AddImpulseModelDependency(model.c_str(), Prototypes[k].get());
      }
    }
    IsSteadyState = declared.SteadyState;
  }

  void CreateWorkerList() override {
    for (int i = 0; i < NumWorkers; ++i) {
      Workers[static_cast<std::size_t>(i)] = std::make_unique<MarkingWorker>(NumModelDependencies, Instant);
    }
  }
  void Reset() override {
    ++ResetCalls;
    PerformanceVariableNode::Reset();
  }

  ConstantImpulse* Prototype(int k) { return Prototypes[static_cast<std::size_t>(k)].get(); }
  MarkingWorker* Worker(int i) { return static_cast<MarkingWorker*>(Workers[static_cast<std::size_t>(i)].get()); }

  BaseModelClass* TopModel = nullptr;
  bool Instant;
  int ResetCalls = 0;
  std::vector<std::unique_ptr<ConstantImpulse>> Prototypes;
};

class TestRewardModel : public PVModel {
 public:
  TestRewardModel(BaseModelClass* child, std::vector<VariableSpec> specs, bool expand = true, int storeLastAction = 0)
      : Specs(std::move(specs)) {
    ChildModel = child;
    DefineName("TestRewardModel");
    StoreLastAction = storeLastAction;
    CreatePVList(static_cast<int>(Specs.size()), expand);
    Initialize();
  }

  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override {
    if (pvIndex < 0 || pvIndex >= static_cast<int>(Specs.size())) return nullptr;
    return new TestVariable(Specs[static_cast<std::size_t>(pvIndex)], timeIndex);
  }
  TestVariable* Node(int i) { return static_cast<TestVariable*>(PVList[static_cast<std::size_t>(i)]); }

  std::vector<VariableSpec> Specs;
};

// One event: rewards are brought up to t, then the action fires at t.
inline void Event(PVModel& model, BaseActionClass* action, double t) {
  model.Accumulate(t);
  model.FireAction(action, t);
}

}  // namespace rewardtest

#endif
