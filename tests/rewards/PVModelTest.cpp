#include "rewards/PVModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rewards/RewardTestModels.h"

namespace {

using rewardtest::Event;
using rewardtest::ImpulseSpec;
using rewardtest::PlantJoin;
using rewardtest::TestRewardModel;
using rewardtest::TestVariable;
using rewardtest::VariableSpec;

VariableSpec Named(const char* name, std::vector<double> starts = {0.0}, std::vector<double> stops = {1.0}) {
  VariableSpec declared;
  declared.Name = name;
  declared.Starts = std::move(starts);
  declared.Stops = std::move(stops);
  return declared;
}

VariableSpec Impulse(const char* action, const char* model, double value, std::vector<std::string> further = {}) {
  VariableSpec declared = Named("impulse", {0.0}, {10.0});
  ImpulseSpec impulse;
  impulse.Action = action;
  impulse.Model = model;
  impulse.Value = value;
  impulse.FurtherModels = std::move(further);
  declared.Impulses.push_back(impulse);
  return declared;
}

// --- The node list ---------------------------------------------------------

TEST(PVListTest, GrowsPastOneHundredNodesKeepingTheirOrder) {
  std::vector<VariableSpec> specs;
  for (int v = 0; v < 150; ++v) specs.push_back(Named(("v" + std::to_string(v)).c_str()));
  TestRewardModel model(new PlantJoin(1, 1), specs);
  ASSERT_EQ(model.NumPVs, 150);
  // At the hundredth node j + b reaches the capacity: 2 x (100 + 1).
  EXPECT_EQ(model.PVListCapacity, 202);
  for (int i = 0; i < 150; ++i) {
    EXPECT_EQ(model.Node(i)->ID, i);
    EXPECT_EQ(model.Node(i)->Name, "v" + std::to_string(i));
  }
}

TEST(PVListTest, ExpandedVariableGivesOneNodePerTimePoint) {
  std::vector<VariableSpec> specs = {Named("phases", {0.0, 1.0, 2.0}, {1.0, 2.0, 3.0}), Named("once")};
  TestRewardModel expanded(new PlantJoin(1, 1), specs, true);
  ASSERT_EQ(expanded.NumPVs, 4);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(expanded.Node(k)->Name, "phases");
    EXPECT_EQ(expanded.Node(k)->StartTime, static_cast<double>(k));
    EXPECT_EQ(expanded.Node(k)->StopTime, k + 1.0);
    EXPECT_EQ(expanded.Node(k)->ID, k);
  }
  EXPECT_EQ(expanded.Node(3)->Name, "once");
  EXPECT_EQ(expanded.Horizon, 3.0);

  TestRewardModel single(new PlantJoin(1, 1), specs, false);
  ASSERT_EQ(single.NumPVs, 2);
  EXPECT_EQ(single.Node(0)->StopTime, 1.0);
  EXPECT_EQ(single.Node(1)->Name, "once");
  EXPECT_EQ(single.Horizon, 1.0);
}

TEST(PVModelTest, TakesOverTheChildsListsAndNumbersItsOwnNodesFromZero) {
  TestRewardModel first(new PlantJoin(1, 1), {Named("a"), Named("b")});
  PlantJoin* plant = new PlantJoin(2, 1);
  TestRewardModel second(plant, {Impulse("PRODUCE", "PRODUCER", 1.0)});
  EXPECT_EQ(second.Node(0)->ID, 0);
  EXPECT_EQ(second.Actions, plant->Actions);
  EXPECT_EQ(second.Groups, plant->Groups);
  EXPECT_EQ(second.NumStateVariables, plant->NumStateVariables);
  EXPECT_EQ(second.NumSharedStateVariables, 0);
  List<BaseActionClass> actions;
  second.listActions(&actions);
  ASSERT_EQ(actions.getNumItems(), 4);
  EXPECT_EQ(actions.getItem(2), plant->Consumers[0]->CONSUME_case1);
  List<BaseGroupClass> groups;
  second.listGroups(&groups);
  EXPECT_EQ(groups.getNumItems(), plant->NumGroups);

  second.ConsiderOnly(nullptr, 0);
  Event(second, plant->Producers[1]->PRODUCE, 0.5);
  second.EndAccumulate(second.Horizon);
  EXPECT_EQ(second.Node(0)->Value, 1.0);
}

// --- Driving a run ----------------------------------------------------------

TEST(PVModelTest, ConsiderOnlyRestrictsTheDrivenNodes) {
  PlantJoin* plant = new PlantJoin(1, 1);
  TestRewardModel model(plant, {Impulse("PRODUCE", "PRODUCER", 1.0), Impulse("PRODUCE", "PRODUCER", 1.0)});
  const int second[] = {1};
  model.ConsiderOnly(second, 1);
  Event(model, plant->Producers[0]->PRODUCE, 1.0);
  model.EndAccumulate(10.0);
  EXPECT_EQ(model.Node(0)->AccumulationState, PerformanceVariableNode::NotStarted);
  EXPECT_EQ(model.Node(0)->Value, 0.0);
  EXPECT_EQ(model.Node(1)->Value, 1.0);

  model.PVReset();
  model.ConsiderOnly(nullptr, 0);
  Event(model, plant->Producers[0]->PRODUCE, 1.0);
  model.EndAccumulate(10.0);
  EXPECT_EQ(model.Node(0)->Value, 1.0);
  EXPECT_EQ(model.Node(1)->Value, 1.0);
}

TEST(PVModelTest, EndAccumulateSkipsCompleteNodes) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec early = Impulse("PRODUCE", "PRODUCER", 1.0);
  early.Stops = {2.0};
  TestRewardModel model(plant, {early});
  model.ConsiderOnly(nullptr, 0);
  Event(model, plant->Producers[0]->PRODUCE, 1.0);
  Event(model, plant->Producers[0]->PRODUCE, 3.0);  // completes with the firing at 1
  ASSERT_EQ(model.Node(0)->AccumulationState, PerformanceVariableNode::Complete);
  model.EndAccumulate(10.0);
  EXPECT_EQ(model.Node(0)->Value, 1.0);
  EXPECT_EQ(model.Node(0)->Prototype(0)->Worker(0)->AccumulateCalls, 1);
}

TEST(PVModelTest, PVResetResetsOnlyStartedNodesAndForgetsTheLastFiring) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec open = Impulse("PRODUCE", "PRODUCER", 1.0);
  open.SteadyState = 1;
  VariableSpec later = open;
  later.Starts = {5.0};
  later.Stops = {6.0};
  TestRewardModel model(plant, {open, later});
  model.ConsiderOnly(nullptr, 0);
  Event(model, plant->Producers[0]->PRODUCE, 1.0);
  Event(model, plant->Producers[0]->PRODUCE, 2.0);

  model.PVReset();
  EXPECT_EQ(model.Node(0)->ResetCalls, 1);
  EXPECT_EQ(model.Node(0)->StartTime, 10.0);  // window moved on
  EXPECT_EQ(model.Node(0)->Prototype(0)->Worker(0)->Value, 0.0);
  EXPECT_EQ(model.Node(1)->ResetCalls, 0);  // still NotStarted
  EXPECT_EQ(model.Node(1)->StartTime, 5.0);
  EXPECT_EQ(model.LastFiredAction, &model.NoFiredAction);
  EXPECT_EQ(BaseModelClass::LastActionTime, 0.0);

  model.SteadyState();
  EXPECT_EQ(model.Node(1)->AccumulationState, PerformanceVariableNode::Accumulating);
}

TEST(PVModelTest, ReplicationsAfterPVResetRepeatTheSameValues) {
  PlantJoin* plant = new PlantJoin(2, 1);
  TestRewardModel model(plant, {Impulse("PRODUCE", "PRODUCER", 2.0)});
  model.ConsiderOnly(nullptr, 0);
  std::vector<double> values;
  for (int replication = 0; replication < 2; ++replication) {
    Event(model, plant->Producers[0]->PRODUCE, 0.0);
    Event(model, plant->Producers[1]->PRODUCE, 0.0);
    model.EndAccumulate(model.Horizon);
    values.push_back(model.Node(0)->Value);
    values.push_back(model.Node(0)->SquaredValue);
    model.PVReset();
  }
  EXPECT_EQ(values, (std::vector<double>{4.0, 8.0, 4.0, 8.0}));
}

TEST(PVModelTest, AccumulateFeedsOnlyTheFiredActionsImpulseWorkersWithoutLookingUpNames) {
  PlantJoin* plant = new PlantJoin(2, 3);
  VariableSpec consumers = Impulse("CONSUME_case1", "CONSUMER", 1.0);
  consumers.Impulses.push_back(consumers.Impulses[0]);
  consumers.Impulses[1].Action = "CONSUME_case2";
  TestRewardModel model(plant, {Impulse("PRODUCE", "PRODUCER", 1.0, {"CONSUMER"}), consumers});
  model.ConsiderOnly(nullptr, 0);
  rewardtest::NameLookups = 0;

  Event(model, plant->Producers[1]->PRODUCE, 1.0);
  model.Accumulate(2.0);

  auto calls = [&](int node, int impulse, int worker) {
    return model.Node(node)->Prototype(impulse)->Worker(worker)->AccumulateCalls;
  };
  for (int j = 0; j < 6; ++j) EXPECT_EQ(calls(0, 0, j), j >= 3 ? 1 : 0) << j;
  for (int impulse = 0; impulse < 2; ++impulse) {
    for (int j = 0; j < 3; ++j) EXPECT_EQ(calls(1, impulse, j), 0);
  }

  model.FireAction(plant->Consumers[2]->CONSUME_case2, 2.0);
  model.EndAccumulate(10.0);
  EXPECT_EQ(calls(1, 1, 2), 1);
  EXPECT_EQ(calls(1, 1, 1), 0);
  EXPECT_EQ(calls(1, 0, 2), 0);
  EXPECT_EQ(model.Node(1)->Value, 1.0);
  model.PVReset();
  EXPECT_EQ(rewardtest::NameLookups, 0);
}

TEST(PVModelTest, ImpulseStaysUnattachedInAnInstanceWithoutItsAction) {
  PlantJoin* plant = new PlantJoin(2, 1);
  // Producer 1 now also answers to CONSUMER but has no CONSUME_case1.
  plant->Producers[1]->DefineName("CONSUMER");
  TestRewardModel model(plant, {Impulse("CONSUME_case1", "CONSUMER", 1.0), Impulse("WRITE_TO_case1", "CONSUMER", 1.0)});
  model.ConsiderOnly(nullptr, 0);
  TestVariable* node = model.Node(0);
  ASSERT_EQ(node->NumImpulseWorkers[0], 2);
  EXPECT_EQ(node->Prototype(0)->Worker(0)->Model, plant->Producers[1]);
  EXPECT_EQ(node->Prototype(0)->Worker(1)->Model, plant->Consumers[0]);
  EXPECT_EQ(plant->Producers[1]->PRODUCE->AffectedNodesByImpulseReward.size(), 0);

  for (int i = 0; i < plant->NumActions; ++i) Event(model, plant->Actions[i], i);
  model.EndAccumulate(10.0);
  EXPECT_EQ(node->Value, 1.0);
  EXPECT_EQ(node->Prototype(0)->Worker(0)->Value, 0.0);
  EXPECT_EQ(model.Node(1)->Value, 0.0);  // no instance has the action
  EXPECT_EQ(model.Node(1)->AccumulationState, PerformanceVariableNode::Complete);
}

TEST(PVModelTest, FireActionRecordsTheMemberTheGroupFired) {
  PlantJoin* plant = new PlantJoin(1, 1);
  TestRewardModel model(plant, {Impulse("CONSUME_case1", "CONSUMER", 3.0)});
  model.ConsiderOnly(nullptr, 0);
  testmodels::ScriptedUniforms uniforms({0.2});  // below 0.3: the first case
  Event(model, plant->Producers[0]->PRODUCE, 1.0);
  model.Accumulate(2.0);
  BaseActionClass* fired = model.FireAction(plant->Consumers[0]->CONSUMEGroup, 2.0);
  EXPECT_EQ(fired, plant->Consumers[0]->CONSUME_case1);
  EXPECT_EQ(model.LastFiredAction, fired);
  EXPECT_EQ(BaseModelClass::LastActionTime, 2.0);
  model.EndAccumulate(10.0);
  EXPECT_EQ(model.Node(0)->Value, 3.0);
}

TEST(PVModelTest, AffectedNodesUniteRateAndImpulseVariables) {
  PlantJoin* plant = new PlantJoin(1, 1);
  VariableSpec rate = Named("rate");
  rate.VariableDeps = {{"SOURCE", "PRODUCER"}};
  TestRewardModel model(plant, {Impulse("CONSUME_case1", "CONSUMER", 1.0), rate, Impulse("PRODUCE", "PRODUCER", 1.0)});
  FastSet& produce = plant->Producers[0]->PRODUCE->AffectedNodes;
  ASSERT_EQ(produce.size(), 2);
  EXPECT_EQ(produce[0], 1);
  EXPECT_EQ(produce[1], 2);
  EXPECT_EQ(model.NumActionsWithPVs, 2);
  EXPECT_EQ(model.ActionsWithPVs[0], plant->Producers[0]->PRODUCE);
  EXPECT_EQ(model.AffectedNodeSets[0], &produce);
  EXPECT_EQ(model.Node(2)->AffectingActions, std::vector<BaseActionClass*>{plant->Producers[0]->PRODUCE});
  EXPECT_TRUE(model.Node(0)->ImpulseAffectedBy(plant->Consumers[0]->CONSUME_case1));
  EXPECT_FALSE(model.Node(0)->ImpulseAffectedBy(plant->Consumers[0]->CONSUME_case2));
  EXPECT_FALSE(model.Node(0)->ImpulseAffectedBy(&model.NoFiredAction));
}

// The per-event walk over an action's impulse workers trusts that an action
// holds impulse workers of a variable only when it is listed as affecting it.
TEST(PVModelTest, AnActionHoldsImpulseWorkersOnlyOfTheVariablesItAffects) {
  PlantJoin* plant = new PlantJoin(2, 2);
  TestRewardModel model(plant, {Impulse("CONSUME_case1", "CONSUMER", 1.0), Named("none"),
                                Impulse("PRODUCE", "PRODUCER", 1.0), Impulse("CONSUME_case2", "CONSUMER", 1.0)});
  int attached = 0;
  for (int a = 0; a < plant->NumActions; ++a) {
    BaseActionClass* action = plant->Actions[a];
    ASSERT_TRUE(action->IsPVImpulseDSAllocated());
    for (int p = 0; p < model.GetNumPVs(); ++p) {
      const bool holds = action->PVImpulseSets[p].size() > 0;
      attached += holds;
      EXPECT_EQ(holds, model.Node(p)->ImpulseAffectedBy(action)) << action->getName() << " / variable " << p;
    }
  }
  EXPECT_EQ(attached, 6);  // two consumers' cases for each consumer variable, two producers
}

TEST(PVModelDeathTest, BuildingAnActionsAffectedNodesTwiceStopsOnAnAssertion) {
  PlantJoin* plant = new PlantJoin(1, 1);
  TestRewardModel model(plant, {Impulse("PRODUCE", "PRODUCER", 1.0)});
  EXPECT_DEATH(model.CreateTotalPVAffectsList(plant->Producers[0]->PRODUCE), "file PVModel, line 32");
}

// --- State vector with the last-action index ---------------------------------

TEST(LastActionIndexTest, BytesForCoversEachWidth) {
  EXPECT_EQ(PVModel::BytesFor(0), 0);
  EXPECT_EQ(PVModel::BytesFor(26), 1);
  EXPECT_EQ(PVModel::BytesFor(255), 1);
  EXPECT_EQ(PVModel::BytesFor(256), 2);
  EXPECT_EQ(PVModel::BytesFor(65535), 2);
  EXPECT_EQ(PVModel::BytesFor(65536), 3);
  EXPECT_EQ(PVModel::BytesFor(16777215), 3);
  EXPECT_EQ(PVModel::BytesFor(16777216), 4);
}

TEST(LastActionIndexTest, StateVectorEndsWithTheOneBasedPositionOfTheLastFiredAction) {
  PlantJoin* plant = new PlantJoin(2, 1);
  TestRewardModel model(plant, {Impulse("CONSUME_case1", "CONSUMER", 3.0)}, true, 1);
  model.ConsiderOnly(nullptr, 0);
  const int childSize = plant->StateSize();
  ASSERT_EQ(model.StateIndexOffset, childSize);
  ASSERT_EQ(model.StateIndexBytes, 1);
  ASSERT_EQ(model.StateSize(), childSize + 1);

  std::vector<unsigned char> before(static_cast<std::size_t>(model.StateSize()), 0xEE);
  model.CurrentState(before.data());
  EXPECT_EQ(before.back(), 0);  // nothing fired yet

  Event(model, plant->Producers[0]->PRODUCE, 1.0);
  model.SetState(before.data());  // restores the markings, not the index
  model.FireAction(plant->Consumers[0]->CONSUME_case1, 2.0);  // action 3 of 4
  std::vector<unsigned char> after(before.size(), 0xEE);
  model.CurrentState(after.data());
  EXPECT_EQ(after.back(), 3);
  EXPECT_FALSE(model.CompareState(before.data(), after.data()));

  std::vector<unsigned char> same = after;
  same.back() = 0;
  plant->SetState(after.data());
  plant->CurrentState(same.data());
  EXPECT_FALSE(model.CompareState(same.data(), after.data()));
  same.back() = 3;
  EXPECT_TRUE(model.CompareState(same.data(), after.data()));

  unsigned char index[1] = {0};
  model.GetPVState(index);
  EXPECT_EQ(index[0], 3);
  EXPECT_EQ(model.StateIndexLookup(index), 3);
}

TEST(LastActionIndexTest, StateSpaceOperationsDecodeTheIndex) {
  PlantJoin* plant = new PlantJoin(2, 1);
  TestRewardModel model(plant, {Impulse("CONSUME_case1", "CONSUMER", 3.0)}, true, 1);
  model.ConsiderOnly(nullptr, 0);

  unsigned char index[1] = {3};
  model.PutPVState(index);
  EXPECT_EQ(model.LastFiredAction, plant->Consumers[0]->CONSUME_case1);
  EXPECT_EQ(model.Node(0)->ImpulseValue, 3.0);  // the instantaneous impulse, not added to Value
  EXPECT_EQ(model.Node(0)->Value, 0.0);

  std::vector<char> state(64, 0);
  ASSERT_LT(model.StateSize(), 64);
  char& last = state[static_cast<std::size_t>(model.StateIndexOffset)];
  last = 2;
  model.AgeAction(state.data(), nullptr);
  EXPECT_EQ(model.LastFiredAction, plant->Producers[1]->PRODUCE);
  EXPECT_EQ(model.Node(0)->ImpulseValue, 0.0);

  last = 77;  // no such action: taken as nothing fired
  model.AgeAction(state.data(), nullptr);
  EXPECT_EQ(model.LastFiredAction, &model.NoFiredAction);

  model.FireAction(static_cast<void*>(state.data()), plant->Producers[0]->PRODUCE);
  EXPECT_EQ(last, 1);

  model.StateIndexBytes = 2;  // least significant byte first
  unsigned char wide[2] = {0x02, 0x01};
  EXPECT_EQ(model.StateIndexLookup(wide), 258);
}

TEST(LastActionIndexTest, WithoutTheIndexTheStateIsTheChildsAlone) {
  PlantJoin* plant = new PlantJoin(1, 1);
  TestRewardModel model(plant, {Impulse("CONSUME_case1", "CONSUMER", 3.0)}, true, 0);
  model.ConsiderOnly(nullptr, 0);
  EXPECT_EQ(model.StateSize(), plant->StateSize());
  EXPECT_EQ(model.StateIndexBytes, 0);
  unsigned char index[1] = {9};
  model.GetPVState(index);
  EXPECT_EQ(index[0], 9);
  model.PutPVState(index);
  EXPECT_EQ(model.Node(0)->ImpulseValue, 0.0);
}

// --- PV type file --------------------------------------------------------------

TEST(PVTypeFileTest, ListsEveryNodeWithAllTimePointsOfItsVariable) {
  VariableSpec scheduling = Named("scheduling");
  VariableSpec phases = Named("phases", {0.0, 2.5, 10.0}, {2.5, 10.0, 1000000.0});
  phases.Type = InstantOfTime;
  TestRewardModel model(new PlantJoin(1, 1), {scheduling, phases});
  const std::string path = testing::TempDir() + "pv_type_file.txt";
  {
    std::ofstream stale(path);
    stale << "old contents that must disappear\n";
  }
  model.WritePVTypeFile(path.c_str());
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string phasesNode =
      "Name:phases\nType:0\nNumTimes:3\nStart:0\nStop:2.5\nStart:2.5\nStop:10\nStart:10\nStop:1e+06\n";
  EXPECT_EQ(text.str(), "Version:1\nNumPV:4\nName:scheduling\nType:1\nNumTimes:1\nStart:0\nStop:1\n" +
                            phasesNode + phasesNode + phasesNode);
  std::remove(path.c_str());
}

TEST(PVTypeFileTest, UnopenableFileIsSilentlyIgnored) {
  TestRewardModel model(new PlantJoin(1, 1), {Named("scheduling")});
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  model.WritePVTypeFile("/nonexistent-directory/pv.txt");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
