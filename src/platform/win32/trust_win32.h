#pragma once
// Platform::Trust over wintrust's WinVerifyTrust, its WTHelper signer chain,
// crypt32's certificate names and the CryptCATAdmin catalog search.

#include "platform/trust.h"

namespace Win32 {

class Trust final : public Platform::Trust {
 public:
  Platform::TrustVerdict VerifyEmbedded(std::u16string_view path) override;
  bool CatalogFunctionsAvailable(int generation) override;
  Platform::Win32Error CalculateCatalogHash(std::u16string_view path, int generation,
                                            std::vector<uint8_t>* hash) override;
  std::optional<std::u16string> FindCatalogForHash(std::span<const uint8_t> hash) override;
  Platform::TrustVerdict VerifyCatalogMember(std::u16string_view catalogPath,
                                             std::u16string_view memberTag,
                                             std::u16string_view memberPath) override;
};

}  // namespace Win32
