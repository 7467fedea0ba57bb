// MakeLauncher builds the launcher named by --launcher (local, slurm, ssh)
// from its settings. The options have been checked by ParseManagerOptions,
// so every name and setting here is valid.
#ifndef MANAGER_LAUNCHER_FACTORY_H
#define MANAGER_LAUNCHER_FACTORY_H

#include <memory>

#include "manager/Launcher.h"
#include "manager/ManagerOptions.h"

std::unique_ptr<Launcher> MakeLauncher(const ManagerOptions& options);

#endif
