// The two simulation loops: independent replications up to the horizon
// (terminating), and one trajectory cut into batches per steady-state
// variable. Both hand their observations to the output side in reports.
#include "simulator/SimulatorClass.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseModelClass.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/InitialState.h"
#include "simulator/ModelFault.h"
#include "simulator/StopSignals.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <vector>

namespace {

double ClockNow() { return static_cast<double>(std::clock()); }

}  // namespace

bool SimulatorClass::ProgressWanted() const {
  // A trace written to the same terminal would be torn apart by the line.
  const bool traceOnTerminal = TraceEnabled && TraceFileName.empty() && isatty(STDOUT_FILENO) == 1;
  return ProgressMeter::WantedOnStandardError() && !traceOnTerminal;
}

bool SimulatorClass::StopRequested() { return StopSignals::Requested(); }

void SimulatorClass::RequestStop() { StopSignals::Request(); }

// ---------------------------------------------------------------------------
// Terminating simulation
// ---------------------------------------------------------------------------

void SimulatorClass::TerminatingSimulation() {
  ScratchEvent.reset(new Event());
  PlaceholderAction.reset(new BaseActionClass());
  InitialState initialState(RewardModel);
  if (GlobalDebugLevel > 3) {
    const std::vector<char>& bytes = initialState.Bytes();
    for (size_t i = 0; i < bytes.size(); ++i)
      std::printf("OriginalState[%d] = %d\n", static_cast<int>(i), static_cast<signed char>(bytes[i]));
    std::fflush(stdout);
  }
  // A report must hold at least one observation per variable.
  ReportSize = std::max(ReportSize, 1);
  const int reportSize = ReportSize;
  GenerateInitialEnabledList();
  StartClock = ClockNow();
  ValuePacket = CreateDataPacket(NumPVs);
  SquarePacket = CreateDataPacket(NumPVs);
  Trace->newBatch();

  StopSignals signals;
  Progress.Start("replications", MaxBatches, ProgressWanted());
  int k = 0;
  while (RunState == 0) {
    Now = 0;
    if (TraceEnabled) Trace->printInitialState();
    Events->ClearEventList();
    ClearReactivationList();
    if (GenerateCompleteEventList() != 0) {
      std::cerr << "ERROR: unable to generate event list\n" << std::flush;
      std::exit(1);
    }
    LastFired = PlaceholderAction.get();
    const double horizon = RewardModel->Horizon;
    NextEvent = Events->Earliest();
    if (NextEvent != nullptr) {
      Now = NextEvent->Time;
      CurrentGroup = NextEvent->Action;
      StepUntil(horizon);
    }
    Trace->newBatch();
    if (ModelFault::Raised()) {
      HandOverAfterModelFault(k);
      break;
    }
    RewardModel->EndAccumulate(horizon);

    for (int i = 0; i < NumPVs; ++i) {
      ValuePacket->Value(i, k) = PVs[i]->Value;
      SquarePacket->Value(i, k) = PVs[i]->SquaredValue;
    }
    ++k;
    ++Batches;
    Progress.Count(Batches);
    const bool last = (MaxBatches > 0 && Batches >= MaxBatches) || StopRequested();
    if (last) RunState = 1;
    if (last || k == reportSize) {
      SetReplicationCounts(k);
      CPUTime = (ClockNow() - StartClock) / CLOCKS_PER_SEC;
      CheckReportSize(CPUTime);
      k = 0;
    }
    initialState.Restore();
    RewardModel->PVReset();
  }
  Progress.Finish(Batches);
  ScratchEvent.reset();
  PlaceholderAction.reset();
}

// A report of k replications holds k observations of every variable the
// run observes and none of the others (a steady-state variable in a
// terminating run), as a steady-state run records none of a terminating
// variable.
void SimulatorClass::SetReplicationCounts(int k) {
  for (int i = 0; i < NumPVs; ++i) {
    const int n = Observed.empty() || Observed[static_cast<std::size_t>(i)] ? k : 0;
    ValuePacket->Counts[static_cast<std::size_t>(i)] = n;
    SquarePacket->Counts[static_cast<std::size_t>(i)] = n;
  }
}

// The replication a fault interrupted is not an observation: the k
// replications before it are handed over as the last report, and the run
// ends as failed.
void SimulatorClass::HandOverAfterModelFault(int k) {
  RunState = 1;
  ExitStatus = 1;
  if (k == 0) return;
  SetReplicationCounts(k);
  CPUTime = (ClockNow() - StartClock) / CLOCKS_PER_SEC;
  CheckReportSize(CPUTime);
}

// ---------------------------------------------------------------------------
// Steady-state simulation
// ---------------------------------------------------------------------------

void SimulatorClass::SteadyStateSimulation() {
  ScratchEvent.reset(new Event());
  PlaceholderAction.reset(new BaseActionClass());
  ReportSize = std::max(ReportSize, 1);
  std::vector<int> valueCounts(static_cast<size_t>(NumPVs), 0);
  std::vector<int> squareCounts(static_cast<size_t>(NumPVs), 0);

  Now = 0;
  GenerateInitialEnabledList();
  if (GenerateCompleteEventListSS() != 0) std::cerr << "ERROR: unable to generate event list\n" << std::flush;
  LastFired = PlaceholderAction.get();

  int numSteadyState = 0;
  for (int i = 0; i < NumPVs; ++i)
    if (PVs[i]->IsSteadyState == 1) ++numSteadyState;
  BatchEnds.reset(new Heap<double>(numSteadyState));
  BatchCounts.reset(new Heap<int>(numSteadyState));
  // A window that starts later than 0 is preceded by a warm-up, counted as
  // batch -1, from which nothing is recorded.
  for (int i = 0; i < NumPVs; ++i) {
    PerformanceVariableNode* v = PVs[i];
    if (v->IsSteadyState != 1) continue;
    if (v->StartTime == 0) {
      BatchEnds->Insert(v->StopTime, i);
      BatchCounts->Insert(0, i);
    } else {
      BatchEnds->Insert(v->StartTime, i);
      BatchCounts->Insert(-1, i);
    }
  }
  Trace->newBatch();
  if (TraceEnabled) Trace->printInitialState();
  ValuePacket = CreateDataPacket(NumPVs);
  SquarePacket = CreateDataPacket(NumPVs);
  StartClock = ClockNow();

  NextEvent = Events->Earliest();
  if (NextEvent == nullptr) {
    if (RunState == 0) RunState = 1;  // a stopped run stays stopped
  } else {
    Now = NextEvent->Time;
    CurrentGroup = NextEvent->Action;
  }

  StopSignals signals;
  Progress.Start("batches", MaxBatches, ProgressWanted());
  while (RunState == 0) {
    CheckCompletedBatches(PVs, valueCounts.data(), squareCounts.data());
    if ((MaxBatches > 0 && BatchCounts->MinKey() >= MaxBatches) || StopRequested()) RunState = 1;
    if (!SimStepSS()) {
      RunState = 1;
      if (ModelFault::Raised()) {
        ExitStatus = 1;
        break;
      }
      std::cout << "Simulator encountered an absorbing state and is unable to proceed.  Terminating run."
                << std::endl;
    }
  }
  SendSSResults(valueCounts.data(), squareCounts.data());
  Progress.Finish(numSteadyState > 0 ? std::max(BatchCounts->MinKey(), 0) : 0);

  BatchEnds.reset();
  BatchCounts.reset();
  ScratchEvent.reset();
  PlaceholderAction.reset();
}

void SimulatorClass::CheckCompletedBatches(PerformanceVariableNode** pvs, int* valueCounts, int* squareCounts) {
  while (Now >= BatchEnds->MinKey()) {
    const int a = BatchEnds->MinId();
    PerformanceVariableNode* v = pvs[a];
    if (BatchCounts->KeyOf(a) != -1) {
      // One time unit past the window end, so that the variable's own test
      // (time > StopTime) completes and totals the batch.
      v->Accumulate(v->StopTime + 1.0, BaseModelClass::LastActionTime, RewardModel->LastFiredAction);
      if (valueCounts[a] >= ReportSize) SendSSResults(valueCounts, squareCounts);
      if (valueCounts[a] < ReportSize) {
        ValuePacket->Value(a, valueCounts[a]++) = v->Value;
        SquarePacket->Value(a, squareCounts[a]++) = v->SquaredValue;
        // The run's batch count is that of the variable with the most
        // batches recorded, the count its results files carry.
        Batches = std::max<std::int64_t>(Batches, BatchCounts->KeyOf(a) + 1);
      }
      v->Reset();
    }
    BatchEnds->ChangeKey(a, v->StopTime);
    BatchCounts->ChangeKey(a, BatchCounts->KeyOf(a) + 1);
    Trace->newBatch();
    // The run's progress is that of its slowest variable, as for -N; a
    // warm-up counts as batch -1.
    Progress.Count(std::max(BatchCounts->MinKey(), 0));
  }
}

void SimulatorClass::SendSSResults(int* valueCounts, int* squareCounts) {
  const bool stopped = RunState == 2;
  if (stopped && std::all_of(valueCounts, valueCounts + NumPVs, [](int count) { return count == 0; })) return;
  std::copy(valueCounts, valueCounts + NumPVs, ValuePacket->Counts.begin());
  std::copy(squareCounts, squareCounts + NumPVs, SquarePacket->Counts.begin());
  std::fill(valueCounts, valueCounts + NumPVs, 0);
  std::fill(squareCounts, squareCounts + NumPVs, 0);
  CPUTime = (ClockNow() - StartClock) / CLOCKS_PER_SEC;
  if (!stopped) {
    CheckReportSize(CPUTime);
    return;
  }
  // A stopped run polls no manager, but the batches it has recorded are
  // counted in the files' batch count: they go out with whatever is still
  // held back, to the files once the manager is gone.
  FullPackets->Push(std::move(ValuePacket));
  FullPackets->Push(std::move(SquarePacket));
  ValuePacket = CreateDataPacket(NumPVs);
  SquarePacket = CreateDataPacket(NumPVs);
  HandOverHeldReports();
}
