// Small hand-built models for tests, built the way generated code builds its
// models: SANModel(), the activities (Activity() + ActivityInitialize), the
// case groups, the places, initializeSANModelNow, the place assignment, the
// affect arcs, then the enable arcs, then each activity's LinkVariables; a join
// creates its children, SetupActions, shares its places and calls Setup.
//
//   PRODUCER (SAN): places SOURCE (2 tokens), BUFFER; activity PRODUCE moves a
//     token from SOURCE to BUFFER.
//   CONSUMER (SAN): places BUFFER, DONE_A, DONE_B; the PostselectGroup
//     "CONSUMEGroup" with cases CONSUME_case1 (weight 0.3, BUFFER -> DONE_A)
//     and CONSUME_case2 (weight 0.7, BUFFER -> DONE_B).
//   PIPELINE (Join "Pipeline"): PRODUCER then CONSUMER, sharing BUFFER.
#ifndef TESTS_TEST_MODELS_H
#define TESTS_TEST_MODELS_H

#include "Cpp/BaseClasses/Activity.h"
#include "Cpp/BaseClasses/PostselectGroup.h"
#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "Cpp/Composer/Join.h"
#include "random/LaggedFibonacci.h"
#include "random/UserDistributions.h"

#include <deque>

namespace testmodels {

// Installs, for its lifetime, a uniform generator that returns the given
// values in turn (then 0.5) and counts the draws; afterwards the process-wide
// distributions object gets a fresh LaggedFibonacci seeded with 31415.
class ScriptedUniforms {
 public:
  explicit ScriptedUniforms(std::deque<double> values) : Generator(new Scripted(std::move(values))) {
    TheDistribution->setGenerator(Generator);
  }
  ~ScriptedUniforms() {
    RandomNumberGenerator* fresh = new LaggedFibonacci();
    fresh->srnd(31415);
    TheDistribution->setGenerator(fresh);
  }
  int draws() const { return Generator->Draws; }
  void push(double u) { Generator->Values.push_back(u); }

 private:
  struct Scripted : RandomNumberGenerator {
    explicit Scripted(std::deque<double> v) : Values(std::move(v)) {}
    double rnd() override {
      Draws++;
      if (Values.empty()) return 0.5;
      double u = Values.front();
      Values.pop_front();
      return u;
    }
    std::deque<double> Values;
    int Draws = 0;
  };
  Scripted* Generator;  // owned by TheDistribution
};

// Moves one token from From to To when From holds one (and, when Guard is
// set, Guard holds one too). Weight, rank and delay are settable.
class MoveActivity : public Activity {
 public:
  MoveActivity(const char* name, int groupId, int affected, int enabling, double weight = 1.0, int rank = 1,
               double delay = 0.0, Distribution dist = INSTANTANEOUS)
      : TheWeight(weight), TheRank(rank), TheDelay(delay) {
    ActivityInitialize(name, groupId, dist, DEFAULT_POLICY, affected, enabling, false);
  }

  bool Enabled() override {
    EnabledBefore = EnabledNow;
    EnabledNow = *From_Mark > 0 && (Guard == nullptr || *Guard_Mark > 0);
    return EnabledNow;
  }
  BaseActionClass* Fire() override {
    (*From_Mark)--;
    if (To != nullptr) (*To_Mark)++;
    FireCount++;
    return this;
  }
  double Weight() override { return TheWeight; }
  int Rank() override { return TheRank; }
  double SampleDistribution() override { return TheDelay; }
  double Rate() override { return TheDelay > 0.0 ? 1.0 / TheDelay : 0.0; }
  void LinkVariables() override {
    link(From, From_Mark);
    link(To, To_Mark);
    link(Guard, Guard_Mark);
  }

  Place* From = nullptr;
  Place* To = nullptr;
  Place* Guard = nullptr;
  short* From_Mark = nullptr;
  short* To_Mark = nullptr;
  short* Guard_Mark = nullptr;
  double TheWeight;
  int TheRank;
  double TheDelay;
  int FireCount = 0;

 private:
  static void link(Place* p, short*& mark) {
    if (p == nullptr) return;
    mark = p->Mark;
    p->registerPointer(&mark, nullptr);
  }
};

class ProducerSAN : public SANModel {
 public:
  ProducerSAN() {
    PRODUCE = new MoveActivity("PRODUCE", 0, 2, 1);
    SOURCE = new Place("SOURCE", 2);
    BUFFER = new Place("BUFFER", 0);
    BaseStateVariableClass* places[] = {SOURCE, BUFFER};
    Activity* actions[] = {PRODUCE};
    BaseGroupClass* groups[] = {PRODUCE};
    initializeSANModelNow("PRODUCER", 2, places, 0, nullptr, 1, actions, 1, groups);
    PRODUCE->From = SOURCE;
    PRODUCE->To = BUFFER;
    AddAffectArc(SOURCE, PRODUCE);
    AddAffectArc(BUFFER, PRODUCE);
    AddEnableArc(SOURCE, PRODUCE);
    PRODUCE->LinkVariables();
  }
  ~ProducerSAN() override {
    delete PRODUCE;
    delete SOURCE;
    delete BUFFER;
  }

  MoveActivity* PRODUCE;
  Place* SOURCE;
  Place* BUFFER;
};

class ConsumerSAN : public SANModel {
 public:
  ConsumerSAN() {
    CONSUME_case1 = new MoveActivity("CONSUME_case1", 0, 2, 1, 0.3);
    CONSUME_case2 = new MoveActivity("CONSUME_case2", 0, 2, 1, 0.7);
    CONSUMEGroup = new PostselectGroup();
    CONSUMEGroup->initialize(2, "CONSUMEGroup");
    CONSUMEGroup->appendGroup(CONSUME_case1);
    CONSUMEGroup->appendGroup(CONSUME_case2);
    BUFFER = new Place("BUFFER", 0);
    DONE_A = new Place("DONE_A", 0);
    DONE_B = new Place("DONE_B", 0);
    BaseStateVariableClass* places[] = {BUFFER, DONE_A, DONE_B};
    Activity* actions[] = {CONSUME_case1, CONSUME_case2};
    BaseGroupClass* groups[] = {CONSUMEGroup};
    initializeSANModelNow("CONSUMER", 3, places, 0, nullptr, 2, actions, 1, groups);
    CONSUME_case1->From = BUFFER;
    CONSUME_case1->To = DONE_A;
    CONSUME_case2->From = BUFFER;
    CONSUME_case2->To = DONE_B;
    AddAffectArc(BUFFER, CONSUME_case1);
    AddAffectArc(DONE_A, CONSUME_case1);
    AddAffectArc(BUFFER, CONSUME_case2);
    AddAffectArc(DONE_B, CONSUME_case2);
    AddEnableArc(BUFFER, CONSUME_case1);
    AddEnableArc(BUFFER, CONSUME_case2);
    CONSUME_case1->LinkVariables();
    CONSUME_case2->LinkVariables();
  }
  ~ConsumerSAN() override {
    delete CONSUME_case1;
    delete CONSUME_case2;
    delete CONSUMEGroup;
    delete BUFFER;
    delete DONE_A;
    delete DONE_B;
  }

  MoveActivity* CONSUME_case1;
  MoveActivity* CONSUME_case2;
  PostselectGroup* CONSUMEGroup;
  Place* BUFFER;
  Place* DONE_A;
  Place* DONE_B;
};

inline const char* const PipelineSharedNames[] = {"BUFFER"};

class PipelineJoin : public Join {
 public:
  PipelineJoin() : Join("Pipeline", 2, 1, PipelineSharedNames) {
    Producer = new ProducerSAN();
    Children[0] = Producer;
    Producer->DefineName("PRODUCER");
    Consumer = new ConsumerSAN();
    Children[1] = Consumer;
    Consumer->DefineName("CONSUMER");
    SetupActions();
    if (AllChildrenEmpty()) {
      NumSharedStateVariables = 0;
    } else {
      BUFFER = new Place("BUFFER");
      addSharedPtr(BUFFER, "BUFFER");
      BUFFER->ShareWith(Producer->BUFFER);
      addSharingInfo(Producer->BUFFER, BUFFER, Producer);
      BUFFER->ShareWith(Consumer->BUFFER);
      addSharingInfo(Consumer->BUFFER, BUFFER, Consumer);
    }
    Setup();
  }
  // The generated order: shared places first, then the children.
  ~PipelineJoin() override {
    if (!AllChildrenEmpty()) delete BUFFER;
    delete Producer;
    delete Consumer;
  }

  ProducerSAN* Producer;
  ConsumerSAN* Consumer;
  Place* BUFFER = nullptr;
};

}  // namespace testmodels

#endif
