#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "Cpp/Composer/Join.h"
#include "Cpp/TestModels.h"

namespace {

using testmodels::PipelineJoin;
using testmodels::ProducerSAN;
using testmodels::ScriptedUniforms;

TEST(JoinTest, HashShiftsBy32PerCharacter) {
  EXPECT_EQ(BaseComposerClass::Hash("ab", 7), 3u);
  EXPECT_EQ(BaseComposerClass::Hash("", 5), 0u);
  EXPECT_EQ(BaseComposerClass::Hash("\xff", 1000), (0xffffffffu) % 1000);  // a signed byte
}

TEST(JoinTest, CountsStateVariablesActionsAndGroupsOfTheComposedModel) {
  PipelineJoin join;
  EXPECT_EQ(join.GetModelType(), 2);
  EXPECT_EQ(join.GetNumberOfChildren(), 2);
  EXPECT_EQ(join.GetChild(1), join.Consumer);
  EXPECT_EQ(join.NumStateVariables, 2 + 3 - 2 + 1);
  EXPECT_EQ(join.NumSharedStateVariables, 1);
  ASSERT_EQ(join.NumActions, 3);
  ASSERT_EQ(join.NumGroups, 2);
  EXPECT_EQ(join.Actions[0], join.Producer->PRODUCE);
  EXPECT_EQ(join.Actions[2], join.Consumer->CONSUME_case2);
  EXPECT_EQ(join.Groups[1], join.Consumer->CONSUMEGroup);
  // Groups are renumbered by their position in the composed model.
  EXPECT_EQ(join.Producer->PRODUCE->GroupID, 0);
  EXPECT_EQ(join.Consumer->CONSUME_case1->GroupID, 1);
  EXPECT_EQ(join.Consumer->CONSUME_case2->GroupID, 1);
  List<BaseGroupClass> groups;
  join.listGroups(&groups);
  EXPECT_EQ(groups.getNumItems(), 2);
}

TEST(JoinTest, SharedPlaceIsOneCellForBothChildren) {
  PipelineJoin join;
  EXPECT_EQ(join.BUFFER->getSharingCount(), 2 + 3 + 4);  // own 2, producer's 3, consumer's 4
  EXPECT_FALSE(join.Producer->BUFFER->getStored());
  ASSERT_TRUE(join.Producer->PRODUCE->Enabled());
  join.Producer->PRODUCE->Fire();
  EXPECT_EQ(join.BUFFER->getMark(), 1);
  EXPECT_EQ(join.Consumer->BUFFER->getMark(), 1);
  EXPECT_TRUE(join.Consumer->CONSUMEGroup->Enabled());
  // Both submodels' actions are in the group's lists, and name the join's place.
  List<BaseActionClass>* enabled = join.BUFFER->getEnabledActions();
  ASSERT_EQ(enabled->getNumItems(), 2);
  EXPECT_EQ(enabled->getItem(0), join.Consumer->CONSUME_case1);
  List<BaseActionClass>* affecting = join.BUFFER->getAffectingActions();
  ASSERT_EQ(affecting->getNumItems(), 3);
  EXPECT_EQ(affecting->getItem(0), join.Producer->PRODUCE);
  EXPECT_EQ(join.Producer->PRODUCE->AffectedSVs[1], join.BUFFER);
  EXPECT_EQ(join.Consumer->CONSUME_case1->EnablingSVs[0], join.BUFFER);
}

TEST(JoinTest, SavedStateIsTheChildrenThenTheSharedCells) {
  PipelineJoin join;
  ASSERT_EQ(join.StateSize(), 8);
  EXPECT_EQ(join.CachedStateSize, 8);
  EXPECT_EQ(join.ChildStateSizes[0], 2);
  EXPECT_EQ(join.ChildStateSizes[1], 4);
  join.Producer->SOURCE->setMark(5);
  join.Consumer->DONE_A->setMark(6);
  join.Consumer->DONE_B->setMark(7);
  join.BUFFER->setMark(8);
  short bytes[4];
  join.CurrentState(bytes);
  EXPECT_EQ(bytes[0], 5);  // PRODUCER: SOURCE
  EXPECT_EQ(bytes[1], 6);  // CONSUMER: DONE_A, DONE_B
  EXPECT_EQ(bytes[2], 7);
  EXPECT_EQ(bytes[3], 8);  // shared BUFFER, once
  short changed[4] = {1, 2, 3, 4};
  join.SetState(changed);
  EXPECT_EQ(join.Consumer->BUFFER->getMark(), 4);
  EXPECT_EQ(join.Producer->SOURCE->getMark(), 1);
  join.CurrentState(bytes);
  EXPECT_TRUE(join.CompareState(bytes, changed));
  changed[3] = 0;
  EXPECT_FALSE(join.CompareState(bytes, changed));
}

TEST(JoinTest, AReplicationCanBeReplayedFromTheSavedInitialState) {
  PipelineJoin join;
  short initial[4];
  join.CurrentState(initial);
  ScriptedUniforms u({0.1, 0.9});
  for (int round = 0; round < 2; round++) {
    join.Producer->PRODUCE->Fire();
    join.Producer->PRODUCE->Fire();
    EXPECT_FALSE(join.Producer->PRODUCE->Enabled());
    join.Consumer->CONSUMEGroup->Fire();
    join.Consumer->CONSUMEGroup->Fire();
    EXPECT_EQ(join.BUFFER->getMark(), 0);
    EXPECT_EQ(join.Consumer->DONE_A->getMark() + join.Consumer->DONE_B->getMark(), 2);
    join.SetState(initial);
    u.push(0.1);
    u.push(0.9);
  }
  EXPECT_EQ(join.Consumer->CONSUME_case1->FireCount, 2);
  EXPECT_EQ(join.Consumer->CONSUME_case2->FireCount, 2);
}

TEST(JoinTest, PrintsChildrenThenSharedVariables) {
  PipelineJoin join;
  std::ostringstream out;
  join.printState(&out);
  std::string p = std::to_string(join.Producer->ModelId), c = std::to_string(join.Consumer->ModelId);
  EXPECT_EQ(out.str(), "Model: (" + std::to_string(join.ModelId) + ")Pipeline\n" +
                           "Model: (" + p + ")PRODUCER\n  SOURCE = 2\n  BUFFER = 0\n" +
                           "Model: (" + c + ")CONSUMER\n  BUFFER = 0\n  DONE_A = 0\n  DONE_B = 0\n" +
                           "Shared Variables:\n  BUFFER = 0\n");
}

TEST(JoinTest, AnswersWhichSharedVariableAChildPlaceStandsFor) {
  PipelineJoin join;
  EXPECT_EQ(join.getMainSharedVariable(join.Consumer->BUFFER), join.BUFFER);
  EXPECT_EQ(join.getMainSharedVariable(join.Producer->BUFFER), join.BUFFER);
  EXPECT_EQ(join.getMainSharedVariable(join.Producer->SOURCE), nullptr);
  SharedStateVarLink* chain = join.getListOfSharedVariables(join.BUFFER);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->StateVar, join.Producer->BUFFER);
  EXPECT_EQ(chain->Model, join.Producer);
  ASSERT_NE(chain->Next, nullptr);
  EXPECT_EQ(chain->Next->StateVar, join.Consumer->BUFFER);
  EXPECT_EQ(chain->Next->Next, nullptr);
  EXPECT_EQ(join.getListOfSharedVariables(join.Producer->SOURCE), nullptr);
  EXPECT_EQ(join.SharedVarMembers[0]->getNumItems(), 2);
}

TEST(JoinTest, ForwardsNameLookupsToTheChildren) {
  PipelineJoin join;
  List<BaseModelClass> models;
  join.listModels("CONSUMER", &models);
  ASSERT_EQ(models.getNumItems(), 1);
  EXPECT_EQ(models[0], join.Consumer);
  List<BaseActionClass> actions;
  join.listActions("PRODUCE", &actions);
  EXPECT_EQ(actions.getNumItems(), 1);
  List<BaseStateVariableClass> svs;
  List<BaseModelClass> owners;
  join.listSVs("CONSUMER", "BUFFER", &svs, &owners);
  ASSERT_EQ(svs.getNumItems(), 1);
  EXPECT_EQ(svs[0], join.Consumer->BUFFER);
}

TEST(JoinTest, SANsInsideAJoinReportTheirGlobalActions) {
  PipelineJoin join;
  EXPECT_EQ(join.Producer->StateSize(), 2);
  std::forward_list<BaseActionClass*> global, local;
  join.Producer->GetGlobalActions(global);
  ASSERT_FALSE(global.empty());
  EXPECT_EQ(global.front(), join.Producer->PRODUCE);
  EXPECT_EQ(std::next(global.begin()), global.end());  // the consumer's actions are not its own
  join.Producer->GetLocalActions(local);
  EXPECT_TRUE(local.empty());
  std::forward_list<BaseActionClass*> consumerGlobal;
  join.Consumer->GetGlobalActions(consumerGlobal);
  std::vector<BaseActionClass*> order(consumerGlobal.begin(), consumerGlobal.end());
  ASSERT_EQ(order.size(), 2u);
  EXPECT_GT(order[0]->ActionID, order[1]->ActionID);
}

TEST(JoinTest, LocalStateHoldsOnlyTheSharedVariables) {
  PipelineJoin join;
  EXPECT_TRUE(join.HasLocalState());
  State* s = nullptr;
  join.ConstructLocalState(s);
  join.BUFFER->setMark(3);
  join.GetLocalState(s);
  short v;
  std::memcpy(&v, s->GetStatePtr(), 2);
  EXPECT_EQ(v, 3);
  join.BUFFER->setMark(0);
  join.SetLocalState(s);
  EXPECT_EQ(join.Consumer->BUFFER->getMark(), 3);
  join.DestructLocalState(s);
}

TEST(JoinTest, ActionNamesAreCountedInTheNameTable) {
  PipelineJoin join;
  EXPECT_EQ(join.NumDistinctActionNames, 3);
  EXPECT_EQ(join.ActionHashSize, 12);
  join.Consumer->CONSUME_case2->defineName("PRODUCE");
  join.Setup();
  EXPECT_EQ(join.NumDistinctActionNames, 2);
  int total = 0, produce = 0;
  for (int i = 0; i < join.ActionHashSize; i++) {
    total += join.ActionNameCounts[i];
    if (join.ActionNameTable[i] && std::strcmp(join.ActionNameTable[i], "PRODUCE") == 0)
      produce = join.ActionNameCounts[i];
  }
  EXPECT_EQ(total, 3);
  EXPECT_EQ(produce, 2);
}

struct EmptySAN : SANModel {
  EmptySAN() { initializeSANModelNow("EMPTY", 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr); }
};

inline const char* const OneName[] = {"X"};

TEST(JoinTest, AJoinOfChildrenWithoutStateSharesNothing) {
  EmptySAN a, b;
  Join join("Nothing", 2, 1, OneName);
  join.Children[0] = &a;
  join.Children[1] = &b;
  join.SetupActions();
  ASSERT_TRUE(join.AllChildrenEmpty());
  join.NumSharedStateVariables = 0;
  join.Setup();
  EXPECT_EQ(join.NumSharedStateVariables, 0);
  EXPECT_EQ(join.StateSize(), 0);
  EXPECT_EQ(join.ActionHashSize, 0);
  EXPECT_FALSE(join.HasLocalState());
  Join childless("None", 0, 3, nullptr);
  EXPECT_EQ(childless.NumSharedStateVariables, 0);
  EXPECT_TRUE(childless.AllChildrenEmpty());
}

// A join of a join: the outer shared variable stands for the inner one and,
// through it, for both SANs' places.
inline const char* const OuterNames[] = {"B2"};

struct OuterJoin : Join {
  OuterJoin() : Join("Outer", 2, 1, OuterNames) {
    Inner = new PipelineJoin();
    Children[0] = Inner;
    Extra = new ProducerSAN();
    Children[1] = Extra;
    SetupActions();
    B2 = new Place("B2");
    addSharedPtr(B2, "B2");
    B2->ShareWith(Inner->BUFFER);
    addSharingInfo(Inner->BUFFER, B2, Inner);
    B2->ShareWith(Extra->BUFFER);
    addSharingInfo(Extra->BUFFER, B2, Extra);
    Setup();
  }
  ~OuterJoin() override {
    delete B2;
    delete Inner;
    delete Extra;
  }
  PipelineJoin* Inner;
  ProducerSAN* Extra;
  Place* B2;
};

TEST(JoinTest, NestedJoinsChainTheVariablesTheyStandFor) {
  OuterJoin outer;
  EXPECT_EQ(outer.getMainSharedVariable(outer.Inner->Consumer->BUFFER), outer.B2);
  EXPECT_EQ(outer.getMainSharedVariable(outer.Extra->BUFFER), outer.B2);
  SharedStateVarLink* chain = outer.getListOfSharedVariables(outer.B2);
  int links = 0;
  for (SharedStateVarLink* l = chain; l; l = l->Next) links++;
  EXPECT_EQ(links, 4);  // inner BUFFER, its two SAN places, extra BUFFER
  EXPECT_NE(chain->Next, outer.Inner->getListOfSharedVariables(outer.Inner->BUFFER));  // a copy
  EXPECT_EQ(outer.NumStateVariables, 4 + 2 - 2 + 1);
  EXPECT_EQ(outer.StateSize(), 6 + 2 + 2);
  outer.Extra->PRODUCE->Fire();
  EXPECT_EQ(outer.Inner->Consumer->BUFFER->getMark(), 1);
  EXPECT_EQ(outer.NumGroups, 3);
  EXPECT_EQ(outer.Extra->PRODUCE->GroupID, 2);
}

TEST(JoinTest, PrintAllSharedVariablesListsTheChain) {
  PipelineJoin join;
  testing::internal::CaptureStdout();
  join.printAllSharedVariables();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Shared Variables for composer node Pipeline\n  Shared Variable 0 has name BUFFER and address ", 0),
            0u);
  EXPECT_NE(out.find("    And here is its list of equivalent variables:\n      This link holds state var BUFFER at address "),
            std::string::npos);
}

void RegisterUnderAnotherName() {
  Join join("J", 1, 1, OneName);
  Place p("Y");
  join.addSharedPtr(&p, "Y");
}

void RegisterOneTooMany() {
  Join join("J", 1, 1, OneName);
  Place p("X");
  Place q("X");
  join.addSharedPtr(&p, "X");
  join.addSharedPtr(&q, "X");
}

void ShareInfoForAnUnregisteredVariable() {
  Join join("J", 1, 1, OneName);
  Place p("X");
  Place q("Q");
  join.addSharingInfo(&q, &p, nullptr);
}

TEST(JoinDeathTest, SharedVariablesMustBeRegisteredInDeclarationOrder) {
  EXPECT_DEATH(RegisterUnderAnotherName(),
               "Assertion failed: 0 == strcmp\\(VarName, SharedStateNames\\[AddedSharedPtrs\\]\\), "
               "file BaseComposerClass, line 415");
  EXPECT_DEATH(RegisterOneTooMany(), "AddedSharedPtrs < NumSharedStateVariables, file BaseComposerClass, line 414");
  EXPECT_DEATH(ShareInfoForAnUnregisteredVariable(), "VarIndex != -1, file BaseComposerClass, line 377");
}

TEST(JoinDeathTest, StructuralQuestionsAJoinCannotAnswer) {
  PipelineJoin join;
  std::forward_list<BaseActionClass*> out;
  EXPECT_DEATH(join.GetChild(2), "Assertion failed: i < GetNumberOfChildren\\(\\), file Join, line 194");
  EXPECT_DEATH(join.GetLocalActions(out), "false, file Join, line 200");
  EXPECT_DEATH(join.GetGlobalActions(out), "false, file Join, line 205");
  Join::LocalState a(2), b(4);
  EXPECT_DEATH(a = b, "size == _localS->size, file Join, line 283");
}

}  // namespace
