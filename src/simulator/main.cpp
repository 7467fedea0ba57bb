// Entry point: builds the simulator from the command line, runs it once and
// tears it down. Start-up errors end the process with status 1 from inside
// the constructor; a run that lost results (a results file that could not be
// written) ends with the simulator's ExitStatus and no good-exit line.
#include <iostream>

#include "Cpp/BaseClasses/ErrorFunctions.h"
#include "simulator/SimulatorClass.h"

int main(int argc, char** argv) {
  // Running out of memory anywhere ends the run with the fixed message and status 1.
  InstallMemoryAllocationHandler();
  int status = 0;
  {
    SimulatorClass simulator(argc, argv);
    std::cout << "SIMULATOR::Preparing to run()" << std::endl;
    simulator.Run();
    // A run that lost its results (ExitStatus set) does not claim success.
    status = simulator.ExitStatus;
    if (status == 0) {
      std::cout << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
      std::cerr << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
    }
  }
  return status;
}
