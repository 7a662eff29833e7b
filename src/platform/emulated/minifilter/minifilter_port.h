#pragma once
// The connections to the minifilter's communication port. A connection belongs to
// the process that opened it and to the run of the driver during which it was made;
// once that run ends the connection is dead for good, even if the driver starts
// again. Not thread-safe by itself; the minifilter guards it with its lock.

#include <cstdint>
#include <optional>

#include "platform/emulated/machine/owned_handles.h"
#include "platform/win32_types.h"

namespace Emulated {

class MinifilterPort {
 public:
  Platform::Handle Open(uint32_t processId, uint64_t driverRun);
  // The driver run of the connection, when processId holds that handle.
  std::optional<uint64_t> RunOf(uint32_t processId, Platform::Handle port) const;
  bool Close(uint32_t processId, Platform::Handle port);

 private:
  // Each connection remembers the driver run it was made in.
  OwnedHandles<uint64_t> connections_{0x7A000};
};

}  // namespace Emulated
