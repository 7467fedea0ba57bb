// Entry point: builds the simulator from the command line, runs it once and
// tears it down. Start-up errors end the process with status 1 from inside
// the constructor.
#include <iostream>

#include "simulator/SimulatorClass.h"

int main(int argc, char** argv) {
  {
    SimulatorClass simulator(argc, argv);
    std::cout << "SIMULATOR::Preparing to run()" << std::endl;
    simulator.Run();
    std::cout << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
    std::cerr << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
  }
  return 0;
}
