#include "simulator/SimulatorClass.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "generated/GPU_COMPOSED_STUDYSetStudy.h"
#include "output/QuelixSocket.h"
#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "random/UserDistributions.h"
#include "rewards/PVModel.h"

int GlobalDebugLevel = 0;

namespace {
constexpr unsigned int kDefaultSeed = 31415;
}  // namespace

std::string to_string(RandomNumberGeneratorType type) {
  switch (type) {
    case RandomNumberGeneratorType::LaggedFibonacci:
      return "Lagged Fibonacci";
    case RandomNumberGeneratorType::Tausworthe:
      return "Tausworthe";
    case RandomNumberGeneratorType::MersenneTwister:
      return "Mersenne Twister";
  }
  return "Unknown";
}

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
  // The group and action lists and the packet queues join here with the
  // containers and the output side.
  InstallDistributions();
  ParseOrExit(argc, argv);
  OpenResultsFiles();
  CreateTraces();
  BuildStudyAndRewardModel();
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
  // The ASCII results file joins here with its format.
  if (!BinaryFileName.empty()) {
    BinaryFile = CreateBinFile(BinaryFileName);
    // A run whose results cannot be kept is not started.
    if (!BinaryFile->is_open()) {
      std::cerr << "ERROR: Cannot open the binary results file '" << BinaryFileName
                << "': " << std::strerror(errno) << std::endl;
      std::exit(1);
    }
  }
}

void SimulatorClass::CreateTraces() {
  // The trace container and the trace files join here with the trace
  // formats.
}

void SimulatorClass::BuildStudyAndRewardModel() {
  Study = GenerateStudy();
  Study->SetGVs(static_cast<int>(Experiment));
  if (!OverrideString.empty()) {
    Study->overrideGVs(OverrideString.c_str());
    *Out << "Overriding global variables in simulator" << std::endl;
  }
  RewardModel = Study->GetPVModel(true);
  PVs = RewardModel->GetPVList();
  // Handing the reward model to the traces before printHeader joins here
  // with the trace container.
}

void SimulatorClass::SelectPerformanceVariables() {
  // Keeping only the variables of the selected simulation type joins here
  // with the reward model.
}

void SimulatorClass::ListGroups() {
  // Listing the groups and creating their schedule entries joins here with
  // the reward model and the event list.
}

void SimulatorClass::BuildAffectsRelation() {
  const double start = static_cast<double>(std::clock());
  // The affects-relation builder chosen by SIMTEST joins here with the step.
  std::cout << "GenerateConnectivityList() Time=" << SecondsSince(start) << std::endl;
}

void SimulatorClass::CreateEventList() {
  // The event list (one slot per group, plus one) joins here.
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
  // Listing the actions and clearing their reactivation flags joins here
  // with the reward model.
}

void SimulatorClass::SeedGenerator() {
  TheDistribution->getGenerator()->srnd(Seed != 0 ? Seed : kDefaultSeed);
}

void SimulatorClass::Run() {
  if (WaitForConnection) {
    SimMgrSocket = WaitForSimMgrConnection(60000);
    if (SimMgrSocket == nullptr) RunState = 2;
  }
  // The terminating and steady-state loops join here:
  // IsTerminating ? TerminatingSimulation() : SteadyStateSimulation().
  if (BinaryFile) {
    CloseBinFile(*BinaryFile);
    BinaryFile.reset();
  }
  // printFooter joins here with the traces.
  std::cout << "Actions fired: " << ActionsFired << std::endl;
  std::cout << "CPU time (s): " << SecondsSince(StartClock) << std::endl;
}

SimulatorClass::~SimulatorClass() {
  // Releasing the group and action lists, the event list, the schedule
  // entries and the trace container joins here with them.
  delete SimMgrSocket;
  SimMgrSocket = nullptr;
  delete ListenSocket;
  ListenSocket = nullptr;
  if (AsciiFile) {
    *AsciiFile << "#META_DATA," << "BATCHES=" << Batches << "\n";
    AsciiFile->close();
    AsciiFile.reset();
  }
  if (BinaryFile) {
    CloseBinFile(*BinaryFile);
    BinaryFile.reset();
  }
  // Draining the packet queues, releasing the packets, EnabledGroups and the
  // affects lists join here with their owners, before the study goes.
  DestructStudy();
  Study = nullptr;
  RewardModel = nullptr;
  PVs = nullptr;
}
