#include "results/SummaryTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

Moments Of(std::initializer_list<double> values) {
  Moments m;
  for (double v : values) m.Add(v);
  return m;
}

// One run's table: a variable with a spread, one without, one observed once
// with an infinite value (a figure JSON cannot hold).
SummaryTable RunTable(double lambda) {
  SummaryTable table(0.95);
  ResultsMetadata metadata = ResultsMetadata::Parse(
      "model=models/mm1k.san\nmodel_digest=fnv1a64:00000000000000ff\nexperiment=1\nglobal=lambda,double," +
      std::to_string(lambda) + "\ngenerator=Lagged Fibonacci\nbase_seed=7\nsimulator=0,11,local pid 3\nversion=2.5\n");
  table.AddSource({"r.bin", "Results file: r.bin", "\"records\": 2", metadata});
  table.AddRow(SummaryTable::MakeRow(0, "blocking", Of({1.0, 2.0, 3.0, 4.0}), 0.95));
  SummaryTable::Row idle = SummaryTable::MakeRow(1, "idle, busy", Of({5.0, 5.0}), 0.95);
  idle.target = "met";
  table.AddRow(idle);
  table.AddRow(SummaryTable::MakeRow(2, "throughput", Of({INFINITY}), 0.95));
  return table;
}

}  // namespace

TEST(SummaryTableTest, OneTableInEachForm) {
  const SummaryTable table = RunTable(0.5);
  std::ostringstream csv;
  table.PrintCsv(csv);
  EXPECT_EQ(csv.str(),
            "pv,name,observations,mean,stddev,ci_low,ci_high,half_width,rel_half_width,confidence,target\n"
            "0,blocking,4,2.5,1.290994449,0.4457397432,4.554260257,2.054260257,0.8217041027,0.95,\n"
            "1,\"idle, busy\",2,5,0,5,5,0,0,0.95,met\n"
            "2,throughput,1,,,,,,,0.95,\n");

  std::ostringstream json;
  table.PrintJson(json, "\"stopped\": \"done\",\n  ");
  for (const std::string part :
       {"{\n  \"confidence\": 0.95,\n  \"stopped\": \"done\",\n  \"sources\": [\n    {\"file\": \"r.bin\", "
        "\"records\": 2, \"model\": \"models/mm1k.san\", \"model_digest\": \"fnv1a64:00000000000000ff\", "
        "\"experiment\": 1, \"generator\": \"Lagged Fibonacci\", \"base_seed\": 7, \"version\": \"2.5\", \"globals\": "
        "[{\"name\": \"lambda\", \"type\": \"double\", \"value\": 0.500000}], \"simulators\": [{\"index\": 0, "
        "\"seed\": 11, \"where\": \"local pid 3\"}]}\n  ],\n  \"variables\": [",
        "{\"pv\": 1, \"name\": \"idle, busy\", \"observations\": 2, \"mean\": 5, \"stddev\": 0, \"ci_low\": 5, "
        "\"ci_high\": 5, \"half_width\": 0, \"rel_half_width\": 0, \"target\": \"met\"}",
        "{\"pv\": 2, \"name\": \"throughput\", \"observations\": 1, \"mean\": null, \"stddev\": null"}) {
    EXPECT_NE(json.str().find(part), std::string::npos) << part << "\nin\n" << json.str();
  }

  std::ostringstream text;
  table.PrintText(text);
  for (const std::string part : {"Results file: r.bin\nModel: models/mm1k.san (fnv1a64:00000000000000ff)  Experiment: 1\n"
                                 "Globals: lambda=0.500000\nGenerator: Lagged Fibonacci  Base seed: 7  Simulator seeds: 11"
                                 "  Version: 2.5\n",
                                 "95% confidence interval  Target", "[0.44573974, 4.5542603]  -", "met\n", "n/a"}) {
    EXPECT_NE(text.str().find(part), std::string::npos) << part << "\nin\n" << text.str();
  }
}

// A sweep's points lead with their point number and swept values.
TEST(SummaryTableTest, ASweepLeadsWithThePointColumns) {
  const SummaryTable low = RunTable(0.5);
  const SummaryTable high = RunTable(0.75);
  const std::vector<SummaryTable::Point> points = {{{"0.5", "1"}, &low}, {{"0.75", "1"}, &high}};
  std::ostringstream csv;
  SummaryTable::PrintSweepCsv(csv, {"lambda", "mu"}, points);
  std::istringstream lines(csv.str());
  std::string line;
  std::vector<std::string> all;
  while (std::getline(lines, line)) all.push_back(line);
  ASSERT_EQ(all.size(), 7u) << csv.str();
  EXPECT_EQ(all[0], "point,lambda,mu,pv,name,observations,mean,stddev,ci_low,ci_high,half_width,rel_half_width,"
                    "confidence,target");
  EXPECT_EQ(all[1].rfind("1,0.5,1,0,blocking,4,2.5,", 0), 0u) << all[1];
  EXPECT_EQ(all[6], "2,0.75,1,2,throughput,1,,,,,,,0.95,");

  std::ostringstream json;
  SummaryTable::PrintSweepJson(json, {"lambda", "mu"}, points);
  for (const std::string part : {"\"sweep\": [\"lambda\", \"mu\"],\n  \"points\": [\n    {\"point\": 1, \"globals\": "
                                 "{\"lambda\": 0.5, \"mu\": 1},\n     \"sources\": [",
                                 "{\"point\": 2, \"globals\": {\"lambda\": 0.75, \"mu\": 1}"}) {
    EXPECT_NE(json.str().find(part), std::string::npos) << part << "\nin\n" << json.str();
  }

  std::ostringstream text;
  SummaryTable::PrintSweepText(text, {"lambda", "mu"}, points);
  EXPECT_EQ(text.str().rfind("Point  lambda  mu  PV  Name", 0), 0u) << text.str();
  EXPECT_NE(text.str().find("\n    2    0.75   1  2   throughput"), std::string::npos) << text.str();
}
