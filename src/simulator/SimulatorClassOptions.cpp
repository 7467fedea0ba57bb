#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

#include "simulator/SimulatorClass.h"

namespace {

// Numbers are read the way atoi reads them (no validation; text that is not
// a number gives 0), but a value beyond the int range wraps to 32 bits
// instead of being undefined.
int ParseNumber(const char* text) {
  return static_cast<int>(static_cast<unsigned int>(std::strtoll(text, nullptr, 10)));
}

// The listening address must be a dotted IPv4 address: a host name would
// need a resolver at start-up, and a typo must not widen what listens.
bool IsNumericIPv4(const char* text) {
  in_addr parsed{};
  return ::inet_pton(AF_INET, text, &parsed) == 1;
}

}  // namespace

short SimulatorClass::ParseCommandLineOptions(int argc, char** argv) {
  ReportSize = 1000;
  MaxBatches = 0;
  if (argc <= 1) {
    *Err << "ERROR: No command line options specified" << std::endl;
    return 1;
  }

  bool traceFileOrLevelGiven = false;
  for (int i = 1; i < argc; i++) {
    const char* argument = argv[i];
    const size_t length = std::strlen(argument);
    if (length > static_cast<size_t>(kMaxArgumentLength)) {
      *Err << "ERROR: Command Line Argument Too Long, Limited to " << kMaxArgumentLength
           << " Characters" << std::endl;
      return 1;
    }
    if (argument[0] != '-') continue;

    const char letter = argument[1];
    const char* parameter = nullptr;
    if (length == 2) {
      if (i + 1 < argc && argv[i + 1][0] != '-') parameter = argv[++i];
    } else if (length > 2) {
      parameter = argument + 2;
    }

    // Options that need a parameter report its absence the same way.
    auto missing = [&]() {
      *Err << "Expect a parameter after '-" << letter << "'" << std::endl;
      return static_cast<short>(1);
    };
    // Flag options refuse one.
    auto unexpected = [&]() {
      *Err << "Did not expect a parameter after '-" << letter << "'" << std::endl;
      return static_cast<short>(1);
    };

    switch (letter) {
      case 'a':
        if (!parameter) return missing();
        AsciiFileName = parameter;
        *Out << "ASCIIFilename: " << AsciiFileName << std::endl;
        break;
      case 'b':
        if (!parameter) return missing();
        BinaryFileName = parameter;
        *Out << "BinFilename: " << BinaryFileName << std::endl;
        break;
      case 'c':
        if (!parameter) return missing();
        ClientId = ParseNumber(parameter);
        *Out << "ClientID: " << ClientId << std::endl;
        break;
      case 'e':
        if (!parameter) return missing();
        Experiment = static_cast<unsigned int>(ParseNumber(parameter));
        *Out << "Experiment: " << Experiment << std::endl;
        break;
      case 'f':
        if (!parameter) return missing();
        TraceFileName = parameter;
        traceFileOrLevelGiven = true;
        *Out << "TraceFile: " << TraceFileName << std::endl;
        break;
      case 'i':
        if (!parameter) return missing();
        if (!IsNumericIPv4(parameter)) {
          *Err << "ERROR: Listen address (-i) must be a numeric IPv4 address, got '" << parameter << "'"
               << std::endl;
          return 1;
        }
        ListenAddress = parameter;
        *Out << "Listen Address: " << ListenAddress << std::endl;
        break;
      case 'l':
        if (!parameter) return missing();
        RequestedTraceLevel = ParseNumber(parameter);
        traceFileOrLevelGiven = true;
        *Out << "TraceLevel: " << RequestedTraceLevel << std::endl;
        break;
      case 'm':
        if (parameter) return unexpected();
        QuelixTrace = true;
        break;
      case 'n':
        if (!parameter) return missing();
        ReportSize = ParseNumber(parameter);
        *Out << "ReportSize: " << ReportSize << std::endl;
        break;
      case 'N':
        if (!parameter) return missing();
        MaxBatches = ParseNumber(parameter);
        *Out << "Max Number of Batches: " << MaxBatches << std::endl;
        break;
      case 'O':
        if (!parameter) return missing();
        OverrideString = parameter;
        *Out << "OverrideString is " << OverrideString << std::endl;
        break;
      case 'p':
        if (!parameter) return missing();
        Port = static_cast<short>(ParseNumber(parameter));
        *Out << "Port: " << Port << std::endl;
        break;
      case 'r': {
        if (!parameter) return missing();
        const int type = ParseNumber(parameter);
        if (type < 0 || type > 2) return 1;
        RNGType = type;
        *Out << "Random Number Generator: "
             << to_string(static_cast<RandomNumberGeneratorType>(RNGType)) << std::endl;
        break;
      }
      case 's':
        if (!parameter) return missing();
        Seed = static_cast<unsigned int>(ParseNumber(parameter));
        *Out << "Random Number Seed: " << Seed << std::endl;
        break;
      case 't':
        if (!parameter) return missing();
        IsTerminating = ParseNumber(parameter);
        *Out << "Is Terminating Simulation: " << IsTerminating << std::endl;
        break;
      case 'w':
        if (parameter) return unexpected();
        WaitForConnection = true;
        *Out << "Wait For Socket Enabled" << std::endl;
        break;
      case 'x':
        if (parameter) return unexpected();
        XMLTrace = true;
        break;
      default:
        *Err << "ERROR: Unrecognized Command Line option: " << argument << std::endl;
        return 1;
    }
  }

  if (traceFileOrLevelGiven && !QuelixTrace && !XMLTrace) QuelixTrace = true;

  // The loops store every observation into packets of ReportSize columns:
  // without room they would write past the packets.
  if (ReportSize <= 0) {
    *Err << "ERROR: Report size (-n) must be at least 1, got " << ReportSize << std::endl;
    return 1;
  }
  return 0;
}

void SimulatorClass::PrintUsage() {
  *Err << "Valid Options" << std::endl
       << "-a <name>: write ASCII output to file <name>" << std::endl
       << "-b <name>: write binary output to file <name>" << std::endl
       << "-c <num>: Client identification number (default=0)" << std::endl
       << "-e <num>: Experiment to run, 'Experiment 1' is num=0 (default = 0)" << std::endl
       << "-f <name>: Trace file name (default=<stdout>)" << std::endl
       << "-m: Enable Quelix trace " << std::endl
       << "-l <num>: Trace Level (1, 2,3,4 [default=1])" << std::endl
       << "-x: Enable XML trace " << std::endl
       << "-n <num>: Num observations sent in 1 update to SimMgr. (default=1000)" << std::endl
       << "-N <num>: Maximum number of batches to run (default=infinite)" << std::endl
       << "-p <num>: Communication port of network server (default=10000)" << std::endl
       << "-i <address>: Numeric IPv4 address the network server listens on (default=every interface)"
       << std::endl
       << "-r <num>: Random Number Generator (0 = Lagged Fibonacci[default], 1 = Tausworthe, "
          "2 = Mersenne Twister"
       << std::endl
       << "-s <num>: Random Number Seed (31415[default])" << std::endl
       << "-t <num>: Simulation Type (1 = Terminating[default] 0 = Steady State)" << std::endl
       << "-w: Simulator will wait to send output until socket connection is established."
       << std::endl
       << std::endl;
}
