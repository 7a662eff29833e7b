#pragma once
// Platform::Registry over advapi32's Reg* calls of the running process.

#include "platform/registry.h"

namespace Win32 {

class Registry final : public Platform::Registry {
 public:
  using Handle = Platform::Handle;
  using Win32Error = Platform::Win32Error;

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
};

}  // namespace Win32
