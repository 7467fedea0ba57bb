// Steady-state studies and sweeps with real gpusim processes running the
// M/M/1/K example model, checked against its exact steady state (the
// birth-death chain in models/mm1k.san).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

#include "manager/ManagerProcess.h"

namespace {

using managertest::CountFile;
using managertest::ManagerProcess;

constexpr int kCapacity = 5;
constexpr double kServiceRate = 1.25;

// p(n) of the M/M/1/K queue, n = 0..K.
std::vector<double> QueueLengths(double arrivalRate) {
  const double rho = arrivalRate / kServiceRate;
  std::vector<double> p(kCapacity + 1);
  double total = 0.0;
  for (int n = 0; n <= kCapacity; ++n) total += p[n] = std::pow(rho, n);
  for (double& each : p) each /= total;
  return p;
}

double MeanInSystem(double arrivalRate) {
  const std::vector<double> p = QueueLengths(arrivalRate);
  double mean = 0.0;
  for (int n = 0; n <= kCapacity; ++n) mean += n * p[n];
  return mean;
}

struct Row {
  double swept = 0.0;  // the swept value, in a sweep's CSV
  long observations = 0;
  double mean = 0.0;
  double low = 0.0;
  double high = 0.0;
};

// The rows of a summary CSV (pv,name,...) or of a sweep's (point,value,pv,name,...), by name and point.
std::map<std::pair<int, std::string>, Row> CsvRows(const std::string& csv, bool sweep) {
  std::map<std::pair<int, std::string>, Row> rows;
  for (const std::string& line : testprocess::Lines(csv)) {
    int point = 0;
    int pv = 0;
    char name[64];
    Row row;
    double sd = 0.0;
    const int read = sweep ? std::sscanf(line.c_str(), "%d,%lf,%d,%63[^,],%ld,%lf,%lf,%lf,%lf", &point, &row.swept, &pv,
                                         name, &row.observations, &row.mean, &sd, &row.low, &row.high)
                           : std::sscanf(line.c_str(), "%d,%63[^,],%ld,%lf,%lf,%lf,%lf", &pv, name, &row.observations,
                                         &row.mean, &sd, &row.low, &row.high);
    if (read == (sweep ? 9 : 7)) rows[{point, name}] = row;
  }
  return rows;
}

class ManagerSteadyStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gpusim-steady-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::vector<std::string> Study(std::vector<std::string> words) {
    words.insert(words.begin(), {"--quiet", "--gpusim", GPUSIM_BINARY, "--simulators", "2"});
    words.insert(words.end(), {"--model", std::string(GPUSIM_SOURCE_DIR) + "/models/mm1k.san", "-t", "0"});
    return words;
  }

  std::string dir_;
};

// Batch means of one long run per simulator, a warm-up dropped from each:
// the exact mean number in system lies in the study's interval at both
// levels, the merged file holds exactly the batches counted, and the
// batches of mm1k.san (2000 time units) are long enough to show no
// correlation worth a warning.
TEST_F(ManagerSteadyStateTest, TheMeanNumberInSystemIsInsideTheIntervalAt95And99Percent) {
  const double exact = MeanInSystem(1.0);
  for (const char* level : {"0.95", "0.99"}) {
    const std::string file = dir_ + "/steady.bin";
    ManagerProcess run(dir_, Study({"--replications", "400", "--warmup-batches", "2", "--confidence", level, "--csv",
                                    "--binary", file, "--"}));
    ASSERT_EQ(run.Wait(), 0) << run.Err();
    const Row row = CsvRows(run.Out(), false)[{0, "mean_in_system"}];
    EXPECT_EQ(row.observations, 400) << run.Out();
    EXPECT_LE(row.low, exact) << level;
    EXPECT_GE(row.high, exact) << level;
    EXPECT_NE(run.Err().find("Lag-1 autocorrelation"), std::string::npos) << run.Err();
    EXPECT_EQ(run.Err().find("warning"), std::string::npos) << run.Err();

    bool clean = false;
    const std::map<int, long> counts = CountFile(file, clean);
    EXPECT_TRUE(clean);
    EXPECT_EQ(counts.at(1), 400);
    ResultsReader reader;
    reader.ReadFile(file, [](int, double) {});
    EXPECT_EQ(reader.HeaderField("BATCHES"), "400");
    EXPECT_NE(testprocess::ReadFile(file + ".meta").find("\nsimulation=steady-state\n"), std::string::npos);
  }
}

// Batches of one time unit (the queue remembers its state far longer): the
// batch means follow each other closely, and the study says so, naming the
// variable and the remedy.
TEST_F(ManagerSteadyStateTest, BatchesTooShortAreNamedWithTheirAutocorrelation) {
  std::string model = testprocess::ReadFile(std::string(GPUSIM_SOURCE_DIR) + "/models/mm1k.san");
  for (std::size_t at; (at = model.find("steady [1000, 3000]")) != std::string::npos;) {
    model.replace(at, 19, "steady [1000, 1001]");
  }
  std::ofstream(dir_ + "/short.san") << model;
  std::vector<std::string> words = Study({"--replications", "2000", "--"});
  words[words.size() - 3] = dir_ + "/short.san";
  ManagerProcess run(dir_, words);
  ASSERT_EQ(run.Wait(), 0) << run.Err();
  EXPECT_NE(run.Err().find("warning: variable 1 (mean_in_system) has a lag-1 autocorrelation of 0."), std::string::npos)
      << run.Err();
  EXPECT_NE(run.Err().find("widening the model's steady window"), std::string::npos) << run.Err();
}

// Five arrival rates, each point to its own stopping rule on its own
// simulators; every point's blocking probability against p(K), and every
// point's merged file with its own metadata.
TEST_F(ManagerSteadyStateTest, ASweepOverTheArrivalRateMatchesTheExactBlockingAtEveryPoint) {
  ManagerProcess run(dir_, Study({"--sweep", "lambda=0.5:2.5:0.5", "--replications", "200", "--confidence", "0.99",
                                  "--csv", "--binary", dir_ + "/", "--"}));
  ASSERT_EQ(run.Wait(120), 0) << run.Err();
  const auto rows = CsvRows(run.Out(), true);
  for (int point = 1; point <= 5; ++point) {
    const double lambda = 0.5 * point;
    const Row row = rows.at({point, "blocking"});
    EXPECT_DOUBLE_EQ(row.swept, lambda);
    EXPECT_EQ(row.observations, 200);
    const double exact = QueueLengths(lambda)[kCapacity];
    EXPECT_LE(row.low, exact) << "lambda " << lambda;
    EXPECT_GE(row.high, exact) << "lambda " << lambda;

    const std::string file = dir_ + "/point-" + std::to_string(point) + ".bin";
    bool clean = false;
    EXPECT_EQ(CountFile(file, clean).at(0), 200);
    EXPECT_TRUE(clean);
    const std::string meta = testprocess::ReadFile(file + ".meta");
    char global[64];
    std::snprintf(global, sizeof global, "\nglobal=lambda,double,%g\n", lambda);
    for (const std::string& line : {std::string("\nsweep=lambda\n"), std::string(global)}) {
      EXPECT_NE(meta.find(line), std::string::npos) << line << " in\n" << meta;
    }
  }
}

}  // namespace
