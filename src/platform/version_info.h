#pragma once
// Version resources: GetFileVersionInfoSize, GetFileVersionInfo and VerQueryValue.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace Platform {

class VersionInfo {
 public:
  virtual ~VersionInfo() = default;

  // The size of the file's version block; 0 when the file has no version resource.
  virtual uint32_t GetFileVersionInfoSize(std::u16string_view path) = 0;
  // Copies the version block (at most size bytes) into block.
  virtual Win32Error GetFileVersionInfo(std::u16string_view path, uint32_t size,
                                        std::vector<uint8_t>* block) = 0;
  // VerQueryValue: subBlock such as "\VarFileInfo\Translation" or
  // "\StringFileInfo\040904b0\FileVersion". value views into block; false when the
  // sub-block is absent.
  virtual bool VerQueryValue(std::span<const uint8_t> block, std::u16string_view subBlock,
                             std::span<const uint8_t>* value) = 0;
};

}  // namespace Platform
