#pragma once
// Facilities whose emulation has not been built yet: the trust provider and version
// resources. Each answers every call with a failure
// (kErrorNotSupported, or "no signature" / "no version resource"), so that code
// reaching them takes its documented failure path instead of a made-up answer.

#include "platform/trust.h"
#include "platform/version_info.h"

namespace Emulated {

class PendingTrust : public Platform::Trust {
 public:
  Platform::TrustVerdict VerifyEmbedded(std::u16string_view) override;
  Platform::Handle LoadTrustLibrary() override;
  void FreeTrustLibrary(Platform::Handle) override;
  bool HasTrustFunction(Platform::Handle, std::string_view) override;
  Platform::Handle AcquireCatalogContext(int) override;
  void ReleaseCatalogContext(Platform::Handle) override;
  Platform::Win32Error CalculateCatalogHash(Platform::Handle, std::u16string_view, int,
                                            std::vector<uint8_t>*) override;
  std::optional<std::u16string> FindCatalogForHash(Platform::Handle, std::span<const uint8_t>) override;
  Platform::TrustVerdict VerifyCatalogMember(std::u16string_view, std::u16string_view,
                                             std::u16string_view) override;
};

class PendingVersionInfo : public Platform::VersionInfo {
 public:
  uint32_t GetFileVersionInfoSize(std::u16string_view) override;
  Platform::Win32Error GetFileVersionInfo(std::u16string_view, uint32_t, std::vector<uint8_t>*) override;
  bool VerQueryValue(std::span<const uint8_t>, std::u16string_view, std::span<const uint8_t>*) override;
};

}  // namespace Emulated
