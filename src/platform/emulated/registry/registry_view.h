#pragma once
// Registry of one process of the emulated machine: the Win32 call shapes (buffer
// capacities, size-only queries, untouched outputs on failure) over the machine's
// RegistryStore, with every change reported to the machine's activity sink as the
// acting process and thread.

#include <string>

#include "platform/emulated/machine/activity_sink.h"
#include "platform/emulated/machine/view_context.h"
#include "platform/registry.h"

namespace Emulated {

class Machine;
struct RegistryValue;

class RegistryView : public Platform::Registry {
 public:
  RegistryView(Machine& machine, ViewContext context) : machine_(machine), context_(context) {}

  Win32Error OpenKey(Handle parent, std::u16string_view subKey, uint32_t access,
                     Handle* key) override;
  Win32Error CreateKey(Handle parent, std::u16string_view subKey, uint32_t options,
                       uint32_t access, Handle* key, uint32_t* disposition) override;
  Win32Error CloseKey(Handle key) override;
  Win32Error EnumKey(Handle key, uint32_t index, uint32_t nameCapacity,
                     std::u16string* name) override;
  Win32Error EnumValue(Handle key, uint32_t index, uint32_t nameCapacity, std::u16string* name,
                       uint32_t* type, std::vector<uint8_t>* data, uint32_t dataCapacity,
                       uint32_t* dataSize) override;
  Win32Error QueryValue(Handle key, std::u16string_view name, uint32_t* type,
                        std::vector<uint8_t>* data, uint32_t dataCapacity,
                        uint32_t* dataSize) override;
  Win32Error SetValue(Handle key, std::u16string_view name, uint32_t type,
                      std::span<const uint8_t> data) override;
  Win32Error DeleteValue(Handle key, std::u16string_view name) override;
  Win32Error DeleteKey(Handle parent, std::u16string_view subKey) override;
  Win32Error DeleteTree(Handle parent, std::u16string_view subKey) override;
  Win32Error QueryInfoKey(Handle key, uint32_t* subKeys, uint32_t* maxSubKeyLength,
                          uint32_t* values, uint32_t* maxValueNameLength,
                          uint32_t* maxValueLength) override;
  Win32Error NotifyChangeKeyValue(Handle key, bool watchSubtree, uint32_t filter,
                                  Handle event) override;

 private:
  // The owner of the acting process, whose hive HKEY_CURRENT_USER is.
  std::u16string UserSid() const;
  Actor Acting() const;
  Win32Error DeleteKeys(Handle parent, std::u16string_view subKey, bool tree);

  Machine& machine_;
  ViewContext context_;
};

}  // namespace Emulated
