// Entry point: builds the simulator from the command line, runs it once and
// tears it down. Start-up errors end the process with status 1 from inside
// the constructor; a run that failed (results that could not be written, a
// manager that vanished, a closed standard output) ends with the simulator's
// ExitStatus and no good-exit line.
#include <csignal>
#include <iostream>

#include "Cpp/BaseClasses/ErrorFunctions.h"
#include "simulator/SimulatorClass.h"
#include "simulator/StopSignals.h"

int main(int argc, char** argv) {
  // Running out of memory anywhere ends the run with the fixed message and status 1.
  InstallMemoryAllocationHandler();
  // A closed standard output or connection fails the write instead of killing
  // the process, so the files can still be finished.
  std::signal(SIGPIPE, SIG_IGN);
  // In place before anything can block: opening the outputs, the wait for
  // the manager, the run.
  StopSignals stopSignals;
  int status = 0;
  {
    SimulatorClass simulator(argc, argv);
    std::cout << "SIMULATOR::Preparing to run()" << std::endl;
    simulator.Run();
    simulator.CheckStreams();
    status = simulator.ExitStatus;
    if (status == 0) {
      std::cout << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
      std::cerr << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
    }
  }
  return status;
}
