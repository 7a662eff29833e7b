#pragma once
// Platform::VersionInfo over version.dll.

#include "platform/version_info.h"

namespace Win32 {

class VersionInfo final : public Platform::VersionInfo {
 public:
  uint32_t GetFileVersionInfoSize(std::u16string_view path) override;
  Platform::Win32Error GetFileVersionInfo(std::u16string_view path, uint32_t size,
                                          std::vector<uint8_t>* block) override;
  bool VerQueryValue(std::span<const uint8_t> block, std::u16string_view subBlock,
                     std::span<const uint8_t>* value) override;
};

}  // namespace Win32
