#pragma once
// The trust provider: WinVerifyTrust with an embedded (file) subject or a catalog
// member subject, the signer chain of its state data (WTHelper*), certificate names
// (CertGetNameString) and the CryptCATAdmin catalog search.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace Platform {

// WinVerifyTrust status values the system tells apart.
inline constexpr HResult kTrustENoSignature = static_cast<HResult>(0x800B0100u);
inline constexpr HResult kCertEExpired = static_cast<HResult>(0x800B0101u);
inline constexpr HResult kCertERevoked = static_cast<HResult>(0x800B010Cu);
inline constexpr HResult kTrustEExplicitDistrust = static_cast<HResult>(0x800B0111u);
inline constexpr HResult kCryptESecuritySettings = static_cast<HResult>(0x80092026u);

// One certificate as CertGetNameString and the certificate's validity give it.
struct CertificateNames {
  std::u16string simpleDisplayName;
  std::u16string emailName;
  std::u16string issuerSimpleDisplayName;
  FileTime notBefore = 0;
  FileTime notAfter = 0;
};

// What the provider data of a verified state holds about its first signer.
struct SignerChain {
  std::optional<CertificateNames> certificate;  // the signer's first certificate
  FileTime verifyAsOfTime = 0;
  std::vector<CertificateNames> counterSigners;  // first certificate of each
};

struct TrustVerdict {
  HResult status = kTrustENoSignature;
  std::optional<SignerChain> signer;  // present when the state holds provider data
};

class Trust {
 public:
  virtual ~Trust() = default;

  // WinVerifyTrust(WINTRUST_ACTION_GENERIC_VERIFY_V2) on the file, no revocation check;
  // the state is closed again before returning.
  virtual TrustVerdict VerifyEmbedded(std::u16string_view path) = 0;
  // Whether the catalog functions can be used (first and second generation).
  virtual bool CatalogFunctionsAvailable(int generation) = 0;
  // CryptCATAdminCalcHashFromFileHandle(2): the file's hash as catalogs index it.
  virtual Win32Error CalculateCatalogHash(std::u16string_view path, int generation,
                                          std::vector<uint8_t>* hash) = 0;
  // CryptCATAdminEnumCatalogFromHash + CryptCATCatalogInfoFromContext: the path of the
  // first catalog holding the hash, or nothing.
  virtual std::optional<std::u16string> FindCatalogForHash(std::span<const uint8_t> hash) = 0;
  // WinVerifyTrust(DRIVER_ACTION_VERIFY) with a catalog member subject, revocation
  // checked over the whole chain; the state is closed again before returning.
  virtual TrustVerdict VerifyCatalogMember(std::u16string_view catalogPath,
                                           std::u16string_view memberTag,
                                           std::u16string_view memberPath) = 0;
};

}  // namespace Platform
