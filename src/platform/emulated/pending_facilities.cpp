#include "platform/emulated/pending_facilities.h"

namespace Emulated {

using namespace Platform;

TrustVerdict PendingTrust::VerifyEmbedded(std::u16string_view) { return {}; }
Handle PendingTrust::LoadTrustLibrary() { return 0; }
void PendingTrust::FreeTrustLibrary(Handle) {}
bool PendingTrust::HasTrustFunction(Handle, std::string_view) { return false; }
Handle PendingTrust::AcquireCatalogContext(int) { return 0; }
void PendingTrust::ReleaseCatalogContext(Handle) {}
Win32Error PendingTrust::CalculateCatalogHash(Handle, std::u16string_view, int, std::vector<uint8_t>*) {
  return kErrorNotSupported;
}
std::optional<std::u16string> PendingTrust::FindCatalogForHash(Handle, std::span<const uint8_t>) {
  return std::nullopt;
}
TrustVerdict PendingTrust::VerifyCatalogMember(std::u16string_view, std::u16string_view,
                                               std::u16string_view) {
  return {};
}

uint32_t PendingVersionInfo::GetFileVersionInfoSize(std::u16string_view) { return 0; }
Win32Error PendingVersionInfo::GetFileVersionInfo(std::u16string_view, uint32_t, std::vector<uint8_t>*) {
  return kErrorNotSupported;
}
bool PendingVersionInfo::VerQueryValue(std::span<const uint8_t>, std::u16string_view,
                                       std::span<const uint8_t>*) {
  return false;
}

}  // namespace Emulated
