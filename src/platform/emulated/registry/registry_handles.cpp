#include "platform/emulated/registry/registry_handles.h"

namespace Emulated {

Platform::Handle RegistryHandleTable::Add(std::shared_ptr<RegistryKey> key, uint32_t access) {
  const Platform::Handle handle = next_;
  next_ += 4;
  entries_.emplace(handle, RegistryHandleEntry{std::move(key), access});
  return handle;
}

const RegistryHandleEntry* RegistryHandleTable::Find(Platform::Handle handle) const {
  auto it = entries_.find(handle);
  return it == entries_.end() ? nullptr : &it->second;
}

bool RegistryHandleTable::Remove(Platform::Handle handle) { return entries_.erase(handle) > 0; }

}  // namespace Emulated
