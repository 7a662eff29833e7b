#include "platform/emulated/minifilter/minifilter_port.h"

namespace Emulated {

Platform::Handle MinifilterPort::Open(uint32_t processId, uint64_t driverRun) {
  return connections_.Open(processId, driverRun);
}

std::optional<uint64_t> MinifilterPort::RunOf(uint32_t processId, Platform::Handle port) const {
  const uint64_t* run = connections_.Find(processId, port);
  if (run == nullptr) return std::nullopt;
  return *run;
}

bool MinifilterPort::Close(uint32_t processId, Platform::Handle port) {
  return connections_.Close(processId, port).has_value();
}

}  // namespace Emulated
