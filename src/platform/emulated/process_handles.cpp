#include "platform/emulated/process_handles.h"

namespace Emulated {

Platform::Handle ProcessHandles::Open(uint32_t openerProcessId, ProcessHandleTarget target) {
  std::lock_guard lock(mutex_);
  const Platform::Handle handle = nextHandle_;
  nextHandle_ += 4;
  entries_.emplace(handle, Entry{openerProcessId, std::move(target)});
  return handle;
}

std::optional<ProcessHandleTarget> ProcessHandles::Find(uint32_t openerProcessId,
                                                        Platform::Handle handle) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(handle);
  if (it == entries_.end() || it->second.opener != openerProcessId) return std::nullopt;
  return it->second.target;
}

bool ProcessHandles::Close(uint32_t openerProcessId, Platform::Handle handle) {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(handle);
  if (it == entries_.end() || it->second.opener != openerProcessId) return false;
  entries_.erase(it);
  return true;
}

}  // namespace Emulated
