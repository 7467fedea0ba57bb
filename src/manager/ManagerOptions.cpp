#include "manager/ManagerOptions.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "manager/SshLauncher.h"

namespace {

using Setter = std::function<bool(ManagerOptions&, const std::string& value, std::string& error)>;

struct OptionEntry {
  const char* name;
  bool takesValue;
  Setter set;
};

bool ParseLong(const std::string& text, long low, long high, long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<long>(parsed);
  return true;
}

bool ParseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(value);
}

Setter Integer(const char* name, long low, long high, std::function<void(ManagerOptions&, long)> store) {
  return [=](ManagerOptions& o, const std::string& text, std::string& error) {
    long value;
    if (!ParseLong(text, low, high, value)) {
      error = std::string(name) + " needs a whole number from " + std::to_string(low) + " to " +
              std::to_string(high) + ", not '" + text + "'";
      return false;
    }
    store(o, value);
    return true;
  };
}

// A number in the open interval (low, high): (0, 1), or above 0 when high is 0.
Setter Real(const char* name, double low, double high, std::function<void(ManagerOptions&, double)> store) {
  return [=](ManagerOptions& o, const std::string& text, std::string& error) {
    double value;
    if (!ParseDouble(text, value) || value <= low || (high != 0.0 && value >= high)) {
      error = std::string(name) + " needs a number " +
              (high != 0.0 ? std::string("strictly between 0 and 1") : std::string("above 0")) + ", not '" + text +
              "'";
      return false;
    }
    store(o, value);
    return true;
  };
}

Setter Flag(std::function<void(ManagerOptions&)> store) {
  return [=](ManagerOptions& o, const std::string&, std::string&) {
    store(o);
    return true;
  };
}

Setter Text(std::function<void(ManagerOptions&, const std::string&)> store) {
  return [=](ManagerOptions& o, const std::string& text, std::string&) {
    store(o, text);
    return true;
  };
}

Setter LauncherSetting(const char* key) {
  return Text([key](ManagerOptions& o, const std::string& v) { o.launcherSettings[key] = v; });
}

// Which launcher takes which setting; a setting given to another launcher is
// a mistake worth naming rather than ignoring.
bool CheckLauncher(ManagerOptions& options, std::string& error) {
  static const std::map<std::string, std::string> owner = {
      {"slurm-args", "slurm"}, {"hosts", "ssh"}, {"remote-gpusim", "ssh"}, {"ssh-command", "ssh"}};
  if (options.launcher != "local" && options.launcher != "slurm" && options.launcher != "ssh") {
    error = "unknown launcher '" + options.launcher + "' (known: local, slurm, ssh)";
    return false;
  }
  for (const auto& setting : options.launcherSettings) {
    const std::string& launcher = owner.at(setting.first);
    if (launcher != options.launcher) {
      error = "--" + setting.first + " needs --launcher " + launcher;
      return false;
    }
  }
  if (options.launcher != "ssh") return true;
  const auto hosts = options.launcherSettings.find("hosts");
  if (hosts == options.launcherSettings.end()) {
    error = "--launcher ssh needs --hosts";
    return false;
  }
  std::vector<SshHost> parsed;
  if (!ParseSshHosts(hosts->second, parsed, error)) return false;
  if (options.simulators == 0) options.simulators = TotalSlots(parsed);
  return true;
}

const std::vector<OptionEntry>& Options() {
  static const std::vector<OptionEntry> table = {
      {"--simulators", true, Integer("--simulators", 1, 1024, [](ManagerOptions& o, long v) { o.simulators = int(v); })},
      {"--seed", true, Integer("--seed", 0, UINT_MAX, [](ManagerOptions& o, long v) { o.baseSeed = unsigned(v); })},
      {"--replications", true,
       Integer("--replications", 1, LONG_MAX, [](ManagerOptions& o, long v) { o.replications = v; })},
      {"--rel-width", true, Real("--rel-width", 0.0, 1.0, [](ManagerOptions& o, double v) { o.precision.relWidth = v; })},
      {"--abs-width", true, Real("--abs-width", 0.0, 0.0, [](ManagerOptions& o, double v) { o.precision.absWidth = v; })},
      {"--confidence", true,
       Real("--confidence", 0.0, 1.0, [](ManagerOptions& o, double v) { o.precision.confidence = v; })},
      {"--min-replications", true, Integer("--min-replications", 2, LONG_MAX, [](ManagerOptions& o, long v) {
         o.precision.minReplications = v;
       })},
      {"--warmup-batches", true, Integer("--warmup-batches", 0, 1000000000, [](ManagerOptions& o, long v) {
         o.warmupBatches = v;
       })},
      {"--max-seconds", true, Real("--max-seconds", 0.0, 0.0, [](ManagerOptions& o, double v) { o.maxSeconds = v; })},
      {"--report-size", true,
       Integer("--report-size", 1, 1000000, [](ManagerOptions& o, long v) { o.reportSize = int(v); })},
      {"--ingest-threads", true,
       Integer("--ingest-threads", 1, 256, [](ManagerOptions& o, long v) { o.ingestThreads = int(v); })},
      {"--start-timeout", true,
       Real("--start-timeout", 0.0, 0.0, [](ManagerOptions& o, double v) { o.startTimeoutSeconds = v; })},
      {"--experiments", true, Text([](ManagerOptions& o, const std::string& v) { o.experiments = v; })},
      {"--sweep", true,
       [](ManagerOptions& o, const std::string& text, std::string& error) {
         o.sweeps.emplace_back();
         return ParseSweepAxis(text, &o.sweeps.back(), &error);
       }},
      {"--binary", true, Text([](ManagerOptions& o, const std::string& v) { o.binaryFile = v; })},
      {"--results-folder", true, Text([](ManagerOptions& o, const std::string& v) { o.resultsFolder = v; })},
      {"--force", false, Flag([](ManagerOptions& o) { o.forceBinary = true; })},
      {"--csv", false, Flag([](ManagerOptions& o) { o.output = ManagerOptions::Output::kCsv; })},
      {"--json", false, Flag([](ManagerOptions& o) { o.output = ManagerOptions::Output::kJson; })},
      {"--quiet", false, Flag([](ManagerOptions& o) { o.quiet = true; })},
      {"--gpusim", true, Text([](ManagerOptions& o, const std::string& v) { o.gpusim = v; })},
      {"--launcher", true, Text([](ManagerOptions& o, const std::string& v) { o.launcher = v; })},
      {"--slurm-args", true, LauncherSetting("slurm-args")},
      {"--hosts", true, LauncherSetting("hosts")},
      {"--remote-gpusim", true, LauncherSetting("remote-gpusim")},
      {"--ssh-command", true, LauncherSetting("ssh-command")},
      {"--help", false, Flag([](ManagerOptions& o) { o.showHelp = true; })},
      {"-h", false, Flag([](ManagerOptions& o) { o.showHelp = true; })},
      {"--version", false, Flag([](ManagerOptions& o) { o.showVersion = true; })},
      {"-V", false, Flag([](ManagerOptions& o) { o.showVersion = true; })},
  };
  return table;
}

// Simulator options the manager sets itself, or that would make the
// simulators of one study trample on each other's files and output.
const char* ReservedReason(char letter) {
  switch (letter) {
    case 's':
      return "the manager gives each simulator its own seed (use --seed)";
    case 'N':
      return "the manager splits the replications (use --replications)";
    case 'n':
      return "the manager sets the report size (use --report-size)";
    case 'w':
    case 'p':
    case 'i':
    case 'c':
      return "the manager sets up the connection to each simulator";
    case 'a':
    case 'b':
      return "the manager writes the merged results (use --binary)";
    case 'f':
    case 'l':
    case 'm':
    case 'x':
      return "the simulators of a study are not traced";
    default:
      return nullptr;
  }
}

bool TakesParameter(char letter) { return std::strchr("abcefilnNOprst", letter) != nullptr; }

// A model file is read by every simulator, wherever it runs, at the same
// path: a relative one is made absolute here, since a remote shell starts
// elsewhere (in the home folder) than the manager.
void MakeModelPathAbsolute(std::vector<std::string>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] != "--model" || args[i + 1].empty() || args[i + 1][0] == '/') continue;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    if (!error) args[i + 1] = (folder / args[i + 1]).lexically_normal().string();
  }
}

// Checks the options passed on to the simulators and reads the experiment
// and generator from them; the simulator itself judges everything else.
bool CheckSimulatorArguments(ManagerOptions& options, std::string& error) {
  MakeModelPathAbsolute(options.simulatorArguments);
  const std::vector<std::string>& args = options.simulatorArguments;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].size() < 2 || args[i][0] != '-') continue;
    const char letter = args[i][1];
    if (const char* reason = ReservedReason(letter)) {
      error = "simulator option -" + std::string(1, letter) + " is not accepted: " + reason;
      return false;
    }
    if (!TakesParameter(letter)) continue;
    std::string parameter = args[i].substr(2);
    if (parameter.empty() && i + 1 < args.size() && args[i + 1][0] != '-') parameter = args[++i];
    if (letter == 'e') options.experiment = std::atoi(parameter.c_str());
    if (letter == 'r') options.generator = std::atoi(parameter.c_str());
    if (letter == 't') options.steadyStateArgument = std::atoi(parameter.c_str()) == 0;
  }
  return true;
}

}  // namespace

bool ParseManagerOptions(int argc, const char* const* argv, ManagerOptions& options, std::string& error) {
  int i = 1;
  for (; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--") {
      ++i;
      break;
    }
    std::string value;
    bool hasValue = false;
    const std::size_t equals = word.find('=');
    if (word.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = word.substr(equals + 1);
      word = word.substr(0, equals);
      hasValue = true;
    }
    const OptionEntry* option = nullptr;
    for (const OptionEntry& candidate : Options()) {
      if (word == candidate.name) option = &candidate;
    }
    if (option == nullptr) {
      error = "unknown option '" + word + "'";
      return false;
    }
    if (option->takesValue && !hasValue) {
      if (i + 1 >= argc) {
        error = word + " needs a value";
        return false;
      }
      value = argv[++i];
    } else if (!option->takesValue && hasValue) {
      error = word + " takes no value";
      return false;
    }
    if (!option->set(options, value, error)) return false;
  }
  for (; i < argc; ++i) options.simulatorArguments.push_back(argv[i]);

  if (!CheckLauncher(options, error)) return false;
  if (!options.experiments.empty() && options.experiments.find_first_not_of("0123456789,") != std::string::npos &&
      options.experiments != "all") {
    error = "--experiments needs 'all' or a list of experiment numbers such as 1,3, not '" + options.experiments + "'";
    return false;
  }
  const bool directory = !options.binaryFile.empty() && options.binaryFile.back() == '/';
  if (!options.binaryFile.empty() && directory != options.Sweeping()) {
    error = options.Sweeping() ? "a sweep writes one file per point: give --binary a folder ending in '/'"
                               : "--binary " + options.binaryFile + " names a folder, which only a sweep writes into";
    return false;
  }
  if (!options.binaryFile.empty() && !options.resultsFolder.empty()) {
    error = "--binary and --results-folder both write the results: give one (gpusim-report --merge makes the merged "
            "file from a folder)";
    return false;
  }
  if (options.simulators == 0) {
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    options.simulators = cores > 0 ? static_cast<int>(cores) : 1;
  }
  return CheckSimulatorArguments(options, error);
}

bool ResolveGpusim(ManagerOptions& options, std::string& error) {
  // The simulator named for the remote hosts need not exist here.
  if (options.launcherSettings.count("remote-gpusim") != 0 && options.gpusim.empty()) return true;
  if (options.gpusim.empty()) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string directory = ".";
    if (length > 0) {
      self[length] = '\0';
      directory = self;
      directory = directory.substr(0, directory.rfind('/'));
    }
    options.gpusim = directory + "/gpusim";
  }
  if (::access(options.gpusim.c_str(), X_OK) != 0) {
    error = "cannot find the simulator '" + options.gpusim + "': " + std::strerror(errno) + " (give --gpusim PATH)";
    return false;
  }
  return true;
}

std::string ManagerUsage() {
  return "Usage: gpusim-manager [options] [-- simulator options]\n"
         "Runs a study on K gpusim processes and merges their observations.\n"
         "\n"
         "  --simulators K         simulators to run (default: the number of cores)\n"
         "  --seed S               base seed; each simulator's seed derives from it (default 31415)\n"
         "  --replications N       N observations per variable in total, split across the simulators\n"
         "  --rel-width W          stop once every half-width is at most W times |mean| (0 < W < 1)\n"
         "  --abs-width A          ... or at most A (A > 0)\n"
         "  --confidence C         confidence level of the intervals (0 < C < 1, default 0.95)\n"
         "  --min-replications M   observations per variable before a width may stop the study (default 1000)\n"
         "  --max-seconds T        stop after T seconds of wall time\n"
         "  --warmup-batches B     steady state (-t 0): batches of every simulator dropped as warm-up\n"
         "                         before its batch means count (default 1)\n"
         "  --experiments all|N,M  a sweep over the model's experiments (numbered from 0, as -e numbers them)\n"
         "  --sweep NAME=v1,v2,... a sweep over a global's values; NAME=FROM:TO:STEP for a range. Several\n"
         "                         --sweep (and --experiments) form every combination, the first varying\n"
         "                         slowest; every point runs to the stopping rule, one point at a time\n"
         "  --binary FILE          write the merged observations as a binary results file; in a sweep\n"
         "                         --binary DIR/ writes DIR/point-<k>.bin (k from 1) for every point\n"
         "  --results-folder DIR   write the observations as a results folder: one binary\n"
         "                         results file per simulator, each value written once,\n"
         "                         and an index written last (gpusim-report DIR reads it as\n"
         "                         one study; gpusim-report --merge DIR FILE makes the\n"
         "                         --binary file); DIR is made, or must be empty; in a sweep\n"
         "                         DIR/point-<k>/ for every point\n"
         "  --force                let --binary replace a symbolic link or a file that is\n"
         "                         not a binary results file, and --results-folder\n"
         "                         replace an earlier results folder\n"
         "  --csv | --json         print the summary as CSV or JSON instead of a table (the line\n"
         "                         saying why the study stopped then goes to the error stream)\n"
         "  --quiet                no progress on the error stream\n"
         "  --gpusim PATH          the simulator executable (default: gpusim beside the manager)\n"
         "  --launcher NAME        how simulators are started: local (default), slurm or ssh\n"
         "  --slurm-args \"...\"     more srun options for every simulator (slurm; split at blanks)\n"
         "  --hosts H1,H2:4,...    hosts and simulators per host (ssh; K defaults to their sum)\n"
         "  --remote-gpusim PATH   the simulator's path on the hosts (ssh; default: the local path)\n"
         "  --ssh-command \"...\"    the ssh command and its options (ssh; default: ssh)\n"
         "  --report-size n        observations per report from each simulator (default 1000)\n"
         "  --start-timeout T      seconds a simulator has to announce its port and greet (default 60)\n"
         "  --ingest-threads N     threads reading the simulators (default: one per 64 simulators,\n"
         "                         at most a quarter of the cores); more when the manager cannot keep up\n"
         "  -h, --help             this text\n"
         "  -V, --version          the version\n"
         "\n"
         "Simulator options after \"--\" (for example -r 2 -O s:size:20 -e 0) go to every simulator.\n"
         "Exit status: 0 target reached (or stopped by SIGINT/SIGTERM), 1 study failed,\n"
         "2 bad command line, 3 ended short of its target.\n";
}
