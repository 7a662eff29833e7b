#pragma once
// The open registry keys of the machine: a handle number per open key with the
// access it was opened with. Guarded by the store's lock.

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "platform/emulated/registry/registry_key.h"
#include "platform/win32_types.h"

namespace Emulated {

struct RegistryHandleEntry {
  std::shared_ptr<RegistryKey> key;
  uint32_t access = 0;
};

class RegistryHandleTable {
 public:
  Platform::Handle Add(std::shared_ptr<RegistryKey> key, uint32_t access);
  const RegistryHandleEntry* Find(Platform::Handle handle) const;
  bool Remove(Platform::Handle handle);

 private:
  std::unordered_map<Platform::Handle, RegistryHandleEntry> entries_;
  // Multiples of 4 like kernel handles, far below the predefined roots (0x80000000+).
  Platform::Handle next_ = 0x100;
};

}  // namespace Emulated
