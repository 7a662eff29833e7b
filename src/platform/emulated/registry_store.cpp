#include "platform/emulated/registry_store.h"

#include "platform/emulated/machine.h"

namespace Emulated {

RegistryStore::RegistryStore(Machine& machine) : machine_(machine) {}
RegistryStore::~RegistryStore() = default;

}  // namespace Emulated
