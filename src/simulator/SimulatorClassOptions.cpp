#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "simulator/SimulatorClass.h"

namespace {

// Reads a whole decimal integer (an optional sign, then digits, nothing else)
// that lies between low and high. Anything else is refused rather than read
// as a prefix or as 0: a mistyped limit such as "-N abcd" must not turn into
// "no limit".
bool ParseWholeNumber(const char* text, long long low, long long high, long long* out) {
  const char* digits = (*text == '-' || *text == '+') ? text + 1 : text;
  if (*digits == '\0') return false;
  for (const char* c = digits; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  errno = 0;
  const long long value = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE || value < low || value > high) return false;
  *out = value;
  return true;
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
    if (std::strcmp(argument, "--model") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        *Err << "Expect a model file after '--model'" << std::endl;
        return 1;
      }
      ModelFile = argv[++i];
      *Out << "Model File: " << ModelFile << std::endl;
      continue;
    }
    if (std::strcmp(argument, "--metadata") == 0) {
      PrintMetadataOnly = true;
      continue;
    }

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

    // Every numeric parameter is a whole number within the range of the
    // field it sets; the error names the option, the range and the text.
    long long number = 0;
    auto numeric = [&](long long low, long long high) {
      if (ParseWholeNumber(parameter, low, high, &number)) return true;
      *Err << "Expect a whole number from " << low << " to " << high << " after '-" << letter << "', got '"
           << parameter << "'" << std::endl;
      return false;
    };
    constexpr long long kIntMin = std::numeric_limits<int>::min();
    constexpr long long kIntMax = std::numeric_limits<int>::max();

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
        if (!numeric(kIntMin, kIntMax)) return 1;
        ClientId = static_cast<int>(number);
        *Out << "ClientID: " << ClientId << std::endl;
        break;
      case 'e':
        if (!parameter) return missing();
        if (!numeric(0, kIntMax)) return 1;
        Experiment = static_cast<unsigned int>(number);
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
        if (!numeric(kIntMin, kIntMax)) return 1;
        RequestedTraceLevel = static_cast<int>(number);
        traceFileOrLevelGiven = true;
        *Out << "TraceLevel: " << RequestedTraceLevel << std::endl;
        break;
      case 'm':
        if (parameter) return unexpected();
        QuelixTrace = true;
        break;
      case 'n':
        if (!parameter) return missing();
        // The loops store every observation into packets of ReportSize
        // columns: without room they would write past the packets.
        if (!numeric(1, kIntMax)) return 1;
        ReportSize = static_cast<int>(number);
        *Out << "ReportSize: " << ReportSize << std::endl;
        break;
      case 'N':
        if (!parameter) return missing();
        if (!numeric(std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max())) return 1;
        MaxBatches = static_cast<std::int64_t>(number);
        *Out << "Max Number of Batches: " << MaxBatches << std::endl;
        break;
      case 'O':
        if (!parameter) return missing();
        OverrideString = parameter;
        *Out << "OverrideString is " << OverrideString << std::endl;
        break;
      case 'p':
        if (!parameter) return missing();
        if (!numeric(0, 65535)) return 1;
        Port = static_cast<unsigned short>(number);
        *Out << "Port: " << Port << std::endl;
        break;
      case 'r':
        if (!parameter) return missing();
        if (!numeric(0, 2)) return 1;
        RNGType = static_cast<int>(number);
        *Out << "Random Number Generator: "
             << to_string(static_cast<RandomNumberGeneratorType>(RNGType)) << std::endl;
        break;
      case 's':
        if (!parameter) return missing();
        if (!numeric(0, std::numeric_limits<unsigned int>::max())) return 1;
        Seed = static_cast<unsigned int>(number);
        *Out << "Random Number Seed: " << Seed << std::endl;
        break;
      case 't':
        if (!parameter) return missing();
        if (!numeric(0, 1)) return 1;
        IsTerminating = static_cast<int>(number);
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
