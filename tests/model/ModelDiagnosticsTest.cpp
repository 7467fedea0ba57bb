// Every kind of fault a model file can have, each as a small file and the
// exact report a user sees: message, quoted line and caret. A changed
// message must be changed here on purpose.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "model/ModelLoader.h"

namespace sanmodel {
namespace {

struct BrokenFile {
  const char* name;
  std::string text;    // the main file, m.san
  std::string report;  // the whole report, word for word
};

// Serves m.san, and lib/parts.san for the imports; any other path is missing.
LoadResult LoadText(const std::string& text) {
  const std::map<std::string, std::string> files = {
      {"m.san", text}, {"lib/parts.san", "san Part {\n  place P = 1.5;\n}\n"}};
  return LoadModel("m.san", [&](const std::string& path, std::string* out, std::string* error) {
    const auto file = files.find(path);
    if (file == files.end()) {
      *error = "No such file or directory";
      return false;
    }
    *out = file->second;
    return true;
  });
}

const BrokenFile kBrokenFiles[] = {
    {"MissingSemicolon",
     "global int K = 5\nsan S { place P; }\n",
     R"(m.san:2:1: error: expected ';', found 'san'
    san S { place P; }
    ^~~
)"},
    {"SeveralSyntaxErrors",
     "san S {\n  place = 1;\n  place Q = ;\n  activity A { enabled Q > 0; }\n}\n",
     R"(m.san:2:9: error: expected the name of the place, found '='
      place = 1;
            ^
m.san:3:13: error: expected an expression, found ';'
      place Q = ;
                ^
)"},
    {"UnexpectedCharacter",
     "global int K = 5 @ 2;\nsan S { }\n",
     R"(m.san:1:18: error: unexpected character '@'
    global int K = 5 @ 2;
                     ^
m.san:1:20: error: expected ';', found '2'
    global int K = 5 @ 2;
                       ^
)"},
    {"IntegerTooLarge",
     "global long L = 9223372036854775808;\nsan S { }\n",
     R"(m.san:1:17: error: integer '9223372036854775808' is above 9223372036854775807
    global long L = 9223372036854775808;
                    ^~~~~~~~~~~~~~~~~~~
)"},
    {"UnterminatedComment",
     "san S { }\n/* no end\n",
     R"(m.san:2:1: error: unterminated comment: '/*' has no '*/'
    /* no end
    ^~
)"},
    {"UnknownPlace",
     "global int K = 5;\nsan S {\n  place QUEUE;\n  activity A {\n    enabled QUEU < K;\n  }\n}\n",
     R"(m.san:5:13: error: unknown place 'QUEU'; did you mean 'QUEUE'?
        enabled QUEU < K;
                ^~~~
)"},
    {"UnknownGlobalInDefault",
     "global double lambda = 1;\nglobal double mu = 2 * lamda;\nsan S { }\n",
     R"(m.san:2:24: error: unknown global 'lamda'; did you mean 'lambda'?
    global double mu = 2 * lamda;
                           ^~~~~
)"},
    {"GlobalUsedBeforeDeclared",
     "global int a = b;\nglobal int b = 1;\nsan S { }\n",
     R"(m.san:1:16: error: global 'b' is declared after global 'a'; only earlier globals can be used here
    global int a = b;
                   ^
)"},
    {"UnknownActivityInImpulse",
     "san S {\n  activity SERVE { }\n}\nreward r {\n  interval [0, 1];\n  impulse SERVCE = 1;\n}\n",
     R"(m.san:6:11: error: unknown activity 'SERVCE' in san 'S'; did you mean 'SERVE'?
      impulse SERVCE = 1;
              ^~~~~~
)"},
    {"UnknownModelType",
     "san Queue { }\njoin J {\n  submodel q = Queu;\n}\n",
     R"(m.san:3:16: error: unknown san or join 'Queu'; did you mean 'Queue'?
      submodel q = Queu;
                   ^~~~
)"},
    {"UnknownSubmodelInShare",
     "san S { place P; }\njoin J {\n  submodel a = S;\n  share P = b.P;\n}\n",
     R"(m.san:4:13: error: unknown submodel 'b' in join 'J'; did you mean 'a'?
      share P = b.P;
                ^
)"},
    {"UnknownDistribution",
     "san S {\n  activity A { timed exponentail(1); }\n}\n",
     R"(m.san:2:22: error: unknown distribution 'exponentail'; did you mean 'exponential'?
      activity A { timed exponentail(1); }
                         ^~~~~~~~~~~
)"},
    {"UnknownFunction",
     "san S {\n  place P;\n  activity A { enabled mn(P, 1) > 0; }\n}\n",
     R"(m.san:3:24: error: unknown function 'mn'; did you mean 'min'?
      activity A { enabled mn(P, 1) > 0; }
                           ^~~~~~~~
)"},
    {"DuplicateGlobal",
     "global int K = 1;\nglobal int K = 2;\nsan S { }\n",
     R"(m.san:2:12: error: global 'K' is declared twice
    global int K = 2;
               ^
)"},
    {"DuplicatePlace",
     "san S {\n  place P;\n  place P = 1;\n}\n",
     R"(m.san:3:9: error: place 'P' is declared twice in san 'S'
      place P = 1;
            ^
)"},
    {"DuplicateActivity",
     "san S {\n  activity A { }\n  activity A { }\n}\n",
     R"(m.san:3:12: error: activity 'A' is declared twice in san 'S'
      activity A { }
               ^
)"},
    {"DuplicateModelName",
     "san S { }\njoin S { }\n",
     R"(m.san:2:6: error: 'S' is declared twice (sans and joins share one namespace)
    join S { }
         ^
)"},
    {"DuplicateSubmodelInTree",
     "san S { }\njoin Inner {\n  submodel a = S;\n}\njoin Top {\n  submodel a = S;\n  submodel b = Inner;\n}\n",
     R"(m.san:3:12: error: submodel name 'a' is used twice in the model tree
      submodel a = S;
               ^
)"},
    {"DuplicateReward",
     "san S { place P; }\nreward r { instant 1; rate P; }\nreward r { instant 2; rate P; }\n",
     R"(m.san:3:8: error: reward 'r' is declared twice
    reward r { instant 2; rate P; }
           ^
)"},
    {"DuplicateSharedName",
     "san S { place P; place Q; }\njoin J {\n  submodel a = S;\n  share X = a.P;\n  share X = a.Q;\n}\n",
     R"(m.san:5:9: error: shared place 'X' is declared twice in join 'J'
      share X = a.Q;
            ^
)"},
    {"DoubleIntoPlace",
     "san S {\n  place P;\n  activity A { fire { P = 0.5; } }\n}\n",
     R"(m.san:3:27: error: cannot store a double in place 'P'; convert with floor, ceil or round
      activity A { fire { P = 0.5; } }
                              ^~~
)"},
    {"ModuloOnDouble",
     "global double d = 2.5;\nsan S {\n  place P;\n  activity A { enabled d % 2 > 0; }\n}\n",
     R"(m.san:4:26: error: '%' needs integer operands, not a double; convert with floor, ceil or round
      activity A { enabled d % 2 > 0; }
                             ^
)"},
    {"AssignToGlobal",
     "global int K = 1;\nsan S {\n  activity A { fire { K = 2; } }\n}\n",
     R"(m.san:3:23: error: cannot assign to global 'K'; globals are constants in a model
      activity A { fire { K = 2; } }
                          ^
)"},
    {"IndexingScalarPlace",
     "san S {\n  place P;\n  activity A { enabled P[0] > 0; }\n}\n",
     R"(m.san:3:24: error: place 'P' is not an array; it cannot be indexed
      activity A { enabled P[0] > 0; }
                           ^~~~
)"},
    {"ArrayPlaceWithoutIndex",
     "san S {\n  place Q[3];\n  activity A { enabled Q > 0; }\n}\n",
     R"(m.san:3:24: error: array place 'Q' needs an index, as in 'Q[0]'
      activity A { enabled Q > 0; }
                           ^
)"},
    {"FunctionArgumentCount",
     "san S {\n  place P;\n  activity A { enabled min(P) > 0; }\n}\n",
     R"(m.san:3:24: error: function 'min' takes 2 arguments, not 1
      activity A { enabled min(P) > 0; }
                           ^~~~~~
)"},
    {"DistributionParameterCount",
     "san S {\n  activity A { timed uniform(1); }\n}\n",
     R"(m.san:2:22: error: distribution 'uniform' takes 2 parameters (lower, upper), not 1
      activity A { timed uniform(1); }
                         ^~~~~~~
)"},
    {"NoValueInExperiment",
     "global double lambda;\nsan S { }\nexperiment base { }\n",
     R"(m.san:3:12: error: global 'lambda' has no value in experiment 'base': set it there or give it a default
    experiment base { }
               ^~~~
)"},
    {"NoValueWithoutExperiments",
     "global double lambda;\nsan S { }\n",
     R"(m.san:1:15: error: global 'lambda' has no value: give it a default or set it in an experiment
    global double lambda;
                  ^~~~~~
)"},
    {"ValueDoesNotFitType",
     "global char c = 1;\nsan S { }\nexperiment big { c = 100, 300; }\n",
     R"(m.san:3:27: error: global 'c': value 300 does not fit a char (-128 to 127)
    experiment big { c = 100, 300; }
                              ^~~
)"},
    {"IndexOutOfRangeInOneExperiment",
     "global int n = 4;\nsan S {\n  place Q[n];\n  activity A { enabled Q[3] > 0; }\n}\nexperiment small { n = 4, 3; }\n",
     R"(m.san:4:26: error: index 3 is outside array place 'Q' of length 3 in experiment 'small[n=3]'
      activity A { enabled Q[3] > 0; }
                             ^
)"},
    {"NegativeIndex",
     "san S {\n  place Q[2];\n  activity A { fire { Q[-1]++; } }\n}\n",
     R"(m.san:3:25: error: index -1 of array place 'Q' is negative
      activity A { fire { Q[-1]++; } }
                            ^~
)"},
    {"ImpulseCaseBeyondCases",
     "san S {\n  activity A { case { } case { } }\n}\nreward r {\n  interval [0, 1];\n  impulse S.A case 3 = 1;\n}\n",
     R"(m.san:6:20: error: activity 'A' has 2 cases; there is no case 3
      impulse S.A case 3 = 1;
                       ^
)"},
    {"GateNamesAnotherSubmodelsPlace",
     "san S {\n  activity A { enabled mem.BUS > 0; }\n}\n",
     R"(m.san:2:24: error: a san's gates can only use its own places; declare 'BUS' in san 'S' and share it in a join
      activity A { enabled mem.BUS > 0; }
                           ^~~~~~~
)"},
    {"RewardWithoutTimeClause",
     "san S { place P; }\nreward r { rate P; }\n",
     R"(m.san:2:8: error: reward 'r' needs a time clause: 'instant', 'interval' or 'steady'
    reward r { rate P; }
           ^
)"},
    {"RewardWithTwoTimeClauses",
     "san S { place P; }\nreward r {\n  instant 1;\n  steady [0, 10];\n  rate P;\n}\n",
     R"(m.san:4:3: error: reward 'r' has a second time clause; it takes one of 'instant', 'interval' or 'steady'
      steady [0, 10];
      ^~~~~~
)"},
    {"RewardWithoutRateOrImpulse",
     "san S { place P; }\nreward r { instant 1; }\n",
     R"(m.san:2:8: error: reward 'r' has neither a 'rate' nor an 'impulse'
    reward r { instant 1; }
           ^
)"},
    {"MemberSharedTwice",
     "san S { place P; }\njoin J {\n  submodel a = S;\n  share X = a.P, a.P;\n}\n",
     R"(m.san:4:18: error: place 'a.P' is shared twice in join 'J'
      share X = a.P, a.P;
                     ^~~
)"},
    {"JoinCycle",
     "join A {\n  submodel b = B;\n}\njoin B {\n  submodel a = A;\n}\n",
     R"(m.san:5:12: error: join 'A' contains itself (through submodel 'a' of join 'B')
      submodel a = A;
               ^
)"},
    {"ArrayPlaceShared",
     "san S { place Q[2]; }\njoin J {\n  submodel a = S;\n  share X = a.Q;\n}\n",
     R"(m.san:4:15: error: array place 'Q' cannot be shared
      share X = a.Q;
                  ^
)"},
    {"SweepBeyondExperimentLimit",
     "global double x = 0;\nsan S { }\nexperiment huge { x = 0 to 1e18 step 1; }\n",
     R"(m.san:3:19: error: the range of 'x' has more than 100000 values (the experiment limit)
    experiment huge { x = 0 to 1e18 step 1; }
                      ^
)"},
    {"BareNameNotSharedInJoin",
     "san S { place X; }\njoin J {\n  submodel a = S;\n}\nreward r { instant 1; rate X; }\n",
     R"(m.san:5:28: error: place 'X' is not shared by join 'J'; name its submodel, e.g. 'a.X'
    reward r { instant 1; rate X; }
                               ^
)"},
    {"MissingImport",
     "import \"lib/nothere.san\";\nsan S { }\n",
     R"(m.san:1:8: error: cannot read 'lib/nothere.san': No such file or directory
    import "lib/nothere.san";
           ^~~~~~~~~~~~~~~~~
)"},
    {"NoSanOrJoin",
     "global int K = 1;\n",
     R"(m.san:1:1: error: 'm.san' declares no san or join; the model simulated is the last one it declares
    global int K = 1;
    ^
)"},
    {"SecondEnabledClause",
     "san S {\n  place P;\n  activity A { enabled P > 0; enabled P > 1; }\n}\n",
     R"(m.san:3:31: error: activity 'A' has a second 'enabled' clause
      activity A { enabled P > 0; enabled P > 1; }
                                  ^~~~~~~
)"},
    {"ImpulseWithoutSubmodelInJoin",
     "san S { activity Go { } }\njoin J {\n  submodel a = S;\n}\nreward r { instant 1; impulse Go = 1; }\n",
     R"(m.san:5:31: error: activity 'Go' needs its submodel in join 'J', e.g. 'a.Go'
    reward r { instant 1; impulse Go = 1; }
                                  ^~
)"},
    {"ProductBeyondExperimentLimit",
     "global int a = 0;\nglobal int b = 0;\nsan S { }\nexperiment big { a = 1 to 1000 step 1; b = 1 to 1000 step 1; }\n",
     R"(m.san:4:12: error: the experiments expand to more than 100000 experiments (the experiment limit)
    experiment big { a = 1 to 1000 step 1; b = 1 to 1000 step 1; }
               ^~~
)"},
    {"ErrorInImportedFile",
     "import \"lib/parts.san\";\njoin J { submodel a = Part; }\n",
     R"(lib/parts.san:2:13: error: the initial marking of place 'P' must be an integer, not a double; convert with floor, ceil or round
      place P = 1.5;
                ^~~
)"},
    {"TooManyInitialValues",
     "global int n = 2;\nsan S {\n  place Q[n] = {1, 2, 3};\n}\n",
     R"(m.san:3:23: error: array place 'Q' has 3 initial values but length 2
      place Q[n] = {1, 2, 3};
                          ^
)"},
    {"ArrayLengthBeyondLimit",
     "san S {\n  place Q[200000];\n}\n",
     R"(m.san:2:11: error: array place 'Q' has length 200000; it must be 1 to 100000 (the array length limit)
      place Q[200000];
              ^~~~~~
)"},
    {"CompoundAssignOnDoubleModulo",
     "san S {\n  place P;\n  activity A { fire { double x = 1; x %= 2; } }\n}\n",
     R"(m.san:3:39: error: '%=' needs integers, not a double; convert with floor, ceil or round
      activity A { fire { double x = 1; x %= 2; } }
                                          ^~
)"},
    {"UnknownSharedPlaceOfJoinSubmodel",
     "san S { place P; }\njoin In {\n  submodel a = S;\n  share BUS = a.P;\n}\njoin Top {\n  submodel in = In;\n  share X = in.BU;\n}\n",
     R"(m.san:8:16: error: unknown shared place 'BU' in submodel 'in' (join 'In'); did you mean 'BUS'?
      share X = in.BU;
                   ^~
)"},
};

class BrokenFileTest : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(BrokenFileTest, ReportsExactly) {
  const LoadResult result = LoadText(GetParam().text);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.report, GetParam().report);
}

INSTANTIATE_TEST_SUITE_P(ModelDiagnostics, BrokenFileTest, ::testing::ValuesIn(kBrokenFiles),
                         [](const ::testing::TestParamInfo<BrokenFile>& info) { return info.param.name; });

TEST(ModelDiagnostics, NestingBeyondTheLimitIsRefusedNotRecursed) {
  const std::string deep = std::string(70, '(') + "1" + std::string(70, ')');
  const LoadResult result = LoadText("global int K = " + deep + ";\nsan S { }\n");
  ASSERT_EQ(result.diagnostics.size(), 1u);
  EXPECT_EQ(result.diagnostics[0].message,
            "expressions and blocks are nested more than 64 deep (the nesting limit)");
  // 64 levels are allowed.
  EXPECT_TRUE(LoadText("global int K = " + std::string(63, '(') + "1" + std::string(63, ')') +
                       ";\nsan S { }\n").ok);
}

TEST(ModelDiagnostics, LongOperatorChainsAreBoundedLikeNesting) {
  std::string chain = "1";
  for (int i = 0; i < 5000; ++i) chain += "+1";
  const LoadResult result = LoadText("global int K = " + chain + ";\nsan S { }\n");
  ASSERT_EQ(result.diagnostics.size(), 1u);
  EXPECT_EQ(result.diagnostics[0].message,
            "expression is more than 1000 operators deep (the expression height limit)");
  chain = "1";
  for (int i = 0; i < 900; ++i) chain += "+1";
  const LoadResult fits = LoadText("global int K = " + chain + ";\nsan S { }\n");
  ASSERT_TRUE(fits.ok) << fits.report;
  EXPECT_EQ(fits.model.Experiments[0].intValues[0], 901);
}

TEST(ModelDiagnostics, ErrorsComeInSourceOrderWhateverPhaseFoundThem) {
  const LoadResult result = LoadText(
      "global double lambda;\n"                        // no value: found last, while expanding
      "san S {\n  place P;\n"
      "  activity A { fire { P = 0.5; } }\n"           // found while checking the san
      "}\n"
      "reward r { rate Q; }\n");                       // two errors on one line
  ASSERT_EQ(result.diagnostics.size(), 4u);
  EXPECT_EQ(result.diagnostics[0].pos.line, 1);
  EXPECT_EQ(result.diagnostics[1].pos.line, 4);
  EXPECT_EQ(result.diagnostics[2].pos.line, 6);
  EXPECT_EQ(result.diagnostics[2].pos.column, 8);
  EXPECT_EQ(result.diagnostics[3].pos.column, 17);
}

TEST(ModelDiagnostics, FormatsRunTimeErrorsFromCheckedPositions) {
  const LoadResult result = LoadText("san S {\n  place P;\n  activity A { fire { P = 1 / P; } }\n}\n");
  ASSERT_TRUE(result.ok) << result.report;
  const Expr& division = result.model.Sans[0].activities[0].fire.statements[0].value;
  ASSERT_EQ(division.op, Op::Div);
  EXPECT_EQ(FormatDiagnostic({division.pos, "division by zero"}, result.model.Files, result.model.Sources),
            "m.san:3:27: error: division by zero\n"
            "      activity A { fire { P = 1 / P; } }\n"
            "                              ^~~~~\n");
}

TEST(ModelDiagnostics, SuggestsWithinAThirdOfTheLengthOrByCase) {
  const std::vector<std::string> names = {"QUEUE", "lambda", "Server"};
  EXPECT_EQ(SuggestName("QUEU", names), "QUEUE");
  EXPECT_EQ(SuggestName("queue", names), "QUEUE");
  EXPECT_EQ(SuggestName("SERVER", names), "Server");
  EXPECT_EQ(SuggestName("lamda", names), "lambda");
  EXPECT_EQ(SuggestName("mu", names), "");
  EXPECT_EQ(SuggestName("QUAUX", names), "");  // 2 edits in 5 letters: too far
}

}  // namespace
}  // namespace sanmodel
