// The checked model of good files: what the interpreter relies on (arc
// order, experiment expansion, the instance tree, reward resolution, the
// conversions inserted into expressions, imports).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "model/EffectShape.h"
#include "model/ModelLoader.h"

namespace sanmodel {
namespace {

LoadResult LoadFiles(const std::map<std::string, std::string>& files, int* reads = nullptr) {
  return LoadModel("m.san", [&](const std::string& path, std::string* out, std::string* error) {
    if (reads != nullptr) ++*reads;
    const auto file = files.find(path);
    if (file == files.end()) {
      *error = "No such file or directory";
      return false;
    }
    *out = file->second;
    return true;
  });
}

CheckedModel LoadGood(const std::string& text) {
  const LoadResult result = LoadFiles({{"m.san", text}});
  EXPECT_TRUE(result.ok) << result.report;
  return result.model;
}

std::vector<std::string> PlaceNames(const San& san, const std::vector<int>& places) {
  std::vector<std::string> names;
  for (int place : places) names.push_back(san.places.at(place).name);
  return names;
}

using Names = std::vector<std::string>;

// The place an enabling predicate requires positive, if any: the first
// top-level conjunct that only a positive marking passes.
TEST(Checker, NamesThePlaceAPredicateRequiresPositive) {
  const struct {
    const char* predicate;
    const char* required;  // "" for none
    bool decides;          // the test is the whole predicate
  } rows[] = {
      {"X > 0", "X", true},           {"X >= 1", "X", true},          {"0 < Y && X > 0", "Y", false},
      {"X > -1 && Y >= 2", "Y", false}, {"1 <= X", "X", true},          {"X >= 0", "", false},
      {"X != 0", "", false},            {"X > 0 || Y > 0", "", false},  {"!(X < 1)", "", false},
      {"X > 0.5", "", false},           {"true", "", false},            {"X > 1", "X", false},
      {"0 < X", "X", true},
  };
  for (const auto& row : rows) {
    const CheckedModel model = LoadGood("san S {\n  place X; place Y;\n  activity A { enabled " +
                                        std::string(row.predicate) + "; fire { } }\n}\n");
    ASSERT_FALSE(model.Sans.empty()) << row.predicate;
    const San& san = model.Sans[0];
    const int place = RequiredPositivePlace(san.activities.at(0));
    EXPECT_EQ(place < 0 ? std::string() : san.places.at(static_cast<std::size_t>(place)).name, row.required)
        << row.predicate;
    EXPECT_EQ(RequiredPositiveDecides(san.activities.at(0)), row.decides) << row.predicate;
  }
}

TEST(Checker, DerivesArcsInOrderOfFirstMention) {
  const CheckedModel model = LoadGood(
      "san S {\n  place A; place B; place C; place D; place E[2];\n"
      "  activity T {\n"
      "    enabled A > 0 && B > 0;\n"
      "    reactivation E[D] > 0;\n"
      "    fire { B--; C++; A--; }\n"
      "    case { D = C; }\n"
      "    case { if (B > 0) E[A] = 1; }\n"
      "  }\n"
      "  activity U { fire { A++; } }\n"
      "}\n");
  const San& san = model.Sans[0];
  const ActivityDecl& t = san.activities[0];
  EXPECT_EQ(PlaceNames(san, t.reads), (Names{"A", "B", "E", "D"}));
  ASSERT_EQ(t.cases.size(), 2u);
  EXPECT_EQ(PlaceNames(san, t.cases[0].affects), (Names{"B", "C", "A", "D"}));
  EXPECT_EQ(PlaceNames(san, t.cases[1].affects), (Names{"B", "C", "A", "E"}));
  // Without written cases: one implicit case holding the activity's arcs.
  const ActivityDecl& u = san.activities[1];
  EXPECT_FALSE(u.hasCases);
  ASSERT_EQ(u.cases.size(), 1u);
  EXPECT_EQ(PlaceNames(san, u.cases[0].affects), (Names{"A"}));
  EXPECT_TRUE(u.reads.empty());
}

TEST(Checker, ExplicitArcsReplaceDerivedOnesAndCasesAppendTheirOwn) {
  const CheckedModel model = LoadGood(
      "san S {\n  place A; place B; place C;\n"
      "  activity T {\n    enabled A > 0;\n    fire { A--; }\n"
      "    reads C, B;\n    affects C;\n"
      "    case { B++; }\n    case { C++; }\n  }\n}\n");
  const San& san = model.Sans[0];
  const ActivityDecl& t = san.activities[0];
  EXPECT_EQ(PlaceNames(san, t.reads), (Names{"C", "B"}));
  EXPECT_EQ(PlaceNames(san, t.cases[0].affects), (Names{"C", "B"}));
  EXPECT_EQ(PlaceNames(san, t.cases[1].affects), (Names{"C"}));
}

TEST(Checker, ExpandsSweepsFirstListSlowestWithRangeEnds) {
  const CheckedModel model = LoadGood(
      "global int K = 5;\nglobal double lambda = 1.0;\nglobal float f = 0.1;\nglobal bool b;\n"
      "global int twice = 2 * K;\n"
      "san S { }\n"
      "experiment base { b = true; }\n"
      "experiment load { lambda = 0.5, 1.5; K = 5, 10; b = false; }\n"
      "experiment ramp { lambda = 0.25 to 1.0 step 0.25; b = 1; }\n"
      "experiment coarse { lambda = 0 to 1 step 0.3; b = 0; }\n"
      "experiment ints { K = -2 to 2 step 2; b = true; }\n");
  Names names;
  for (const Experiment& e : model.Experiments) names.push_back(e.name);
  EXPECT_EQ(names, (Names{"base", "load[lambda=0.5,K=5]", "load[lambda=0.5,K=10]",
                          "load[lambda=1.5,K=5]", "load[lambda=1.5,K=10]", "ramp[lambda=0.25]",
                          "ramp[lambda=0.5]", "ramp[lambda=0.75]", "ramp[lambda=1]",
                          "coarse[lambda=0]", "coarse[lambda=0.3]", "coarse[lambda=0.6]",
                          "coarse[lambda=0.9]", "ints[K=-2]", "ints[K=0]", "ints[K=2]"}));
  const Experiment& load = model.Experiments[2];
  EXPECT_EQ(load.intValues[0], 10);
  EXPECT_EQ(load.doubleValues[1], 0.5);
  EXPECT_EQ(load.doubleValues[2], static_cast<double>(0.1f));  // rounded to float
  EXPECT_EQ(load.intValues[3], 0);
  EXPECT_EQ(load.intValues[4], 20);  // defaults see the experiment's earlier globals
  EXPECT_EQ(model.Experiments[0].intValues[3], 1);
  EXPECT_EQ(model.Experiments[8].doubleValues[1], 1.0);
  EXPECT_EQ(model.Experiments[13].intValues[0], -2);
  EXPECT_EQ(model.Experiments[13].intValues[4], -4);
}

TEST(Checker, WithoutExperimentsThereIsOneOfDefaults) {
  const CheckedModel model = LoadGood("global short size = 13;\nsan S { }\n");
  ASSERT_EQ(model.Experiments.size(), 1u);
  EXPECT_EQ(model.Experiments[0].intValues, (std::vector<long long>{13}));
}

const char* const kNestedJoins =
    "san CU { place BUS = 1; place Q[2]; activity WORK { case { } case { } } }\n"
    "san MEM { place BUS; place R; }\n"
    "join INNER {\n  submodel cu = CU;\n  submodel mem = MEM;\n  share BUS = cu.BUS, mem.BUS;\n}\n"
    "join TOP {\n  submodel first = MEM;\n  submodel inner = INNER;\n  submodel last = MEM;\n"
    "  share BUS = inner.BUS, last.BUS;\n  share R = last.R, first.R;\n}\n"
    "reward r {\n  instant 10, 20;\n  rate BUS + R + cu.Q[1] + inner.BUS;\n"
    "  impulse cu.WORK case 2 = 1;\n}\n";

TEST(Checker, FlattensNestedJoinsDepthFirstInChildOrder) {
  const CheckedModel model = LoadGood(kNestedJoins);
  EXPECT_TRUE(model.TopIsJoin);
  EXPECT_EQ(model.Joins.at(model.Top).name, "TOP");
  Names instances;
  for (const Instance& instance : model.Instances) {
    instances.push_back(instance.name + ":" + model.Sans.at(instance.san).name);
  }
  EXPECT_EQ(instances, (Names{"first:MEM", "cu:CU", "mem:MEM", "last:MEM"}));
  const SharedPlace& bus = model.Joins[model.Top].shared[0];
  ASSERT_EQ(bus.members.size(), 2u);
  EXPECT_EQ(bus.members[0].child, 1);
  EXPECT_EQ(bus.members[0].place, 0);  // INNER's shared place BUS
}

TEST(Checker, ResolvesRewardNamesToTheFirstMembersSanPlace) {
  const CheckedModel model = LoadGood(kNestedJoins);
  const Reward& reward = model.Rewards.at(0);
  EXPECT_EQ(reward.kind, RewardKind::Instant);
  EXPECT_EQ(reward.starts.size(), 2u);
  // rate ((BUS + R) + cu.Q[1]) + inner.BUS, each Int converted to Double.
  std::vector<const Expr*> leaves;
  const Expr* e = &reward.rate;
  ASSERT_EQ(e->op, Op::Convert);
  e = &e->args[0];
  while (e->op == Op::Add) {
    leaves.insert(leaves.begin(), &e->args[1]);
    e = &e->args[0];
  }
  leaves.insert(leaves.begin(), e);
  ASSERT_EQ(leaves.size(), 4u);
  auto at = [&](int i) { return std::make_pair(leaves[i]->instance, leaves[i]->index); };
  EXPECT_EQ(at(0), std::make_pair(1, 0));  // BUS -> inner.BUS -> cu.BUS
  EXPECT_EQ(at(1), std::make_pair(3, 1));  // R -> last.R
  EXPECT_EQ(leaves[2]->op, Op::InstanceArrayElement);
  EXPECT_EQ(at(2), std::make_pair(1, 1));
  EXPECT_EQ(at(3), std::make_pair(1, 0));
  ASSERT_EQ(reward.impulses.size(), 1u);
  EXPECT_EQ(reward.impulses[0].instance, 1);
  EXPECT_EQ(reward.impulses[0].activity, 0);
  EXPECT_EQ(reward.impulses[0].caseIndex, 1);
}

TEST(Checker, TopSanIsOneInstanceNamedAfterIt) {
  const CheckedModel model = LoadGood(
      "san Q { place P; activity Go { } }\nreward r { interval [0, 5] averaged; rate Q.P + P; impulse Go = 2; }\n");
  ASSERT_EQ(model.Instances.size(), 1u);
  EXPECT_EQ(model.Instances[0].name, "Q");
  EXPECT_TRUE(model.Rewards[0].averaged);
  EXPECT_EQ(model.Rewards[0].impulses[0].caseIndex, -1);
}

TEST(Checker, InsertsConversionsSoOperandsShareOneType) {
  const CheckedModel model = LoadGood(
      "global double d = 0.5;\nglobal bool b = true;\n"
      "san S {\n  place P;\n"
      "  activity A {\n    timed exponential(P + d);\n    enabled P < d || b;\n"
      "    fire { double x = P; P = P + b; }\n  }\n}\n");
  const ActivityDecl& a = model.Sans[0].activities[0];
  const Expr& rate = a.parameters.at(0);
  EXPECT_EQ(rate.op, Op::Add);
  EXPECT_EQ(rate.type, ValueType::Double);
  EXPECT_EQ(rate.args[0].op, Op::Convert);
  EXPECT_EQ(rate.args[0].type, ValueType::Double);
  EXPECT_EQ(rate.args[0].args[0].op, Op::Place);
  EXPECT_EQ(rate.args[1].op, Op::Global);
  const Expr& less = a.enabled.args[0];
  EXPECT_EQ(less.op, Op::Less);
  EXPECT_EQ(less.type, ValueType::Bool);
  EXPECT_EQ(less.args[0].op, Op::Convert);
  EXPECT_EQ(a.enabled.args[1].op, Op::Global);  // already a bool
  const Stmt& declare = a.fire.statements[0];
  EXPECT_EQ(declare.value.op, Op::Convert);
  EXPECT_EQ(declare.value.type, ValueType::Double);
  const Stmt& assign = a.fire.statements[1];
  EXPECT_EQ(assign.value.type, ValueType::Int);
  EXPECT_EQ(assign.value.args[1].op, Op::Convert);  // bool to int
  EXPECT_EQ(assign.value.args[1].type, ValueType::Int);
}

TEST(Checker, NumbersLocalsOverFireAndEachCase) {
  const CheckedModel model = LoadGood(
      "san S {\n  place P;\n  activity A {\n    fire { int a = 1; { double b = 2; } }\n"
      "    case { int c = P; P = c; }\n    case { bool d = true; }\n  }\n}\n");
  const ActivityDecl& a = model.Sans[0].activities[0];
  EXPECT_EQ(a.fire.locals, (std::vector<DeclType>{DeclType::Int, DeclType::Double}));
  EXPECT_EQ(a.cases[0].effect.statements[0].index, 2);
  EXPECT_EQ(a.cases[0].effect.locals,
            (std::vector<DeclType>{DeclType::Int, DeclType::Double, DeclType::Int}));
  EXPECT_EQ(a.cases[0].effect.statements[1].value.op, Op::Local);
  EXPECT_EQ(a.cases[1].effect.statements[0].index, 2);
}

TEST(Checker, ReadsEachImportOnceInDeclarationOrder) {
  int reads = 0;
  const LoadResult result = LoadFiles(
      {{"m.san", "import \"lib/a.san\";\nimport \"lib/b.san\";\nglobal int m = a + b;\nsan Main { }\n"},
       {"lib/a.san", "import \"b.san\";\nimport \"../m.san\";\nglobal int a = b + 1;\n"},
       {"lib/b.san", "import \"./a.san\";\nglobal int b = 1;\nsan Lib { }\n"}},
      &reads);
  ASSERT_TRUE(result.ok) << result.report;
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(result.model.Files, (Names{"m.san", "lib/a.san", "lib/b.san"}));
  Names globals;
  for (const Global& g : result.model.Globals) globals.push_back(g.name);
  EXPECT_EQ(globals, (Names{"b", "a", "m"}));
  EXPECT_EQ(result.model.Experiments[0].intValues, (std::vector<long long>{1, 2, 3}));
  EXPECT_FALSE(result.model.TopIsJoin);
  EXPECT_EQ(result.model.Sans.at(result.model.Top).name, "Main");  // not the imported Lib
}

TEST(Checker, RefusesAnOversizedFileBeforeLexingIt) {
  const LoadResult result = LoadFiles({{"m.san", std::string((1 << 20) + 1, ' ')}});
  EXPECT_EQ(result.report, "m.san: error: 'm.san' is larger than 1 MiB (the file size limit)\n");
}

}  // namespace
}  // namespace sanmodel
