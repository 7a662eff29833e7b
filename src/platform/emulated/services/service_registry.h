#pragma once
// Service entries as Windows keeps them: one key per service below
// HKLM\SYSTEM\CurrentControlSet\Services, with the values Type, Start, ErrorControl,
// ImagePath, DisplayName, Group and ObjectName. The registry is the only record of a
// service's configuration, so entries loaded from a machine image are services like
// any created through the manager, and the rescan sees what the manager wrote.
//
// These edits go by path and report no activity: on Windows the manager's own
// process writes them, and the emulation has no such process to attribute them to.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/service_manager.h"

namespace Emulated {

class RegistryStore;

struct ServiceEntry {
  std::u16string name;  // as stored
  uint32_t type = 0;
  uint32_t start = 0;
  uint32_t errorControl = 0;
  std::u16string imagePath;
  std::u16string displayName;
  std::u16string group;
  std::u16string objectName;
  bool deleteFlag = false;

  bool IsDriver() const { return (type & 0x3) != 0; }
};

// Null when the service has no key.
std::optional<ServiceEntry> ReadServiceEntry(const RegistryStore& registry,
                                             std::u16string_view name);
void WriteServiceEntry(RegistryStore& registry, const Platform::ServiceConfig& config);
// DeleteFlag = 1, as Windows marks a service whose deletion waits for its last handle.
void MarkServiceEntryDeleted(RegistryStore& registry, std::u16string_view name);
void RemoveServiceEntry(RegistryStore& registry, std::u16string_view name);

}  // namespace Emulated
