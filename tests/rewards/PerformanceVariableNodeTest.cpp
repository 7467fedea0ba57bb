#include "rewards/PerformanceVariableNode.h"

#include <gtest/gtest.h>

#include "rewards/RewardTestModels.h"

namespace {

using rewardtest::Event;
using rewardtest::ImpulseSpec;
using rewardtest::PlantJoin;
using rewardtest::TestRewardModel;
using rewardtest::TestVariable;
using rewardtest::VariableSpec;

VariableSpec ImpulseVariable(const char* action, const char* model, double value, double start,
                             double stop) {
  VariableSpec declared;
  declared.Starts = {start};
  declared.Stops = {stop};
  ImpulseSpec impulse;
  impulse.Action = action;
  impulse.Model = model;
  impulse.Value = value;
  declared.Impulses = {impulse};
  return declared;
}

// --- Bindings --------------------------------------------------------------

TEST(WorkerBindingTest, RateWorkersEnumerateTheInstanceProductFirstDependencySlowest) {
  PlantJoin* plant = new PlantJoin(2, 3);
  VariableSpec declared;
  declared.VariableDeps = {{"SOURCE", "PRODUCER"}};
  declared.ModelDeps = {"CONSUMER", "PRODUCER"};  // PRODUCER is already there: kept once
  TestRewardModel model(plant, {declared});
  TestVariable* node = model.Node(0);

  ASSERT_EQ(node->NumModelDependencies, 2);
  ASSERT_EQ(node->NumWorkers, 6);
  for (int i = 0; i < 6; ++i) {
    auto* worker = node->Worker(i);
    EXPECT_EQ(worker->BoundModels[0], plant->Producers[static_cast<std::size_t>(i / 3)]) << i;
    EXPECT_EQ(worker->BoundModels[1], plant->Consumers[static_cast<std::size_t>(i % 3)]) << i;
    EXPECT_EQ(node->ModelGroups[static_cast<std::size_t>(i)].Models, worker->BoundModels);
    EXPECT_EQ(worker->Index, i);
    EXPECT_EQ(worker->PVID, node->ID);
    EXPECT_EQ(worker->Name, "v");
    EXPECT_EQ(worker->StopTime, 1.0);
  }
  EXPECT_EQ(node->TopModel, plant);

  // Each producer's PRODUCE changes its SOURCE: its rate set holds the workers
  // bound to that producer.
  for (int p = 0; p < 2; ++p) {
    BaseActionClass* produce = plant->Producers[static_cast<std::size_t>(p)]->PRODUCE;
    FastSet& workers = produce->PVRateSets[0];
    ASSERT_EQ(workers.size(), 3);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(workers[k], 3 * p + k);
    ASSERT_EQ(produce->AffectedNodesByRateReward.size(), 1);
    EXPECT_EQ(produce->AffectedNodesByRateReward[0], 0);
  }
  EXPECT_EQ(plant->Consumers[0]->CONSUME_case1->AffectedNodesByRateReward.size(), 0);
  ASSERT_EQ(node->NumAffectingActions, 2);
  EXPECT_EQ(node->AffectingActions[0], plant->Producers[0]->PRODUCE);
  EXPECT_EQ(node->AffectingActions[1], plant->Producers[1]->PRODUCE);
}

TEST(WorkerBindingTest, VariableWithoutModelDependencyHasNoRateWorkers) {
  TestRewardModel model(new PlantJoin(2, 1), {ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 0, 1)});
  EXPECT_EQ(model.Node(0)->NumWorkers, 0);
  EXPECT_TRUE(model.Node(0)->Workers.empty());
}

TEST(WorkerBindingTest, ImpulseWorkersSplitIntoOneBlockPerWatchedInstance) {
  PlantJoin* plant = new PlantJoin(2, 3);
  VariableSpec declared = ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 0, 1);
  declared.Impulses[0].FurtherModels = {"CONSUMER", "PRODUCER"};
  TestRewardModel model(plant, {declared});
  TestVariable* node = model.Node(0);

  ASSERT_EQ(node->NumImpulseModelDependencies[0], 2);  // PRODUCER stored once
  EXPECT_EQ(node->NumImpulseActionInstances[0], 2);
  ASSERT_EQ(node->NumImpulseWorkers[0], 6);
  for (int j = 0; j < 6; ++j) {
    auto* worker = node->Prototype(0)->Worker(j);
    testmodels::ProducerSAN* watched = plant->Producers[static_cast<std::size_t>(j / 3)];
    EXPECT_EQ(worker->Model, watched) << j;
    // The dependency on the watched model is bound to the watched instance.
    EXPECT_EQ(worker->BoundModels[0], watched) << j;
    EXPECT_EQ(worker->BoundModels[1], plant->Consumers[static_cast<std::size_t>(j % 3)]) << j;
    EXPECT_EQ(worker->WorkerIndex, j);
    EXPECT_EQ(worker->ImpulseIndex, 0);
    EXPECT_EQ(worker->PVID, 0);
  }
  for (int p = 0; p < 2; ++p) {
    BaseActionClass* produce = plant->Producers[static_cast<std::size_t>(p)]->PRODUCE;
    ASSERT_EQ(produce->PVImpulseSets[0].size(), 1);
    ASSERT_EQ(produce->PVImpulseCounts[0][0], 3);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(produce->PVImpulseIndices[0][0][k], 3 * p + k);
  }
}

TEST(WorkerBindingTest, ImpulseNotDependingOnItsOwnModelGetsOneBlockPerWatchedInstance) {
  PlantJoin plant(2, 3);
  // Declared on PRODUCER, then re-aimed at a consumer action: the impulse's
  // dependency list keeps PRODUCER only.
  TestVariable node(ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 0, 1), 0);
  node.AddImpulseActionDependency("CONSUME_case1", "CONSUMER", 0);
  node.FixReferences(&plant);
  EXPECT_EQ(node.NumImpulseActionInstances[0], 3);
  ASSERT_EQ(node.NumImpulseWorkers[0], 6);  // 2 producers x 3 watched consumers
  node.CreateImpulseModelGroupList();
  node.CreateImpulseWorkerLists();
  node.FixImpulseWorkerLists();
  for (int j = 0; j < 6; ++j) {
    auto* worker = node.Prototype(0)->Worker(j);
    EXPECT_EQ(worker->Model, plant.Consumers[static_cast<std::size_t>(j / 2)]) << j;
    EXPECT_EQ(worker->BoundModels[0], plant.Producers[static_cast<std::size_t>(j % 2)]) << j;
  }
}

TEST(WorkerBindingTest, SingleInstancesGiveEveryImpulseOneWorkerBoundToThem) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec declared = ImpulseVariable("CONSUME_case2", "CONSUMER", 1.0, 0, 1);
  declared.Impulses[0].FurtherModels = {"PRODUCER"};
  TestRewardModel model(plant, {declared});
  ASSERT_EQ(model.Node(0)->NumImpulseWorkers[0], 1);
  auto* worker = model.Node(0)->Prototype(0)->Worker(0);
  EXPECT_EQ(worker->BoundModels[0], plant->Consumers[0]);
  EXPECT_EQ(worker->BoundModels[1], plant->Producers[0]);
  EXPECT_EQ(worker->Model, plant->Consumers[0]);
}

TEST(WorkerBindingDeathTest, MissingModelInstanceEndsTheProcessWithStatusZero) {
  VariableSpec declared;
  declared.ModelDeps = {"NOWHERE"};
  EXPECT_EXIT(TestRewardModel(new PlantJoin(1, 1), {declared}), testing::ExitedWithCode(0),
              "^Number of NOWHERE's was 0\\.  Model cannot be created\\.\nModel Name was: Plant\n\\.$");
}

TEST(WorkerBindingDeathTest, DependencyOnUnregisteredImpulseEndsTheProcessWithStatusZero) {
  VariableSpec declared;
  TestVariable node(declared, 0);
  rewardtest::ConstantImpulse stranger(1.0, 1, false);
  EXPECT_EXIT(node.AddImpulseModelDependency("PRODUCER", &stranger), testing::ExitedWithCode(0),
              "^Model Dependency requested on undefined impulse\\.  Check code generator\\.  "
              "Error code GP0001\\.\n$");
}

TEST(WorkerBindingDeathTest, DeclaringMoreThanAnnouncedIsAProgrammingError) {
  VariableSpec declared;  // announces no impulse
  TestVariable node(declared, 0);
  rewardtest::ConstantImpulse extra(1.0, 1, false);
  EXPECT_DEATH(node.AddImpulse("PRODUCE", "PRODUCER", &extra), "file PerformanceVariableNode");
}

// --- Accumulation ----------------------------------------------------------

TEST(ImpulseAccumulationTest, FiringsAtStartAndStopCountAndLaterOnesDoNot) {
  PlantJoin* plant = new PlantJoin(2, 1);
  TestRewardModel model(plant, {ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 1.0, 2.0)});
  model.ConsiderOnly(nullptr, 0);
  BaseActionClass* produce = plant->Producers[0]->PRODUCE;
  TestVariable* node = model.Node(0);

  Event(model, produce, 0.5);  // before the interval: ignored
  EXPECT_EQ(node->AccumulationState, PerformanceVariableNode::NotStarted);
  Event(model, produce, 1.0);  // credits 0.5: outside
  EXPECT_EQ(node->AccumulationState, PerformanceVariableNode::Accumulating);
  Event(model, produce, 2.0);  // credits 1.0
  Event(model, produce, 2.5);  // credits 2.0, then completes
  EXPECT_EQ(node->AccumulationState, PerformanceVariableNode::Complete);
  Event(model, produce, 3.0);
  model.EndAccumulate(4.0);
  EXPECT_EQ(node->Value, 2.0);
  EXPECT_EQ(node->SquaredValue, 4.0);
}

TEST(ImpulseAccumulationTest, ImpulsesAreCreditedOneEventLateAndTheLastByEndAccumulate) {
  PlantJoin* plant = new PlantJoin(2, 1);
  TestRewardModel model(plant, {ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 0.0, 10.0)});
  model.ConsiderOnly(nullptr, 0);
  TestVariable* node = model.Node(0);
  auto* worker = node->Prototype(0)->Worker(0);

  model.Accumulate(1.0);  // nothing has fired yet: the placeholder credits nothing
  EXPECT_EQ(worker->Value, 0.0);
  model.FireAction(plant->Producers[0]->PRODUCE, 1.0);
  EXPECT_EQ(worker->Value, 0.0);
  Event(model, plant->Producers[0]->PRODUCE, 3.0);
  EXPECT_EQ(worker->Value, 1.0);
  model.EndAccumulate(10.0);
  EXPECT_EQ(worker->Value, 2.0);
  EXPECT_EQ(node->AccumulationState, PerformanceVariableNode::Complete);
  EXPECT_EQ(node->Value, 2.0);
}

TEST(ImpulseAccumulationTest, SquaredValueSumsEachWorkersSquare) {
  PlantJoin* plant = new PlantJoin(2, 1);
  VariableSpec declared = ImpulseVariable("CONSUME_case1", "CONSUMER", 3.0, 0.0, 10.0);
  ImpulseSpec second;
  second.Action = "CONSUME_case2";
  second.Model = "CONSUMER";
  second.Value = 4.0;
  declared.Impulses.push_back(second);
  VariableSpec perInstance = ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 0.0, 10.0);
  TestRewardModel model(plant, {declared, perInstance});
  model.ConsiderOnly(nullptr, 0);

  Event(model, plant->Consumers[0]->CONSUME_case1, 1.0);
  Event(model, plant->Consumers[0]->CONSUME_case2, 2.0);
  Event(model, plant->Producers[0]->PRODUCE, 3.0);
  Event(model, plant->Producers[1]->PRODUCE, 4.0);
  Event(model, plant->Producers[0]->PRODUCE, 5.0);
  model.EndAccumulate(10.0);

  EXPECT_EQ(model.Node(0)->Value, 7.0);
  EXPECT_EQ(model.Node(0)->SquaredValue, 25.0);  // 3 x 3 + 4 x 4
  // Producer 0's worker earned 2, producer 1's earned 1.
  EXPECT_EQ(model.Node(1)->Value, 3.0);
  EXPECT_EQ(model.Node(1)->SquaredValue, 5.0);
  EXPECT_EQ(model.Node(1)->ImpulseValue, 3.0);
  EXPECT_EQ(model.Node(1)->ImpulseSquaredValue, 5.0);
}

TEST(ImpulseAccumulationTest, TimeAveragedImpulsesAreDividedOnlyWhenTheRunEnds) {
  auto run = [](double endTime, bool eventAfterStop) {
    PlantJoin* plant = new PlantJoin(1, 1);
    VariableSpec declared = ImpulseVariable("PRODUCE", "PRODUCER", 5.0, 0.0, 10.0);
    declared.Impulses[0].TimeAveraged = true;
    TestRewardModel model(plant, {declared});
    model.ConsiderOnly(nullptr, 0);
    Event(model, plant->Producers[0]->PRODUCE, 1.0);
    if (eventAfterStop) Event(model, plant->Producers[0]->PRODUCE, 11.0);
    model.EndAccumulate(endTime);
    return std::make_pair(model.Node(0)->Prototype(0)->Worker(0)->Value, model.Node(0)->Value);
  };
  EXPECT_DOUBLE_EQ(run(12.0, false).second, 0.5);      // divided by 10
  EXPECT_DOUBLE_EQ(run(9.5, false).second, 5.0 / 9.5);  // divided by 9.5
  EXPECT_DOUBLE_EQ(run(8.0, false).first, 5.0 / 8.0);   // not complete yet
  EXPECT_EQ(run(8.0, false).second, 0.0);
  EXPECT_EQ(run(12.0, true).second, 5.0);  // completed by Accumulate: not divided
}

TEST(ImpulseAccumulationTest, TimeAveragedImpulseOverNoElapsedTimeIsNotDivided) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec declared = ImpulseVariable("PRODUCE", "PRODUCER", 5.0, 2.0, 2.0);
  declared.Impulses[0].TimeAveraged = true;
  TestRewardModel model(plant, {declared});
  model.ConsiderOnly(nullptr, 0);
  Event(model, plant->Producers[0]->PRODUCE, 2.0);
  model.EndAccumulate(2.0);
  EXPECT_EQ(model.Node(0)->Value, 5.0);
}

TEST(ImpulseAccumulationTest, EndAccumulateWithinOneUnitOfStopLeavesTheNodeOpen) {
  PlantJoin* plant = new PlantJoin(1, 1);
  TestRewardModel model(plant, {ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 0.0, 10.0)});
  model.ConsiderOnly(nullptr, 0);
  Event(model, plant->Producers[0]->PRODUCE, 1.0);
  model.EndAccumulate(9.0);
  EXPECT_EQ(model.Node(0)->AccumulationState, PerformanceVariableNode::Accumulating);
  EXPECT_EQ(model.Node(0)->Value, 0.0);
  model.EndAccumulate(9.5);
  EXPECT_EQ(model.Node(0)->AccumulationState, PerformanceVariableNode::Complete);
}

TEST(RateAccumulationTest, IntervalOfTimeWeighsTheRateByTheElapsedTime) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec declared;
  declared.Stops = {10.0};
  declared.VariableDeps = {{"SOURCE", "PRODUCER"}};
  TestRewardModel model(plant, {declared});
  model.ConsiderOnly(nullptr, 0);
  // SOURCE holds 2 tokens until PRODUCE fires at 4, then 1.
  Event(model, plant->Producers[0]->PRODUCE, 4.0);
  model.EndAccumulate(10.0);
  EXPECT_DOUBLE_EQ(model.Node(0)->Value, 2.0 * 4.0 + 1.0 * 6.0);
  EXPECT_DOUBLE_EQ(model.Node(0)->SquaredValue, 4.0 * 4.0 + 6.0 * 1.0);
}

TEST(RateAccumulationTest, InstantOfTimeTakesTheRateOnceAtCompletion) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec declared;
  declared.Type = InstantOfTime;
  declared.Starts = {5.0};
  declared.Stops = {5.0};
  declared.VariableDeps = {{"SOURCE", "PRODUCER"}};
  TestRewardModel model(plant, {declared});
  model.ConsiderOnly(nullptr, 0);
  Event(model, plant->Producers[0]->PRODUCE, 4.0);
  Event(model, plant->Producers[0]->PRODUCE, 6.0);  // SOURCE is 1 while the clock passes 5
  EXPECT_EQ(model.Node(0)->AccumulationState, PerformanceVariableNode::Complete);
  EXPECT_EQ(model.Node(0)->Value, 1.0);
  EXPECT_EQ(model.Node(0)->SquaredValue, 1.0);
}

TEST(ImpulseAccumulationTest, VariableWithNeitherWorkersNorImpulsesCompletesAtZero) {
  VariableSpec empty;
  TestRewardModel model(new PlantJoin(1, 1), {empty});
  model.ConsiderOnly(nullptr, 0);
  model.Accumulate(0.5);
  model.EndAccumulate(1.0);
  EXPECT_EQ(model.Node(0)->AccumulationState, PerformanceVariableNode::Complete);
  EXPECT_EQ(model.Node(0)->Value, 0.0);
  EXPECT_EQ(model.Node(0)->SquaredValue, 0.0);
}

TEST(ResetTest, SteadyStateNodeMovesItsWindowOnByOneInterval) {
  VariableSpec declared = ImpulseVariable("PRODUCE", "PRODUCER", 1.0, 5.0, 15.0);
  declared.SteadyState = 1;
  TestRewardModel model(new PlantJoin(1, 1), {declared});
  TestVariable* node = model.Node(0);
  node->Value = 3.0;
  node->Reset();
  EXPECT_EQ(node->StartTime, 15.0);
  EXPECT_EQ(node->StopTime, 25.0);
  EXPECT_EQ(node->IntervalLength, 10.0);
  EXPECT_EQ(node->Value, 0.0);
  EXPECT_EQ(node->AccumulationState, PerformanceVariableNode::NotStarted);
  node->Reset();
  EXPECT_EQ(node->StartTime, 25.0);
  EXPECT_EQ(node->StopTime, 35.0);
}

TEST(ResetTest, SteadyStateImpulsesAreCreditedInEveryBatchNotOnlyTheFirst) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec declared = ImpulseVariable("PRODUCE", "PRODUCER", 2.0, 0.0, 10.0);
  declared.SteadyState = 1;
  TestRewardModel model(plant, {declared});
  model.ConsiderOnly(nullptr, 0);
  TestVariable* node = model.Node(0);
  BaseActionClass* produce = plant->Producers[0]->PRODUCE;

  // The batch is closed the way the steady-state loop closes it: an
  // accumulation one time unit past the window's end, then Reset.
  for (int batch = 0; batch < 3; ++batch) {
    const double start = 10.0 * batch;
    Event(model, produce, start + 4.0);
    Event(model, produce, start + 7.0);
    node->Accumulate(node->StopTime + 1.0, start + 7.0, produce);
    EXPECT_EQ(node->Value, 4.0) << "batch " << batch;
    node->Reset();
  }
}

}  // namespace
