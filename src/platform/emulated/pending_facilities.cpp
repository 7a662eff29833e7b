#include "platform/emulated/pending_facilities.h"

namespace Emulated {

using namespace Platform;

uint32_t PendingVersionInfo::GetFileVersionInfoSize(std::u16string_view) { return 0; }
Win32Error PendingVersionInfo::GetFileVersionInfo(std::u16string_view, uint32_t, std::vector<uint8_t>*) {
  return kErrorNotSupported;
}
bool PendingVersionInfo::VerQueryValue(std::span<const uint8_t>, std::u16string_view,
                                       std::span<const uint8_t>*) {
  return false;
}

}  // namespace Emulated
