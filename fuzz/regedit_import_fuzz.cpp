// Any bytes given to the regedit importer: it must answer (accept or reject with a
// message) without crashing or hanging, whatever the file holds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/regedit/regedit_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Emulated::Machine machine{Emulated::MachineConfig{}};
  std::u16string error;
  Emulated::ImportRegedit(machine.RegistryState(), std::span<const uint8_t>(data, size), u"fuzz.reg",
                          &error);
  return 0;
}
