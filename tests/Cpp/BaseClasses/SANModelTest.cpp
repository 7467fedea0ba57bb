#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/TestModels.h"

namespace {

using testmodels::ConsumerSAN;
using testmodels::ProducerSAN;
using testmodels::ScriptedUniforms;

TEST(BaseModelClassTest, ModelsAreNumberedInConstructionOrder) {
  SANModel first;
  SANModel second;
  EXPECT_EQ(second.ModelId, first.ModelId + 1);
  EXPECT_EQ(second.ParentId, second.ModelId);
  EXPECT_EQ(BaseModelClass::globalModelId, second.ModelId);
  second.SetParentId(first.ModelId);
  EXPECT_EQ(second.ParentId, first.ModelId);
}

struct BareModel : BaseModelClass {
  void listModels(const char*, List<BaseModelClass>*) override {}
  void CurrentState(void*) override {}
  void listActions(List<BaseActionClass>*) override {}
  void listGroups(List<BaseGroupClass>*) override {}
  void SetState(void*) override {}
  int StateSize() override { return 0; }
  bool CompareState(void*, void*) override { return true; }
  void listActions(const char*, List<BaseActionClass>*) override {}
  void listSVs(const char*, const char*, List<BaseStateVariableClass>*, List<BaseModelClass>*) override {}
};

TEST(BaseModelClassDeathTest, StructuralQuestionsOfTheBaseClassAreProgrammingErrors) {
  BareModel m;
  std::forward_list<BaseActionClass*> out;
  State* s = nullptr;
  EXPECT_DEATH(m.GetModelType(), "Assertion failed: false, file BaseModelClass, line 97");
  EXPECT_DEATH(m.GetNumberOfChildren(), "BaseModelClass, line 102");
  EXPECT_DEATH(m.GetChild(0), "BaseModelClass, line 107");
  EXPECT_DEATH(m.GetLocalActions(out), "BaseModelClass, line 113");
  EXPECT_DEATH(m.GetGlobalActions(out), "BaseModelClass, line 117");
  EXPECT_DEATH(m.HasLocalState(), "BaseModelClass, line 121");
  EXPECT_DEATH(m.GetLocalState(s), "BaseModelClass, line 126");
  EXPECT_DEATH(m.SetLocalState(s), "BaseModelClass, line 130");
  EXPECT_DEATH(m.ConstructLocalState(s), "BaseModelClass, line 134");
  EXPECT_DEATH(m.DestructLocalState(s), "BaseModelClass, line 138");
  EXPECT_EQ(m.GetSharedStateVariables(), nullptr);
  EXPECT_EQ(m.getMainSharedVariable(nullptr), nullptr);
}

TEST(SANModelTest, InitializationCopiesTheArraysAndAdoptsActionsAndGroups) {
  ConsumerSAN san;
  EXPECT_STREQ(san.getName(), "CONSUMER");
  EXPECT_EQ(san.NumStateVariables, 3);
  EXPECT_EQ(san.NumActions, 2);
  EXPECT_EQ(san.NumGroups, 1);
  EXPECT_EQ(san.GetModelType(), 1);
  EXPECT_EQ(san.GetNumberOfChildren(), 0);
  EXPECT_EQ(san.CONSUME_case1->ParentModel, &san);
  EXPECT_EQ(san.CONSUMEGroup->ParentModel, &san);
  Place* places[] = {san.BUFFER, san.DONE_A, san.DONE_B};
  Activity* actions[] = {san.CONSUME_case1, san.CONSUME_case2};
  EXPECT_TRUE(checkLocalSVs(&san, places));
  EXPECT_TRUE(checkLocalActions(&san, actions));
  EXPECT_TRUE(checkReadOnlyPlaces(&san, nullptr));
  std::swap(places[1], places[2]);
  EXPECT_FALSE(checkLocalSVs(&san, places));
  EXPECT_EQ(san.GetLocalStateVariables(nullptr)[2], san.DONE_B);
}

TEST(SANModelTest, ArcsFillBothSidesInArcOrder) {
  ConsumerSAN san;
  ASSERT_EQ(san.BUFFER->getNumEnabledActions(), 2);
  EXPECT_EQ(san.BUFFER->getEnabledAction(0), san.CONSUME_case1);
  EXPECT_EQ(san.BUFFER->getAffectingAction(1), san.CONSUME_case2);
  ASSERT_EQ(san.CONSUME_case1->AffectedSVs.getNumItems(), 2);
  EXPECT_EQ(san.CONSUME_case1->AffectedSVs[0], san.BUFFER);
  EXPECT_EQ(san.CONSUME_case1->AffectedSVs[1], san.DONE_A);
  EXPECT_EQ(san.CONSUME_case1->EnablingSVs[0], san.BUFFER);
}

TEST(SANModelTest, SavesRestoresAndComparesItsPlacesInOrder) {
  ProducerSAN san;
  ASSERT_EQ(san.StateSize(), 4);
  EXPECT_TRUE(san.HasLocalState());
  short initial[2];
  san.CurrentState(initial);
  EXPECT_EQ(initial[0], 2);
  EXPECT_EQ(initial[1], 0);
  ASSERT_TRUE(san.PRODUCE->Enabled());
  san.PRODUCE->Fire();
  short after[2];
  san.CurrentState(after);
  EXPECT_EQ(after[0], 1);
  EXPECT_EQ(after[1], 1);
  EXPECT_FALSE(san.CompareState(initial, after));
  san.SetState(initial);
  EXPECT_EQ(san.SOURCE->getMark(), 2);
  EXPECT_EQ(san.BUFFER->getMark(), 0);
  san.CurrentState(after);
  EXPECT_TRUE(san.CompareState(initial, after));
}

TEST(SANModelTest, PrintsItsStateAndInfo) {
  ProducerSAN san;
  std::ostringstream out;
  san.printState(&out);
  EXPECT_EQ(out.str(), "Model: (" + std::to_string(san.ModelId) + ")PRODUCER\n  SOURCE = 2\n  BUFFER = 0\n");
  testing::internal::CaptureStdout();
  san.PrintSANModelInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SANModelInfo\n"
            "Number of Actions = 1, Number of Groups = 1, Number of State Variables = 2\n"
            "ActionName = PRODUCE\n"
            "Group Id = 0\n"
            "DistributionType = 18\n"
            "ExecutionPolicy = 1\n"
            "Number of affected state variables = 2\n"
            "Number of enabling state variables = 1\n"
            "\n"
            "Group Name = PRODUCE \n"
            "Place Name = SOURCE\n"
            "Place Name = BUFFER\n");
}

TEST(SANModelTest, ListsByNameFindTheFirstActionAndEveryMatchingPlace) {
  ConsumerSAN san;
  san.CONSUME_case2->defineName("CONSUME_case1");
  List<BaseActionClass> actions;
  san.listActions("CONSUME_case1", &actions);
  ASSERT_EQ(actions.getNumItems(), 1);
  EXPECT_EQ(actions[0], san.CONSUME_case1);
  List<BaseStateVariableClass> svs;
  List<BaseModelClass> models;
  san.listSVs("OTHER", "DONE_A", &svs, &models);
  EXPECT_EQ(svs.getNumItems(), 0);
  san.listSVs("CONSUMER", "DONE_A", &svs, &models);
  ASSERT_EQ(svs.getNumItems(), 1);
  EXPECT_EQ(svs[0], san.DONE_A);
  EXPECT_EQ(models[0], &san);
  List<BaseModelClass> found;
  san.listModels("CONSUMER", &found);
  san.listModels("PRODUCER", &found);
  EXPECT_EQ(found.getNumItems(), 1);
  List<BaseGroupClass> groups;
  san.listGroups(&groups);
  EXPECT_EQ(groups[0], san.CONSUMEGroup);
}

TEST(SANModelTest, AnUnsharedSANHasNoGlobalActions) {
  ConsumerSAN san;
  std::forward_list<BaseActionClass*> global, local;
  san.GetGlobalActions(global);
  EXPECT_TRUE(global.empty());
  san.GetLocalActions(local);
  std::vector<BaseActionClass*> order(local.begin(), local.end());
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0], san.CONSUME_case2);  // each put at the front
  EXPECT_EQ(order[1], san.CONSUME_case1);
}

TEST(SANModelDeathTest, HasNoChildren) {
  ProducerSAN san;
  EXPECT_DEATH(san.GetChild(0), "Assertion failed: false, file SANModel, line 337");
}

TEST(LocalStateTest, HashWeighsSignedBytesWithPrimes) {
  SANModel::LocalState two(2);
  two.getData()[0] = 1;
  two.getData()[1] = 1;
  EXPECT_EQ(two.hash(), 5);
  SANModel::LocalState one(1);
  one.getData()[0] = static_cast<char>(255);
  EXPECT_EQ(one.hash(), -2);
  SANModel::LocalState wide(258);  // the table wraps after 256 bytes
  wide.getData()[256] = 1;
  wide.getData()[257] = 2;
  EXPECT_EQ(wide.hash(), 2 + 2 * 3);
}

TEST(LocalStateTest, ComparesUnsignedBytesThreeWays) {
  SANModel::LocalState a(2), b(2);
  EXPECT_EQ(a.compare(b), 0);
  b.getData()[1] = static_cast<char>(0x80);  // above 0x7f as an unsigned byte
  EXPECT_EQ(a.compare(b), -1);
  EXPECT_EQ(b.compare(a), 1);
  a = b;
  EXPECT_EQ(a.compare(b), 0);
  State& sa = a;
  sa = sa;  // self-assignment changes nothing
  EXPECT_EQ(a.compare(b), 0);
}

TEST(LocalStateTest, PrintsEachByteAsASignedNumber) {
  SANModel::LocalState s(3);
  s.getData()[0] = 1;
  s.getData()[1] = static_cast<char>(-3);
  s.getData()[2] = 100;
  testing::internal::CaptureStdout();
  s.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "    1   -3  100\n");
}

TEST(LocalStateTest, FileRoundTripAndOversizedRecordsAreRejected) {
  SANModel::LocalState out(4);
  std::memcpy(out.getData(), "\x01\x02\x03\x04", 4);
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(out.fwriteState(f));
  std::rewind(f);
  SANModel::LocalState in(4);
  EXPECT_FALSE(in.freadState(f));
  EXPECT_EQ(in.compare(out), 0);
  std::rewind(f);
  SANModel::LocalState tooSmall(3);
  EXPECT_TRUE(tooSmall.freadState(f));  // 4 stored bytes do not fit
  EXPECT_EQ(tooSmall.getSize(), 3);
  std::fclose(f);

  FILE* truncated = std::tmpfile();
  int32_t size = 4;
  std::fwrite(&size, sizeof size, 1, truncated);
  std::fwrite("\x09\x09", 1, 2, truncated);
  std::rewind(truncated);
  EXPECT_TRUE(in.freadState(truncated));
  std::fclose(truncated);

  FILE* negative = std::tmpfile();
  size = -1;
  std::fwrite(&size, sizeof size, 1, negative);
  std::rewind(negative);
  EXPECT_TRUE(in.freadState(negative));
  std::fclose(negative);
}

TEST(LocalStateTest, MovesTheModelsStateInAndOut) {
  ProducerSAN san;
  State* s = nullptr;
  san.ConstructLocalState(s);
  san.GetLocalState(s);
  short saved[2];
  std::memcpy(saved, s->GetStatePtr(), 4);
  EXPECT_EQ(saved[0], 2);
  san.SOURCE->setMark(0);
  san.SetLocalState(s);
  EXPECT_EQ(san.SOURCE->getMark(), 2);
  san.DestructLocalState(s);
  san.DestructLocalState(nullptr);
}

TEST(LocalStateDeathTest, AssigningStatesOfDifferentSizesFails) {
  SANModel::LocalState a(2), b(3);
  EXPECT_DEATH(a = b, "Assertion failed: size == _localS->size, file SANModel, line 469");
}

TEST(SANModelTest, PostselectCaseChoiceRunsThroughTheModel) {
  ConsumerSAN san;
  san.BUFFER->setMark(2);
  ScriptedUniforms u({0.2, 0.5});
  EXPECT_EQ(san.CONSUMEGroup->Fire(), san.CONSUME_case1);
  EXPECT_EQ(san.CONSUMEGroup->Fire(), san.CONSUME_case2);
  EXPECT_EQ(san.DONE_A->getMark(), 1);
  EXPECT_EQ(san.DONE_B->getMark(), 1);
  EXPECT_FALSE(san.CONSUMEGroup->Enabled());
}

}  // namespace
