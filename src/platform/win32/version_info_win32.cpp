#include "platform/win32/version_info_win32.h"

#include "platform/win32/win32_text.h"

namespace Win32 {

uint32_t VersionInfo::GetFileVersionInfoSize(std::u16string_view path) {
  DWORD ignored = 0;
  return GetFileVersionInfoSizeW(Wide(path).c_str(), &ignored);
}

Platform::Win32Error VersionInfo::GetFileVersionInfo(std::u16string_view path, uint32_t size,
                                                     std::vector<uint8_t>* block) {
  std::vector<uint8_t> read(size);
  if (!GetFileVersionInfoW(Wide(path).c_str(), 0, size, read.data())) return LastError();
  *block = std::move(read);
  return ERROR_SUCCESS;
}

// VerQueryValue counts a string's length in characters (terminator included) and
// anything else in bytes; the seam's value is always bytes. The block is only read:
// the W call never writes into a block that GetFileVersionInfoW filled.
bool VersionInfo::VerQueryValue(std::span<const uint8_t> block, std::u16string_view subBlock,
                                std::span<const uint8_t>* value) {
  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), Wide(subBlock).c_str(), &found, &length) || found == nullptr) {
    return false;
  }
  const bool text = subBlock.find(u"StringFileInfo") != std::u16string_view::npos;
  const size_t bytes = text ? length * sizeof(wchar_t) : length;
  const auto* begin = static_cast<const uint8_t*>(found);
  if (begin < block.data() || begin + bytes > block.data() + block.size()) return false;
  *value = {begin, bytes};
  return true;
}

}  // namespace Win32
