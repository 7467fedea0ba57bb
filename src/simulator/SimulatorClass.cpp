#include "simulator/SimulatorClass.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseGroupClass.h"
#include "Cpp/BaseClasses/List.h"
#include "interpret/InterpretedStudy.h"
#include "output/QuelixSocket.h"
#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "random/UserDistributions.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/CompiledModel.h"

int GlobalDebugLevel = 0;

namespace {
constexpr unsigned int kDefaultSeed = 31415;
}  // namespace

double SimulatorClass::SecondsSince(double start) {
  return (static_cast<double>(std::clock()) - start) / CLOCKS_PER_SEC;
}

SimulatorClass::SimulatorClass() {
  std::cerr << "ERROR: The simulator needs a command line" << std::endl;
  std::exit(1);
}

SimulatorClass::SimulatorClass(std::ostream& out, std::ostream& err) : Out(&out), Err(&err) {}

SimulatorClass::SimulatorClass(int argc, char** argv) {
  StartClock = static_cast<double>(std::clock());
  InstallDistributions();
  ParseOrExit(argc, argv);
  ApplyPeerTestSettings(std::getenv("GPUSIM_PEER_WAIT_MS"), std::getenv("GPUSIM_SEND_BUFFER_BYTES"));
  RefuseSharedOutputs();
  // The model is built before any file is created: an override or a model
  // parameter that ends the run at start-up leaves no empty results behind.
  BuildStudyAndRewardModel();
  RunMetadata = DescribeRun();
  if (PrintMetadataOnly) {
    // Marked, so that a reader of the whole output finds where it starts.
    std::cout << "# gpusim-metadata\n" << RunMetadata.Text() << std::flush;
    std::exit(0);
  }
  OpenResultsFiles();
  CreateTraces();
  AttachRewardModelToTraces();
  SelectPerformanceVariables();
  ListGroups();
  BuildAffectsRelation();
  CreateEventList();
  InstallGenerator();
  ListActions();
  SeedGenerator();
  NumPVs = RewardModel->GetNumPVs();
}

void SimulatorClass::InstallDistributions() {
  // Normally the static TheGenerator is already in place; this covers a
  // caller that replaced or emptied it.
  if (TheDistribution == nullptr || TheDistribution->getGenerator() == nullptr) {
    TheDistribution = new UserDistributions(0, kDefaultSeed);
  }
}

void SimulatorClass::ParseOrExit(int argc, char** argv) {
  if (ParseCommandLineOptions(argc, argv) != 0) {
    PrintUsage();
    *Err << "ERROR: Parsing command line options" << std::endl;
    std::exit(1);
  }
}

void SimulatorClass::OpenResultsFiles() {
  if (!AsciiFileName.empty()) {
    AsciiFile = CreateAsciiFile(AsciiFileName);
    WriteCompanion(AsciiFileName);
  }
  if (!BinaryFileName.empty()) {
    BinaryFile = CreateBinFile(BinaryFileName);
    // A run whose results cannot be kept is not started.
    if (!BinaryFile->is_open()) {
      std::cerr << "ERROR: Cannot open the binary results file '" << BinaryFileName
                << "': " << std::strerror(errno) << std::endl;
      std::exit(1);
    }
    WriteCompanion(BinaryFileName);
  }
}

void SimulatorClass::AttachRewardModelToTraces() {
  if (QuelixTrace || XMLTrace) Trace->addPVModel(RewardModel);
  Trace->printHeader();
}

void SimulatorClass::BuildStudyAndRewardModel() {
  Study = ModelFile.empty() ? GenerateStudy() : LoadModelFileOrExit();
  Study->SetGVs(static_cast<int>(Experiment));
  if (!OverrideString.empty()) {
    std::string error;
    if (!Study->overrideGVs(OverrideString.c_str(), &error)) {
      std::cout << std::flush;
      std::cerr << "ERROR: Cannot apply -O " << OverrideString << ": " << error << std::endl;
      std::exit(1);
    }
    *Out << "Overriding global variables in simulator" << std::endl;
  }
  RewardModel = Study->GetPVModel(true);
  PVs = RewardModel->GetPVList();
}

// A model file that the checker refuses ends the run before anything is
// created, with every problem reported.
BaseStudyClass* SimulatorClass::LoadModelFileOrExit() {
  std::cout << std::flush;
  std::unique_ptr<saninterp::InterpretedStudy> study = saninterp::LoadStudy(ModelFile, std::cerr);
  if (!study) {
    std::cerr << "ERROR: Cannot simulate the model file '" << ModelFile << "'" << std::endl;
    std::exit(1);
  }
  return study.release();
}

// Keeps the variables of the selected simulation type; the others are never
// completed. A steady-state run needs at least one steady-state variable
// with a window of positive length: without one there is no batch to close.
void SimulatorClass::SelectPerformanceVariables() {
  if (RewardModel == nullptr) return;
  PVs = RewardModel->GetPVList();
  NumPVs = RewardModel->GetNumPVs();
  const int wanted = IsTerminating != 0 ? 0 : 1;
  std::vector<int> selected;
  Observed.assign(static_cast<std::size_t>(NumPVs), false);
  for (int i = 0; i < NumPVs; ++i) {
    if (PVs[i]->IsSteadyState == wanted) {
      selected.push_back(i);
      Observed[static_cast<std::size_t>(i)] = true;
    } else {
      PVs[i]->StopTime = std::numeric_limits<double>::max();
    }
  }
  if (IsTerminating == 0) {
    RefuseUnusableSteadyStateRun(selected);
  } else {
    RefuseUnusableTerminatingRun(selected);
  }
  RewardModel->ConsiderOnly(selected.data(), static_cast<int>(selected.size()));
}

void SimulatorClass::RefuseUnusableSteadyStateRun(const std::vector<int>& steadyState) {
  if (steadyState.empty()) {
    std::cout << std::flush;
    std::cerr << "ERROR: A steady-state simulation (-t 0) needs at least one steady-state performance "
                 "variable, and this model has none"
              << std::endl;
    std::exit(1);
  }
  for (int i : steadyState) {
    if (!(PVs[i]->StopTime > PVs[i]->StartTime)) {
      std::cout << std::flush;
      std::cerr << "ERROR: Steady-state performance variable '" << PVs[i]->Name
                << "' has a batch interval of no length" << std::endl;
      std::exit(1);
    }
  }
}

// A replication ends at the horizon of the variables it observes: a
// steady-state variable's later window must not lengthen every replication.
void SimulatorClass::RefuseUnusableTerminatingRun(const std::vector<int>& terminating) {
  if (terminating.empty()) {
    std::cout << std::flush;
    std::cerr << "ERROR: A terminating simulation (-t 1) needs at least one instant-of-time or interval-of-time "
                 "performance variable, and this model has none"
              << std::endl;
    std::exit(1);
  }
  double horizon = PVs[terminating[0]]->StopTime;
  for (int i : terminating) horizon = std::max(horizon, PVs[i]->StopTime);
  RewardModel->Horizon = horizon;
}

void SimulatorClass::ListGroups() {
  if (RewardModel == nullptr) return;
  if (GroupList == nullptr) GroupList = new List<BaseGroupClass>();
  RewardModel->listGroups(GroupList);
  Groups = GroupList->getList();
  NumGroups = GroupList->getNumItems();
  WatchNodes.assign(static_cast<size_t>(NumGroups), WatchNode());
  AnyInstantaneousGroup = false;
  for (int i = 0; i < NumGroups; ++i) {
    ScheduleEntry* entry = &Groups[i]->ScheduleRoom;
    *entry = ScheduleEntry();
    Groups[i]->ScheduleRecord = entry;
    entry->Watch = i;
    entry->Instantaneous = Groups[i]->TimingIsInstantaneous();
    AnyInstantaneousGroup = AnyInstantaneousGroup || entry->Instantaneous;
    const short* required = Groups[i]->EnablingIsPure() ? Groups[i]->RequiredMarking() : nullptr;
    if (required != nullptr) {
      entry->Required = required;
      entry->RequiredDecides = Groups[i]->EnablingIsRequiredMarking();
    }
  }
}

void SimulatorClass::BuildAffectsRelation() {
  const double start = static_cast<double>(std::clock());
  if (RewardModel != nullptr && BuildConnectivityListFor(std::getenv("SIMTEST")) != 0) {
    std::cerr << "Error Generating Connectivity List\n" << std::flush;
    std::exit(1);
  }
  std::cout << "GenerateConnectivityList() Time=" << SecondsSince(start) << std::endl;
}

void SimulatorClass::CreateEventList() {
  Events.reset(new EventList(NumGroups + 1));
  // In a larger model a group's own event is a line of its own, cold by the
  // time the group is scheduled again, where a spare just freed is still in
  // the cache: only models whose events fit in the first-level cache with
  // room to spare (256 of 32 bytes) lend their groups their events.
  constexpr int kLendingUpToGroups = 256;
  if (NumGroups <= kLendingUpToGroups) Events->LendEvents(Groups, NumGroups);
  Events->LearnGroupLines(Groups, NumGroups);
}

void SimulatorClass::InstallGenerator() {
  switch (static_cast<RandomNumberGeneratorType>(RNGType)) {
    case RandomNumberGeneratorType::Tausworthe:
      TheDistribution->setGenerator(new Tausworthe());
      break;
    case RandomNumberGeneratorType::MersenneTwister:
      TheDistribution->setGenerator(new MersenneTwister());
      break;
    default:
      break;  // keep the lagged Fibonacci generator
  }
}

void SimulatorClass::ListActions() {
  if (RewardModel == nullptr) return;
  if (ActionList == nullptr) ActionList = new List<BaseActionClass>();
  RewardModel->listActions(ActionList);
  ActionArray = ActionList->getList();
  NumActions = ActionList->getNumItems();
  for (int i = 0; i < NumActions; ++i) ActionArray[i]->Reactivation = false;
}

void SimulatorClass::SeedGenerator() {
  TheDistribution->getGenerator()->srnd(Seed != 0 ? Seed : kDefaultSeed);
}

void SimulatorClass::Run() {
  if (WaitForConnection) ConnectToSimMgr();
  // Without a reward model (no study built) there is nothing to simulate.
  if (RewardModel != nullptr) {
    if (IsTerminating != 0) {
      TerminatingSimulation();
    } else {
      SteadyStateSimulation();
    }
  }
  HandOverHeldReports();
  if (BinaryFile) {
    CloseBinFile(*BinaryFile);
    BinaryFile.reset();
  }
  Trace->printFooter();
  CheckStreams();
  // The ASCII trailer is written now rather than at destruction, so that a
  // failed write still reaches ExitStatus; the batch count is final here.
  CloseAsciiFileChecked();
  std::cout << "Actions fired: " << ActionsFired << std::endl;
  std::cout << "CPU time (s): " << SecondsSince(StartClock) << std::endl;
}

SimulatorClass::~SimulatorClass() {
  Events.reset();
  delete SimMgrSocket;
  SimMgrSocket = nullptr;
  delete RetiredSimMgrSocket;
  RetiredSimMgrSocket = nullptr;
  delete ListenSocket;
  ListenSocket = nullptr;
  Trace.reset();
  QuelixTraceFile.reset();
  XMLTraceFile.reset();
  CloseAsciiFileChecked();
  if (BinaryFile) {
    CloseBinFile(*BinaryFile);
    BinaryFile.reset();
  }
  FullPackets.reset();
  FreePackets.reset();
  ValuePacket.reset();
  SquarePacket.reset();
  EnabledGroups.clear();
  DestructConnectivityList();
  delete GroupList;
  GroupList = nullptr;
  delete ActionList;
  ActionList = nullptr;
  // The affects lists are gone before the study, and with it the model.
  if (OwnsRewardModel && Study != nullptr) {
    if (ModelFile.empty()) {
      DestructStudy();
    } else {
      delete Study;
    }
    Study = nullptr;
    RewardModel = nullptr;
    PVs = nullptr;
  }
}

void SimulatorClass::CloseAsciiFileChecked() {
  if (!AsciiFile) return;
  errno = 0;
  CloseAsciiFile(*AsciiFile);
  if (AsciiFile->fail()) {
    ReportResultsFileFailure(AsciiFile, "ASCII", AsciiFileName);
    return;
  }
  AsciiFile.reset();
}
