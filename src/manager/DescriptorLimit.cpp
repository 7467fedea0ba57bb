#include "manager/DescriptorLimit.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>

namespace {

// Standard streams, the signal pipe, the results file, a simulator being
// started (its pipes before the exec), name look-ups and the launchers'
// helper commands.
constexpr long kFixedDescriptors = 32;

}  // namespace

long DescriptorsNeeded(int simulators, bool keepBlocks) {
  return kFixedDescriptors + static_cast<long>(simulators) * (keepBlocks ? 4 : 2);
}

bool ReserveDescriptors(long needed, std::string& error) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    error = std::string("cannot read the limit on open files: ") + std::strerror(errno);
    return false;
  }
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY || static_cast<long>(limit.rlim_cur) >= needed) return true;
  error = "the study needs about " + std::to_string(needed) + " open files (with --binary or --results-folder four per simulator, " +
          "otherwise two) but the limit is " + std::to_string(static_cast<long>(limit.rlim_cur)) +
          " (ulimit -n; the hard limit is " + std::to_string(static_cast<long>(limit.rlim_max)) +
          "): start fewer simulators or raise the limit";
  return false;
}
