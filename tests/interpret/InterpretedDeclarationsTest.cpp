// What a model file declares to the simulator: a pure enabling test only
// when an activity's predicate names no place outside its enabling arcs, one
// firing variant per branch of a trailing if/else-if chain, each writing only
// its own branch's places besides what the rest of the firing writes, and a
// constant impulse only when the impulse's value is one. An enabling test
// of marking comparisons with constants, run without the general evaluator,
// decides as the comparisons do at every constant, up to the integers' ends.
// The whole-run comparison of models/gpu.san with the built-in model
// (GpuModelFileTest) shows the simulator's use of them changes no byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "interpret/InterpretedStudy.h"
#include "rewards/PVModel.h"
#include "TestProcess.h"

namespace {

const char kModel[] = R"(
san S {
  place X = 1;
  place Y = 1;
  place Z = 0;
  place W = 0;
  activity CHAIN {
    timed exponential(1.0);
    enabled X > 0;
    fire { X--; if (Y > 0) Z++; else if (Y < 0) { W++; X++; } }
  }
  activity SLOPPY {
    timed exponential(1.0);
    enabled X > 0 && Y > 0;
    reads X;
    fire { Y--; }
  }
}
reward r { instant 1; rate Z; }
)";

BaseActionClass* Named(PVModel* model, const std::string& name) {
  for (int i = 0; i < model->NumActions; ++i)
    if (name == model->Actions[i]->getName()) return model->Actions[i];
  return nullptr;
}

std::string Scratch(const std::string& name) {
  return testing::TempDir() + "declarations_" + std::to_string(getpid()) + "_" + name;
}

// The study of a model text, its global values set; null when it does not
// load.
std::unique_ptr<saninterp::InterpretedStudy> Study(const std::string& name, const std::string& text) {
  const std::string path = Scratch(name);
  std::ofstream(path) << text;
  std::unique_ptr<saninterp::InterpretedStudy> study = saninterp::LoadStudy(path, std::cerr);
  std::remove(path.c_str());
  if (study) study->SetGVs(0);
  return study;
}

TEST(InterpretedDeclarationsTest, PureTestsAndVariantsFollowTheModelText) {
  std::unique_ptr<saninterp::InterpretedStudy> study = Study("model.san", kModel);
  ASSERT_TRUE(study);
  PVModel* model = study->GetPVModel(true);
  BaseActionClass* chain = Named(model, "CHAIN");
  BaseActionClass* sloppy = Named(model, "SLOPPY");
  ASSERT_NE(chain, nullptr);
  ASSERT_NE(sloppy, nullptr);
  EXPECT_TRUE(chain->EnablingIsPure());
  EXPECT_FALSE(sloppy->EnablingIsPure());  // reads Y, which its arcs leave out
  // Both require X positive (X > 0 comes first); the simulator heeds only
  // the pure one's.
  const auto* x = dynamic_cast<const Place*>(chain->EnablingSVs.getItem(0));
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(chain->RequiredMarking(), x->Mark);
  EXPECT_EQ(sloppy->RequiredMarking(), x->Mark);
  EXPECT_TRUE(chain->EnablingIsRequiredMarking());  // X > 0 is its whole test
  EXPECT_FALSE(sloppy->EnablingIsRequiredMarking());
  EXPECT_EQ(sloppy->FiringVariants(), 1);
  ASSERT_EQ(chain->FiringVariants(), 3);  // Y > 0, Y < 0, neither

  struct Row {
    const char* place;
    bool mayWrite[3];
  };
  const Row rows[] = {
      {"X", {true, true, true}},     // the prefix writes it
      {"Z", {true, false, false}},   // the first branch alone
      {"W", {false, true, false}},   // the second branch alone
  };
  for (const Row& row : rows) {
    const BaseStateVariableClass* place = nullptr;
    for (int k = 0; k < chain->AffectedSVs.getNumItems(); ++k)
      if (std::string(row.place) == chain->AffectedSVs.getItem(k)->getName()) place = chain->AffectedSVs.getItem(k);
    ASSERT_NE(place, nullptr) << row.place;
    for (int v = 0; v < 3; ++v) EXPECT_EQ(chain->VariantMayWrite(v, place), row.mayWrite[v]) << row.place << " " << v;
  }
}

// A constant impulse is credited by the reward model itself, one that reads
// the marking through the worker's call; both earn what the text says: five
// ticks, N after each (1 + ... + 5) and 2.5 each.
TEST(InterpretedDeclarationsTest, ConstantImpulsesAreDeclaredAndEarnTheirValue) {
  const std::string path = Scratch("count.san");
  std::ofstream(path) << "san COUNT {\n"
                         "  place N = 0;\n"
                         "  activity TICK { timed deterministic(1.0); enabled N < 5; fire { N++; } }\n"
                         "}\n"
                         "reward marked { interval [0, 10]; impulse TICK = N; }\n"
                         "reward fixed { interval [0, 10]; impulse TICK = 2.5; }\n";
  std::unique_ptr<saninterp::InterpretedStudy> study = saninterp::LoadStudy(path, std::cerr);
  ASSERT_TRUE(study);
  study->SetGVs(0);
  PVModel* model = study->GetPVModel(true);
  model->ConsiderOnly(nullptr, 0);  // every variable, as a terminating run of both
  BaseActionClass* tick = Named(model, "TICK");
  ASSERT_NE(tick, nullptr);
  ASSERT_EQ(tick->ImpulseFeeds.size(), 2u);
  EXPECT_FALSE(tick->ImpulseFeeds[0].Constant);
  EXPECT_TRUE(tick->ImpulseFeeds[1].Constant);
  EXPECT_EQ(tick->ImpulseFeeds[1].Impulse, 2.5);

  const std::string ascii = Scratch("count.txt");
  const testprocess::Outcome run = testprocess::RunRedirected(
      std::string(GPUSIM_BINARY) + " --model " + path + " -N 2 -a " + ascii, Scratch("out"), Scratch("err"));
  std::remove(path.c_str());
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> values;
  for (const std::string& line : testprocess::ReadLines(ascii))
    if (!line.empty() && line[0] != '#') values.push_back(line);
  std::remove(ascii.c_str());
  EXPECT_EQ(values, (std::vector<std::string>{"0,15.0", "0,15.0", "1,12.5", "1,12.5"}));
}

// The marking is 1 (and a short's highest); each activity is enabled exactly
// when its comparisons hold, whatever the constant (beyond a short, at the
// ends of the integers).
TEST(InterpretedDeclarationsTest, MarkingComparisonsDecideAtEveryConstant) {
  struct Row {
    const char* predicate;
    bool enabled;
  };
  const Row rows[] = {
      {"P < -9223372036854775807 - 1", false}, {"P > 9223372036854775807", false},
      {"P >= -9223372036854775807 - 1", true}, {"P <= 9223372036854775807", true},
      {"P != 9223372036854775807", true},      {"P == 65537", false},
      {"P != 65537", true},                    {"P < 65537", true},
      {"P > -65537", true},                    {"P > 65537", false},
      {"P < 1", false},                        {"P <= 1", true},
      {"P > 0 && P < 2", true},                {"P > 0 && P != 1", false},
      {"Q == 32767", true},                    {"Q > 32766", true},
      {"Q >= 32768", false},                   {"Q != 32767 && P == 1", false},
  };
  std::string text = "san EDGES {\n  place P = 1;\n  place Q = 32767;\n";
  int k = 0;
  for (const Row& row : rows)
    text += "  activity A" + std::to_string(k++) + " { timed exponential(1.0); enabled " + row.predicate +
            "; fire { P++; } }\n";
  text += "}\nreward r { instant 1; rate P; }\n";
  std::unique_ptr<saninterp::InterpretedStudy> study = Study("edges.san", text);
  ASSERT_TRUE(study);
  PVModel* model = study->GetPVModel(true);
  k = 0;
  for (const Row& row : rows) {
    BaseActionClass* a = Named(model, "A" + std::to_string(k++));
    ASSERT_NE(a, nullptr) << row.predicate;
    EXPECT_EQ(a->Enabled(), row.enabled) << row.predicate;
  }
}

// A marking changed by a constant wraps as the general path wraps it, the
// constant taken whole: each row fires once an activity that adds (the
// constant step) and one that assigns the sum (the general path).
TEST(InterpretedDeclarationsTest, MarkingStepsWrapAsTheGeneralPathDoes) {
  const char* const steps[] = {"1", "-1", "65537", "-65537", "32768", "9223372036854775807",
                               "-9223372036854775807 - 1"};
  std::string text = "san STEPS {\n";
  int k = 0;
  for (const char* step : steps) {
    const std::string n = std::to_string(k++);
    text += "  place S" + n + " = 32767;\n  place G" + n + " = 32767;\n";
    text += "  activity STEP" + n + " { timed exponential(1.0); fire { S" + n + " += " + step + "; } }\n";
    text += "  activity SUM" + n + " { timed exponential(1.0); fire { G" + n + " = G" + n + " + " + step + "; } }\n";
  }
  text += "}\nreward r { instant 1; rate S0; }\n";
  std::unique_ptr<saninterp::InterpretedStudy> study = Study("steps.san", text);
  ASSERT_TRUE(study);
  PVModel* model = study->GetPVModel(true);
  const auto firedMarking = [&](const std::string& name) {
    BaseActionClass* a = Named(model, name);
    if (a == nullptr) return -1;
    a->Fire();
    return static_cast<int>(static_cast<const Place*>(a->AffectedSVs.getItem(0))->getMark());
  };
  for (k = 0; k < static_cast<int>(sizeof steps / sizeof *steps); ++k) {
    const std::string n = std::to_string(k);
    EXPECT_EQ(firedMarking("STEP" + n), firedMarking("SUM" + n)) << steps[k];
  }
  EXPECT_EQ(firedMarking("STEP0"), -32767);  // 32767 + 1 wraps, then + 1 again
}

// What an activity's firing, delay and enabling test read of it lies in two
// cache lines (a miss each in a model of thousands of activities).
TEST(InterpretedDeclarationsTest, AnActivitysCommonPathsReadTwoLinesOfIt) {
  std::unique_ptr<saninterp::InterpretedStudy> study = Study("lines.san", kModel);
  ASSERT_TRUE(study);
  PVModel* model = study->GetPVModel(true);
  for (const char* name : {"CHAIN", "SLOPPY"}) {
    BaseActionClass* a = Named(model, name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(__builtin_popcount(a->HotLines()), 2) << name;
  }
}

}  // namespace
