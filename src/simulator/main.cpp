// Entry point: builds the simulator from the command line, runs it once and
// tears it down. Start-up errors end the process with status 1 from inside
// the constructor; a run that lost results (a results file that could not be
// written) ends with the simulator's ExitStatus and no good-exit line.
#include <iostream>

#include "simulator/SimulatorClass.h"

int main(int argc, char** argv) {
  int status = 0;
  {
    SimulatorClass simulator(argc, argv);
    std::cout << "SIMULATOR::Preparing to run()" << std::endl;
    simulator.Run();
    status = simulator.ExitStatus;
    if (status == 0) {
      std::cout << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
      std::cerr << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
    }
  }
  return status;
}
