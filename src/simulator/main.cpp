// Entry point: answers --help and --version, otherwise builds the simulator
// from the command line, runs it once and tears it down. Start-up errors end
// the process with status 1 from inside the constructor; a run that failed
// (results that could not be written, a manager that vanished, a closed
// standard output) ends with the simulator's ExitStatus and no good-exit line.
#include <csignal>
#include <cstring>
#include <memory>
#include <iostream>

#include "Cpp/BaseClasses/ErrorFunctions.h"
#include "cli/ProgramInfo.h"
#include "interpret/InterpretedStudy.h"
#include "simulator/HeapHugePages.h"
#include "simulator/SimulatorClass.h"
#include "simulator/StopSignals.h"

namespace {

// Written for a reader at the terminal (and for the manual page made from
// it); the terse list that follows a command-line error stays as it is.
const char kHelp[] =
    "Usage: gpusim [--model FILE] [options]\n"
    "       gpusim --check FILE\n"
    "Simulates the model compiled into this executable (for gpusim, the built-in\n"
    "GPU model; for a simulator built with gpusim_add_model, its model file), or\n"
    "the model in FILE: independent replications (terminating) or one long run\n"
    "cut into batches (steady state), with one observation per reward variable\n"
    "per replication or batch, written to results files or sent to a simulation\n"
    "manager.\n"
    "\n"
    "Options:\n"
    "  --model FILE  simulate the model written in FILE (the modelling language)\n"
    "                instead of the built-in GPU model\n"
    "  --check FILE  check the model in FILE and report every problem; nothing\n"
    "                is simulated (status 0: sound, 1: problems found)\n"
    "  --metadata    print, after a line '# gpusim-metadata', the metadata this\n"
    "                run would write beside its results files (model, experiment,\n"
    "                globals, options, reward variables) and exit; nothing is\n"
    "                simulated and no file is written\n"
    "  -a NAME     write the ASCII results file NAME, and its metadata NAME.meta\n"
    "  -b NAME     write the binary results file NAME, and its metadata NAME.meta\n"
    "  -c NUM      client identification number sent to the manager (default 0)\n"
    "  -e NUM      experiment to run, 'Experiment 1' is 0 (default 0)\n"
    "  -f NAME     base name of the trace files NAME.txt, NAME.xml (default: standard\n"
    "              output)\n"
    "  -l NUM      trace level 1 to 4; 0 or less: no firing lines (default 1)\n"
    "  -m          plain-text trace\n"
    "  -x          XML trace of the first replication\n"
    "  -n NUM      observations per report, at least 1 (default 1000)\n"
    "  -N NUM      stop after NUM replications or batches; 0 or less: no limit\n"
    "  -O STRING   override global variables, type:name:value triples joined by ':',\n"
    "              e.g. s:size:20\n"
    "  -p NUM      port of the simulation manager server (default 10000)\n"
    "  -i ADDRESS  numeric IPv4 address the simulation manager server listens on\n"
    "              (default: every interface; 127.0.0.1 keeps it to this machine)\n"
    "  -r NUM      generator: 0 lagged Fibonacci (default), 1 Tausworthe, 2 Mersenne\n"
    "              Twister\n"
    "  -s NUM      seed; 0 means 31415 (default 31415)\n"
    "  -t NUM      1 terminating simulation (default), 0 steady state\n"
    "  -w          wait up to 60 s for the simulation manager before simulating\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "\n"
    "Environment:\n"
    "  GPUSIM_PROGRESS  0 (or off, no, false) turns off the progress line that a\n"
    "                   run shows while the error stream is a terminal\n"
    "  SIMTEST          how the activities to re-examine after a firing are found:\n"
    "                   unset or 2 (default), 0 or 1 (older methods)\n"
    "\n"
    "Exit status: 0 after a complete run; 1 on a command-line or start-up error, or\n"
    "when results could not be written.\n"
    "\n"
    "Example: gpusim -N 10000 -a run.txt -b run.bin -s 7\n"
    "         gpusim --model models/mm1k.san -t 0 -N 100 -a mm1k.txt\n";

// gpusim --check FILE: the checker's verdict alone.
int CheckModelFile(const char* path) {
  std::unique_ptr<saninterp::InterpretedStudy> study = saninterp::LoadStudy(path, std::cerr);
  if (!study) return 1;
  std::cout << path << ": the model is sound (" << study->Model().Experiments.size() << " experiment(s), "
            << study->Model().Rewards.size() << " reward variable(s))" << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerInfoRequest(argc, argv, std::cout, "gpusim", kHelp)) return 0;
  if (argc >= 2 && std::strcmp(argv[1], "--check") == 0) {
    if (argc != 3) {
      std::cerr << "ERROR: --check takes one model file and no other option" << std::endl;
      return 1;
    }
    return CheckModelFile(argv[2]);
  }
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
    const HeapHugePages heap;
    SimulatorClass simulator(argc, argv);
    heap.Advise();
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
