#pragma once
// Platform::Trust over wintrust's WinVerifyTrust, its WTHelper signer chain,
// crypt32's certificate names and the CryptCATAdmin catalog search.

#include "platform/trust.h"

namespace Win32 {

class Trust final : public Platform::Trust {
 public:
  using Handle = Platform::Handle;

  Platform::TrustVerdict VerifyEmbedded(std::u16string_view path) override;
  Handle LoadTrustLibrary() override;
  void FreeTrustLibrary(Handle library) override;
  bool HasTrustFunction(Handle library, std::string_view name) override;
  Handle AcquireCatalogContext(int generation) override;
  void ReleaseCatalogContext(Handle context) override;
  Platform::Win32Error CalculateCatalogHash(Handle context, std::u16string_view path,
                                            int generation, std::vector<uint8_t>* hash) override;
  std::optional<std::u16string> FindCatalogForHash(Handle context,
                                                   std::span<const uint8_t> hash) override;
  Platform::TrustVerdict VerifyCatalogMember(std::u16string_view catalogPath,
                                             std::u16string_view memberTag,
                                             std::u16string_view memberPath) override;
  Platform::TrustVerdict VerifyCatalogMember(Handle context, std::u16string_view catalogPath,
                                             std::u16string_view memberTag,
                                             std::u16string_view memberPath,
                                             std::span<const uint8_t> memberHash) override;
};

}  // namespace Win32
