#pragma once
// What the registry of a freshly installed machine holds before any hive file is
// loaded: the keys that Windows always has and that the core reads at start.

#include <vector>

#include "platform/emulated/machine/machine_config.h"
#include "platform/emulated/registry/registry_store.h"

namespace Emulated {

std::vector<RegistryEdit> InitialRegistryContent(const MachineConfig& config);

}  // namespace Emulated
