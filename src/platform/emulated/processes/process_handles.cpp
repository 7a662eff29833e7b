#include "platform/emulated/processes/process_handles.h"

namespace Emulated {

Platform::Handle ProcessHandles::Open(uint32_t openerProcessId, ProcessHandleTarget target) {
  std::lock_guard lock(mutex_);
  return handles_.Open(openerProcessId, std::move(target));
}

std::optional<ProcessHandleTarget> ProcessHandles::Find(uint32_t openerProcessId,
                                                        Platform::Handle handle) const {
  std::lock_guard lock(mutex_);
  const ProcessHandleTarget* target = handles_.Find(openerProcessId, handle);
  if (target == nullptr) return std::nullopt;
  return *target;
}

bool ProcessHandles::Close(uint32_t openerProcessId, Platform::Handle handle) {
  std::lock_guard lock(mutex_);
  return handles_.Close(openerProcessId, handle).has_value();
}

}  // namespace Emulated
