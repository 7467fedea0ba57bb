#include "TestProcess.h"
#include "simulator/EngineTestModels.h"
#include "simulator/SimulatorClass.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using enginetest::EngineRewardModel;
using enginetest::HandSAN;
using enginetest::Harness;
using enginetest::SeededGenerator;
using enginetest::TimedActivity;
using enginetest::VariableSpec;

namespace {

using testprocess::ReadLines;

// The data lines of an ASCII results file (header and trailer removed).
std::vector<std::string> DataLines(const std::string& name) {
  std::vector<std::string> lines = ReadLines(name);
  std::vector<std::string> data;
  for (const std::string& l : lines)
    if (!l.empty() && l[0] != '#') data.push_back(l);
  return data;
}

// The values of variable pv in an ASCII results file, in file order.
std::vector<double> ValuesOf(const std::string& name, int pv) {
  std::vector<double> values;
  const std::string prefix = std::to_string(pv) + ",";
  for (const std::string& l : DataLines(name))
    if (l.compare(0, prefix.size(), prefix) == 0) values.push_back(std::stod(l.substr(prefix.size())));
  return values;
}

std::string TempFile(const char* name) { return ::testing::TempDir() + std::to_string(getpid()) + "_" + name; }

// A fixture running a hand-built model through Run() with an ASCII file.
class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Ascii = TempFile((std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt").c_str());
  }
  void TearDown() override { std::remove(Ascii.c_str()); }

  void Prepare(HandSAN* san, std::vector<VariableSpec> specs) {
    H.reset();  // a harness never outlives its model
    Model.reset(new EngineRewardModel(san, std::move(specs)));
    H.reset(new Harness());
  }
  void Run() {
    H->Sim.AsciiFileName = Ascii;
    H->Sim.AsciiFile = H->Sim.CreateAsciiFile(Ascii);
    testing::internal::CaptureStdout();
    H->Install(Model.get());
    H->Sim.Run();
    Printed = testing::internal::GetCapturedStdout();
  }
  SimulatorClass& Sim() { return H->Sim; }

  SeededGenerator Seed{2024};
  std::string Ascii;
  std::unique_ptr<EngineRewardModel> Model;
  std::unique_ptr<Harness> H;  // destroyed before the model
  std::string Printed;
  ~LoopTest() override { H.reset(); }
};

// A terminating model with horizon 10: AT completes exactly at the horizon,
// AFTER a hair later.
HandSAN* HorizonModel(TimedActivity** at, TimedActivity** after) {
  auto* san = new HandSAN("REPL");
  Place* p = san->AddPlace("P", 1);
  Place* q = san->AddPlace("Q", 1);
  *at = san->AddActivity("AT", {p}, {})->Fixed(10.0);
  *after = san->AddActivity("AFTER", {q}, {})->Fixed(std::nextafter(10.0, 11.0));
  san->Finish();
  return san;
}

std::vector<VariableSpec> HorizonVariables() {
  VariableSpec at;
  at.Name = "at";
  at.Stop = 10.0;
  at.CountedActions = {"AT"};
  VariableSpec after = at;
  after.Name = "after";
  after.CountedActions = {"AFTER"};
  return {at, after};
}

}  // namespace

// ---------------------------------------------------------------------------
// Terminating simulation
// ---------------------------------------------------------------------------

TEST_F(LoopTest, ALimitOfThreeGivesThreeReplicationsInOneReport) {
  TimedActivity *at, *after;
  Prepare(HorizonModel(&at, &after), HorizonVariables());
  Sim().MaxBatches = 3;
  Sim().ReportSize = 1000;
  Run();
  EXPECT_EQ(Sim().Batches, 3);
  EXPECT_EQ(Sim().OutputCount, 2);  // one output step
  // The event at the horizon fires, the one after it does not.
  EXPECT_EQ(at->FireCount, 3);
  EXPECT_EQ(after->FireCount, 0);
  EXPECT_EQ(Sim().ActionsFired, 3);
  EXPECT_EQ(DataLines(Ascii), (std::vector<std::string>{"0,1.0", "0,1.0", "0,1.0", "1,0.0", "1,0.0", "1,0.0"}));
  EXPECT_EQ(ReadLines(Ascii).back(), "#META_DATA,BATCHES=3");
  EXPECT_NE(Printed.find("Actions fired: 3\n"), std::string::npos);
}

TEST_F(LoopTest, AReportGoesOutAfterEverySecondReplication) {
  auto* san = new HandSAN("REPL");
  Place* p = san->AddPlace("P", 1);
  san->AddActivity("TICK", {p}, {p})->Fixed(1.0);
  san->Finish();
  VariableSpec count;
  count.Stop = 3.0;
  count.CountedActions = {"TICK"};
  Prepare(san, {count});
  Sim().MaxBatches = 5;
  Sim().ReportSize = 2;
  Run();
  EXPECT_EQ(Sim().Batches, 5);
  EXPECT_EQ(Sim().OutputCount, 4);  // reports of 2, 2 and 1
  EXPECT_EQ(ValuesOf(Ascii, 0), (std::vector<double>{3, 3, 3, 3, 3}));
  EXPECT_EQ(Sim().ActionsFired, 15);  // counted over all replications
}

TEST_F(LoopTest, AStopSignalEndsTheRunWithoutLosingObservations) {
  for (int signal : {SIGTERM, SIGINT}) {
    TimedActivity *at, *after;
    Prepare(HorizonModel(&at, &after), HorizonVariables());
    Sim().MaxBatches = 0;  // no limit: only the signal ends the run
    Sim().ReportSize = 1;  // a report per replication: the throttle holds many back
    at->OnFire = [&] {
      if (at->FireCount == 40) std::raise(signal);
    };
    Run();
    EXPECT_EQ(Sim().Batches, 40);
    EXPECT_EQ(Sim().RunState, 2);
    EXPECT_EQ(Sim().ExitStatus, 0);
    EXPECT_EQ(ValuesOf(Ascii, 0).size(), 40u);
    EXPECT_EQ(ValuesOf(Ascii, 1).size(), 40u);
    EXPECT_EQ(ReadLines(Ascii).back(), "#META_DATA,BATCHES=40");
    EXPECT_EQ(Sim().FullPackets->Count(), 0);
    H.reset();
  }
}

// ---------------------------------------------------------------------------
// Steady-state simulation
// ---------------------------------------------------------------------------

namespace {

// TICK fires once per time unit for ever; COUNT holds the number of firings.
HandSAN* ClockModel(TimedActivity** tick) {
  auto* san = new HandSAN("CLOCK");
  Place* p = san->AddPlace("P", 1);
  Place* count = san->AddPlace("COUNT", 0);
  *tick = san->AddActivity("TICK", {p}, {p, count})->Fixed(1.0);
  san->Finish();
  return san;
}

VariableSpec SteadyVariable(const char* name, const char* place, double start, double stop) {
  VariableSpec v;
  v.Name = name;
  v.RatePlace = place;
  v.Start = start;
  v.Stop = stop;
  v.SteadyState = 1;
  return v;
}

}  // namespace

TEST_F(LoopTest, AWarmUpRecordsNothingAndTheFirstWindowFollowsIt) {
  TimedActivity* tick;
  Prepare(ClockModel(&tick), {SteadyVariable("count", "COUNT", 100.0, 110.0)});
  Sim().IsTerminating = 0;
  Sim().MaxBatches = 1;
  Run();
  // The time average of COUNT over [100, 110] is the mean of 100..109.
  EXPECT_EQ(DataLines(Ascii), std::vector<std::string>{"0,104.5"});
  // The batch closed when Now reached 110; one more step fired at 110.
  EXPECT_EQ(Sim().ActionsFired, 110);
  EXPECT_EQ(Sim().PVs[0]->StartTime, 110.0);
  EXPECT_EQ(Sim().PVs[0]->StopTime, 120.0);
  EXPECT_EQ(Sim().Batches, 1);  // the warm-up is not a batch
}

TEST_F(LoopTest, TheRunEndsOneStepAfterTheSlowestVariableReachesTheLimit) {
  TimedActivity* tick;
  Prepare(ClockModel(&tick),
          {SteadyVariable("fast", "P", 0.0, 10.0), SteadyVariable("slow", "P", 0.0, 20.0)});
  Sim().IsTerminating = 0;
  Sim().MaxBatches = 5;
  Run();
  // The slow variable's fifth batch ends at 100, together with the fast
  // one's tenth; the step at 100 is the last.
  EXPECT_EQ(Sim().ActionsFired, 100);
  EXPECT_EQ(ValuesOf(Ascii, 0), std::vector<double>(10, 1.0));
  EXPECT_EQ(ValuesOf(Ascii, 1), std::vector<double>(5, 1.0));
  EXPECT_EQ(Sim().OutputCount, 2);
}

TEST_F(LoopTest, BatchesEndingTogetherAreClosedInOneCall) {
  TimedActivity* tick;
  Prepare(ClockModel(&tick), {SteadyVariable("a", "P", 0.0, 10.0), SteadyVariable("b", "P", 0.0, 10.0),
                              SteadyVariable("later", "P", 0.0, 15.0)});
  Sim().IsTerminating = 0;
  H->Install(Model.get());
  Sim().ValuePacket = Sim().CreateDataPacket(3);
  Sim().SquarePacket = Sim().CreateDataPacket(3);
  Sim().BatchEnds.reset(new Heap<double>(3));
  Sim().BatchCounts.reset(new Heap<int>(3));
  for (int i = 0; i < 3; ++i) {
    Sim().BatchEnds->Insert(Sim().PVs[i]->StopTime, i);
    Sim().BatchCounts->Insert(0, i);
  }
  int valueCounts[3] = {0, 0, 0}, squareCounts[3] = {0, 0, 0};
  Sim().Now = 10.0;
  Sim().CheckCompletedBatches(Sim().PVs, valueCounts, squareCounts);
  EXPECT_EQ(valueCounts[0], 1);
  EXPECT_EQ(valueCounts[1], 1);
  EXPECT_EQ(valueCounts[2], 0);  // its window ends at 15
  EXPECT_EQ(Sim().BatchEnds->MinKey(), 15.0);
  EXPECT_EQ(Sim().BatchEnds->KeyOf(0), 20.0);
  EXPECT_EQ(Sim().BatchEnds->KeyOf(1), 20.0);
  EXPECT_EQ(Sim().BatchCounts->MinKey(), 0);
  EXPECT_EQ(Sim().BatchCounts->KeyOf(1), 1);
}

TEST_F(LoopTest, TheThirdObservationWithReportSizeTwoHandsOverTheFirstTwo) {
  TimedActivity* tick;
  Prepare(ClockModel(&tick), {SteadyVariable("v", "P", 0.0, 10.0)});
  Sim().IsTerminating = 0;
  Sim().MaxBatches = 5;
  Sim().ReportSize = 2;
  Run();
  EXPECT_EQ(Sim().OutputCount, 4);  // reports of 2, 2 and the final 1
  EXPECT_EQ(ValuesOf(Ascii, 0).size(), 5u);
}

TEST_F(LoopTest, AnAbsorbingStateEndsTheRunAndReportsWhatWasObserved) {
  auto* san = new HandSAN("DYING");
  Place* p = san->AddPlace("P", 3);
  san->AddActivity("TAKE", {p}, {})->Fixed(1.0);
  san->Finish();
  Prepare(san, {SteadyVariable("v", "P", 0.0, 1.0)});
  Sim().IsTerminating = 0;
  Run();
  EXPECT_NE(Printed.find("Simulator encountered an absorbing state and is unable to proceed.  Terminating run.\n"),
            std::string::npos);
  // Batches closed at 1, 2 and 3; the marking was 3, 2, 1 during them.
  EXPECT_EQ(ValuesOf(Ascii, 0), (std::vector<double>{3, 2, 1}));
}

TEST_F(LoopTest, AStopSignalEndsASteadyStateRunWithItsLastReport) {
  TimedActivity* tick;
  Prepare(ClockModel(&tick), {SteadyVariable("v", "P", 0.0, 10.0)});
  Sim().IsTerminating = 0;
  tick->OnFire = [&] {
    if (tick->FireCount == 55) std::raise(SIGTERM);
  };
  Run();
  EXPECT_EQ(ValuesOf(Ascii, 0).size(), 5u);  // the batches closed at 10..50
  EXPECT_EQ(Sim().RunState, 2);
  EXPECT_EQ(ReadLines(Ascii).back(), "#META_DATA,BATCHES=5");
}

// A run stopped from outside the loop (the manager's quit, a lost
// connection) still writes the batches it recorded, and its trailer counts
// exactly those.
TEST_F(LoopTest, AStoppedSteadyStateRunKeepsItsPartialReport) {
  TimedActivity* tick;
  Prepare(ClockModel(&tick), {SteadyVariable("v", "P", 0.0, 10.0)});
  Sim().IsTerminating = 0;
  tick->OnFire = [&] {
    if (tick->FireCount == 55) Sim().RunState = 2;
  };
  Run();
  EXPECT_EQ(ValuesOf(Ascii, 0).size(), 5u);
  EXPECT_EQ(ReadLines(Ascii).back(), "#META_DATA,BATCHES=5");
}

TEST(SimulatorLoopsDeathTest, ASteadyStateRunNeedsASteadyStateVariable) {
  auto* san = new HandSAN("ANY");
  Place* p = san->AddPlace("P", 1);
  san->AddActivity("TICK", {p}, {p})->Fixed(1.0);
  san->Finish();
  VariableSpec transient;
  transient.Stop = 5.0;
  EngineRewardModel model(san, {transient});
  Harness h;
  h.Sim.IsTerminating = 0;
  EXPECT_EXIT(h.Install(&model), testing::ExitedWithCode(1),
              "ERROR: A steady-state simulation \\(-t 0\\) needs at least one steady-state performance variable");
}

// ---------------------------------------------------------------------------
// Statistical validation against a known answer
// ---------------------------------------------------------------------------

// An M/M/1 queue (arrivals at rate 0.5, service at rate 1, so load 0.5): the
// long-run mean number in the system is 0.5 / (1 - 0.5) = 1 and the server
// is busy half of the time. Thirty batch means over windows of 1000 time
// units after a warm-up of 100 must hold both values within their 99%
// confidence intervals (Student t with 29 degrees of freedom: 2.756).
TEST_F(LoopTest, AnMM1QueueMatchesItsAnalyticMeans) {
  auto* san = new HandSAN("MM1");
  Place* q = san->AddPlace("Q", 0);
  san->AddActivity("ARRIVE", {}, {q})->Exponential(0.5);
  san->AddActivity("SERVE", {q}, {})->Exponential(1.0);
  san->Finish();
  VariableSpec length = SteadyVariable("length", "Q", 100.0, 1100.0);
  VariableSpec busy = SteadyVariable("busy", "Q", 100.0, 1100.0);
  busy.Busy = true;
  Prepare(san, {length, busy});
  Sim().IsTerminating = 0;
  Sim().MaxBatches = 30;
  Run();

  const double expected[] = {1.0, 0.5};
  for (int pv = 0; pv < 2; ++pv) {
    std::vector<double> batches = ValuesOf(Ascii, pv);
    ASSERT_EQ(batches.size(), 30u);
    double mean = 0;
    for (double b : batches) mean += b;
    mean /= batches.size();
    double var = 0;
    for (double b : batches) var += (b - mean) * (b - mean);
    var /= batches.size() - 1;
    const double halfWidth = 2.756 * std::sqrt(var / batches.size());
    EXPECT_NEAR(mean, expected[pv], halfWidth) << "variable " << pv;
    EXPECT_LT(halfWidth, 0.25 * expected[pv]);  // the interval is informative
  }
}

// ---------------------------------------------------------------------------
// Whole runs of the program
// ---------------------------------------------------------------------------

namespace {

std::string ReadAll(const std::string& name) {
  std::ifstream in(name);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Starts the program with its output in files; returns its process id.
pid_t StartGpusim(const std::vector<std::string>& arguments, const std::string& out, const std::string& err) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(127);
    std::vector<char*> argv{const_cast<char*>(GPUSIM_BINARY)};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(GPUSIM_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace

TEST(GpusimLoopsRunTest, AStopSignalEndsAnUnlimitedRunCleanly) {
  for (int signal : {SIGTERM, SIGINT}) {
    const std::string base = TempFile("gpusim_stop_") + std::to_string(signal);
    const std::string ascii = base + ".txt", bin = base + ".bin", out = base + ".out", err = base + ".err";
    // Without -N the run would go on for ever; -n 7 makes the last report a
    // partial one whatever the moment of the signal.
    pid_t pid = StartGpusim({"-a", ascii, "-b", bin, "-n", "7"}, out, err);
    ASSERT_GT(pid, 0);
    // Let the loop start (its handler is in place once it runs), then stop it.
    for (int i = 0; i < 500 && ReadAll(out).find("SIMULATOR::Preparing to run()") == std::string::npos; ++i)
      usleep(10000);
    usleep(300000);
    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(ReadAll(out).find("SIMULATOR::MAIN()-GOOD EXIT"), std::string::npos);

    // Every replication completed is in the file, and the trailer says how many.
    std::vector<std::string> lines = ReadLines(ascii);
    ASSERT_GE(lines.size(), 3u);
    const std::string trailer = lines.back();
    ASSERT_EQ(trailer.rfind("#META_DATA,BATCHES=", 0), 0u) << trailer;
    const int batches = std::atoi(trailer.c_str() + std::strlen("#META_DATA,BATCHES="));
    EXPECT_GT(batches, 0);
    EXPECT_EQ(ValuesOf(ascii, 0).size(), static_cast<size_t>(batches));
    // The binary header was rewritten with the same count.
    const std::string header = ReadAll(bin).substr(0, 256);
    EXPECT_NE(header.find(",BATCHES=" + std::to_string(batches) + ","), std::string::npos) << header;
    for (const std::string& f : {ascii, bin, out, err}) std::remove(f.c_str());
  }
}

TEST(GpusimLoopsRunTest, ASteadyStateRunOfAModelWithoutSteadyStateVariablesIsRefused) {
  const std::string base = TempFile("gpusim_steady");
  pid_t pid = StartGpusim({"-t", "0", "-N", "2"}, base + ".out", base + ".err");
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadAll(base + ".err").find("ERROR: A steady-state simulation (-t 0) needs at least one steady-state"),
            std::string::npos);
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
}
