// The example models in models/ are run through the real gpusim executable and
// checked against their exact values: every reward variable's confidence
// interval from a fixed-seed run must contain the value computed here from
// the model's definition (a closed form, a Markov chain, or the lifetime
// distributions). The model's compiled simulator (build/gpusim-<model>, from
// the generated C++) must write the same results file as the interpreter,
// and every model file at the top of models/ must pass `gpusim --check`.
//
// The parameters below mirror the globals' defaults and experiments in the
// model files; a change there must be made here too.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "model/MarkovChain.h"
#include "results/ResultsSummary.h"
#include "stats/Moments.h"

namespace {

const std::string kModels = std::string(GPUSIM_SOURCE_DIR) + "/models/";

std::string ScratchPath(const std::string& name) {
  return testing::TempDir() + "example_models_" + std::to_string(getpid()) + "_" + name;
}

// Variable number -> exact value.
using ExactValues = std::map<int, double>;

// ---------------------------------------------------------------------------
// models/mm1k.san: the birth-death chain's closed form.

ExactValues MM1K(double lambda) {
  const int K = 5;
  const double mu = 1.25;
  const double rho = lambda / mu;
  std::vector<double> p(K + 1);
  double norm = 0;
  for (int n = 0; n <= K; n++) norm += p[n] = std::pow(rho, n);
  double mean = 0;
  for (int n = 0; n <= K; n++) mean += n * (p[n] /= norm);
  return {{0, p[K]}, {1, mean}, {2, p[0]}, {3, mu * (1 - p[0])}};
}

// ---------------------------------------------------------------------------
// models/repairman.san: the chain of machines up, started with all up.

ExactValues Repairman(int R) {
  const int N = 6;
  const double lambda = 0.1, mu = 0.4, T = 20;
  MarkovChain chain(N + 1);  // state: machines up
  for (int up = 0; up <= N; up++) {
    if (up > 0) chain.AddRate(up, up - 1, up * lambda);
    if (up < N) chain.AddRate(up, up + 1, std::min(N - up, R) * mu);
  }
  std::vector<double> start(N + 1, 0.0);
  start[N] = 1.0;
  // The expectation of f(machines down) under the distribution p.
  auto expect = [&](const std::vector<double>& p, const std::function<double(int)>& f) {
    double sum = 0;
    for (int up = 0; up <= N; up++) sum += p[up] * f(N - up);
    return sum;
  };
  auto down = [](int d) { return static_cast<double>(d); };
  auto busy = [&](int d) { return static_cast<double>(std::min(d, R)); };
  const std::vector<double> inT = chain.Accumulated(start, T);
  ExactValues exact;
  const double instants[] = {1, 5, 10, 20};
  for (int i = 0; i < 4; i++) exact[i] = expect(chain.Transient(start, instants[i]), down);
  exact[4] = expect(chain.Transient(start, 5), [&](int d) { return d >= R ? 1.0 : 0.0; });
  exact[5] = expect(inT, busy) / R / T;
  exact[6] = mu * expect(inT, busy);
  exact[7] = expect(chain.SteadyState(), down);
  return exact;
}

// ---------------------------------------------------------------------------
// models/multiproc.san: the chain of (processors working, crashed).

ExactValues Multiproc(double c, bool repairInReboot) {
  const int N = 4, M = 2;
  const double lambda = 0.1, mu = 0.5, delta = 1.0;
  auto state = [](int working, int crashed) { return 2 * working + crashed; };
  MarkovChain chain(2 * (N + 1));
  for (int w = 0; w <= N; w++) {
    const double covered = std::pow(c, N - w + 1);
    if (w > 0) {
      chain.AddRate(state(w, 0), state(w - 1, 0), w * lambda * covered);
      chain.AddRate(state(w, 0), state(w - 1, 1), w * lambda * (1 - covered));
    }
    if (w < N) {
      chain.AddRate(state(w, 0), state(w + 1, 0), mu);
      if (repairInReboot) chain.AddRate(state(w, 1), state(w + 1, 1), mu);
    }
    chain.AddRate(state(w, 1), state(w, 0), delta);
  }
  // State (N, crashed) cannot be reached, but the reboot leads out of it, so
  // the balance equations still have one solution (giving it 0).
  const std::vector<double> p = chain.SteadyState();
  double available = 0, working = 0, crashes = 0;
  for (int w = 0; w <= N; w++) {
    if (w >= M) available += p[state(w, 0)];
    working += w * (p[state(w, 0)] + p[state(w, 1)]);
    crashes += p[state(w, 0)] * w * lambda * (1 - std::pow(c, N - w + 1));
  }
  return {{0, available}, {1, working}, {2, crashes}};
}

// ---------------------------------------------------------------------------
// models/tmr.san: independent lifetimes.

double WeibullCdf(double t) { return t <= 0 ? 0 : 1 - std::exp(-std::pow(t / 4.0, 2.0)); }
double UniformCdf(double t) { return std::clamp((t - 1.0) / (7.0 - 1.0), 0.0, 1.0); }
double ErlangCdf(double t) {
  if (t <= 0) return 0;
  const int k = 3;
  const double x = k * t / 5.0;
  double term = std::exp(-x), sum = 0;
  for (int j = 0; j < k; j++) {
    sum += term;
    term *= x / (j + 1);
  }
  return 1 - sum;
}

// At least two of the three have failed by t.
double TwoFailed(double t) {
  const double a = WeibullCdf(t), b = UniformCdf(t), c = ErlangCdf(t);
  return a * b + a * c + b * c - 2 * a * b * c;
}

ExactValues Tmr() {
  const double detect = 0.5, T = 6;
  ExactValues exact;
  const double tripAt[] = {2, 4, 6};
  for (int i = 0; i < 3; i++) exact[i] = TwoFailed(tripAt[i] - detect);
  const double degradedAt[] = {2, 4};
  for (int i = 0; i < 2; i++) {
    const double t = degradedAt[i];
    exact[3 + i] = 1 - (1 - WeibullCdf(t)) * (1 - UniformCdf(t)) * (1 - ErlangCdf(t));
  }
  // Simpson's rule; the integrand is smooth but for the uniform's kink, whose
  // error at this step is far below the simulation's.
  const int steps = 20000;
  const double h = (T - detect) / steps;
  double integral = TwoFailed(0) + TwoFailed(T - detect);
  for (int i = 1; i < steps; i++) integral += (i % 2 ? 4 : 2) * TwoFailed(i * h);
  exact[5] = integral * h / 3;
  exact[6] = WeibullCdf(T) + UniformCdf(T) + ErlangCdf(T);
  return exact;
}

// ---------------------------------------------------------------------------

struct ExampleRun {
  const char* name;
  const char* model;  // models/<model>.san, compiled as build/gpusim-<model>
  const char* args;
  std::function<ExactValues()> exact;
};

// Seeds are fixed, so each run gives the same observations every time.
const ExampleRun kRuns[] = {
    {"MM1KDefaults", "mm1k", "-t 0 -N 1000 -s 101", [] { return MM1K(1.0); }},
    {"MM1KOverloaded", "mm1k", "-t 0 -N 1000 -s 102 -e 4", [] { return MM1K(2.5); }},
    {"RepairmanTransient", "repairman", "-N 100000 -s 103",
     [] {
       ExactValues e = Repairman(2);
       e.erase(7);  // steady state: a terminating run does not observe it
       return e;
     }},
    {"RepairmanSteadyState", "repairman", "-t 0 -N 500 -s 104 -e 1", [] { return ExactValues{{7, Repairman(1)[7]}}; }},
    {"MultiprocDefaults", "multiproc", "-t 0 -N 1000 -s 105", [] { return Multiproc(0.9, true); }},
    {"MultiprocCoverageSweep", "multiproc", "-t 0 -N 1000 -s 106 -e 4",
     [] { return Multiproc(0.90 + 3 * 0.03, true); }},
    {"MultiprocNoRepairInReboot", "multiproc", "-t 0 -N 1000 -s 107 -e 5", [] { return Multiproc(0.9, false); }},
    {"TmrDefaults", "tmr", "-N 100000 -s 108", [] { return Tmr(); }},
};

class ExampleModelTest : public ::testing::TestWithParam<ExampleRun> {};

// The ASCII results file of a run of `simulator args`; status 0 expected.
std::string Results(const std::string& simulator, const std::string& args, const std::string& tag) {
  const std::string results = ScratchPath(tag + ".txt");
  const testprocess::Outcome outcome = testprocess::RunRedirected(simulator + " " + args + " -a " + results,
                                                                  ScratchPath(tag + ".out"), ScratchPath(tag + ".err"));
  EXPECT_EQ(outcome.status, 0) << simulator << " " << args << "\n" << outcome.err;
  const std::string text = testprocess::ReadFile(results);
  std::remove(results.c_str());
  return text;
}

// Each variable's Student t interval must contain its exact value. The
// level is 99% for the run as a whole: with m variables each interval is at
// 1 - 0.01/m (Bonferroni), so a correct model fails a run at most 1% of the
// seeds, however many variables it has.
TEST_P(ExampleModelTest, EveryIntervalContainsTheExactValue) {
  const ExampleRun& run = GetParam();
  const std::string text =
      Results(GPUSIM_BINARY, std::string("--model ") + kModels + run.model + ".san " + run.args, run.name);

  std::map<int, Moments> observed;
  for (const std::string& line : testprocess::Lines(text)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t comma = line.find(',');
    observed[std::stoi(line.substr(0, comma))].Add(std::stod(line.substr(comma + 1)));
  }

  const ExactValues exact = run.exact();
  const double level = 1 - 0.01 / static_cast<double>(exact.size());
  for (const auto& [pv, value] : exact) {
    ASSERT_TRUE(observed.count(pv)) << "variable " << pv << " has no observations";
    const Moments& m = observed.at(pv);
    ASSERT_GE(m.n, 30) << "variable " << pv;
    const double half = StudentTQuantile(1 - (1 - level) / 2, m.n - 1) * m.StandardDeviation() / std::sqrt(m.n);
    EXPECT_NEAR(m.mean, value, half) << "variable " << pv << ": " << m.n << " observations";
    // A wider interval could hide a model error of that size.
    EXPECT_LE(half, 0.1 * std::fabs(value)) << "variable " << pv << " is too imprecise to test anything";
  }
}

// The model's own simulator, built from the C++ the generator writes for
// it, draws the same random numbers in the same order as the interpreter.
TEST_P(ExampleModelTest, TheCompiledModelGivesTheSameResultsFile) {
  const ExampleRun& run = GetParam();
  const std::string interpreted =
      Results(GPUSIM_BINARY, std::string("--model ") + kModels + run.model + ".san " + run.args, run.name);
  const std::string compiled =
      Results(std::string(GPUSIM_BUILD_DIR) + "/gpusim-" + run.model, run.args, std::string(run.name) + "_compiled");
  EXPECT_FALSE(interpreted.empty());
  EXPECT_TRUE(interpreted == compiled) << "the results files differ";
}

INSTANTIATE_TEST_SUITE_P(Models, ExampleModelTest, ::testing::ValuesIn(kRuns),
                         [](const testing::TestParamInfo<ExampleRun>& info) { return std::string(info.param.name); });

TEST(ExampleModelFilesTest, EveryModelAtTheTopOfModelsChecksClean) {
  int models = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kModels)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".san") continue;
    models++;
    const std::string name = entry.path().filename().string();
    const testprocess::Outcome outcome =
        testprocess::RunRedirected(std::string(GPUSIM_BINARY) + " --check " + entry.path().string(),
                                   ScratchPath(name + ".out"), ScratchPath(name + ".err"));
    EXPECT_EQ(outcome.status, 0) << name << ":\n" << outcome.err;
    EXPECT_EQ(outcome.err, "") << name;
  }
  EXPECT_GE(models, 4);
}

}  // namespace
