#include "manager/LauncherFactory.h"

#include "manager/CommandRunner.h"
#include "manager/LocalLauncher.h"
#include "manager/SlurmLauncher.h"
#include "manager/SshLauncher.h"

namespace {

std::string Setting(const ManagerOptions& options, const std::string& key) {
  const auto found = options.launcherSettings.find(key);
  return found == options.launcherSettings.end() ? std::string() : found->second;
}

}  // namespace

std::unique_ptr<Launcher> MakeLauncher(const ManagerOptions& options) {
  if (options.launcher == "slurm") {
    return std::unique_ptr<Launcher>(new SlurmLauncher(SplitWords(Setting(options, "slurm-args"))));
  }
  if (options.launcher == "ssh") {
    std::vector<SshHost> hosts;
    std::string ignored;
    ParseSshHosts(Setting(options, "hosts"), hosts, ignored);
    return std::unique_ptr<Launcher>(
        new SshLauncher(SplitWords(Setting(options, "ssh-command")), hosts, Setting(options, "remote-gpusim")));
  }
  return std::unique_ptr<Launcher>(new LocalLauncher);
}
