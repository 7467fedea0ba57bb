#include "simulator/SimulatorClass.h"

#include <cstdlib>

#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "random/UserDistributions.h"

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
  // NumPVs is taken from the reward model once the study exists.
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
  // The ASCII and binary results files join here with their formats.
}

void SimulatorClass::CreateTraces() {
  // The trace container and the trace files join here with the trace
  // formats.
}

void SimulatorClass::BuildStudyAndRewardModel() {
  // Study construction joins here once the study base exists:
  // GenerateStudy, SetGVs(Experiment), the override string, and the reward
  // model from GetPVModel(true) handed to the traces before printHeader.
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
  // Waiting for the simulation manager (-w) joins here with the protocol;
  // when no manager connects, RunState becomes 2 and no loop runs.
  // The terminating and steady-state loops join here:
  // IsTerminating ? TerminatingSimulation() : SteadyStateSimulation().
  // Rewriting the binary file's header and closing it join here with the
  // binary results file; printFooter with the traces.
  std::cout << "Actions fired: " << ActionsFired << std::endl;
  std::cout << "CPU time (s): " << SecondsSince(StartClock) << std::endl;
}

SimulatorClass::~SimulatorClass() {
  // Releasing the group and action lists, the event list, the schedule
  // entries, the sockets and the trace container joins here with them.
  if (AsciiFile) {
    *AsciiFile << "#META_DATA," << "BATCHES=" << Batches << "\n";
    AsciiFile->close();
    AsciiFile.reset();
  }
  // Rewriting a still-open binary file's header, draining the packet queues,
  // releasing the packets, EnabledGroups and the affects lists, and
  // DestructStudy join here with their owners.
}
