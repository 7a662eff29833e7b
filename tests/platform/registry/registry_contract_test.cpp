// The registry contract run against the emulated machine.
#include "platform/contract/registry_contract.h"

#include "platform/emulated/machine/machine.h"

namespace RegistryContract {

class EmulatedRegistryBackend {
 public:
  Platform::Registry& Registry() { return machine_.Process(4).Registry(); }
  Platform::NamedObjects& Objects() { return machine_.Process(4).Objects(); }

 private:
  Emulated::Machine machine_{Emulated::MachineConfig{}};
};

using Backends = ::testing::Types<EmulatedRegistryBackend>;
INSTANTIATE_TYPED_TEST_SUITE_P(Emulated, RegistryContractTest, Backends);

}  // namespace RegistryContract
