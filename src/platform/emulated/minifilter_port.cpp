#include "platform/emulated/minifilter_port.h"

namespace Emulated {

Platform::Handle MinifilterPort::Open(uint32_t processId, uint64_t driverRun) {
  const Platform::Handle handle = nextHandle_;
  nextHandle_ += 4;
  connections_.emplace(handle, Connection{processId, driverRun});
  return handle;
}

std::optional<uint64_t> MinifilterPort::RunOf(uint32_t processId, Platform::Handle port) const {
  auto it = connections_.find(port);
  if (it == connections_.end() || it->second.processId != processId) return std::nullopt;
  return it->second.driverRun;
}

bool MinifilterPort::Close(uint32_t processId, Platform::Handle port) {
  auto it = connections_.find(port);
  if (it == connections_.end() || it->second.processId != processId) return false;
  connections_.erase(it);
  return true;
}

}  // namespace Emulated
