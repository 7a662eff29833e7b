#pragma once
// The trust provider: WinVerifyTrust with an embedded (file) subject or a catalog
// member subject, the signer chain of its state data (WTHelper*), certificate names
// (CertGetNameString) and the CryptCATAdmin catalog search.

#include <array>
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
// Further statuses the emulated provider gives; the system treats them as "failed".
inline constexpr HResult kTrustEBadDigest = static_cast<HResult>(0x80096010u);
inline constexpr HResult kCertEUntrustedRoot = static_cast<HResult>(0x800B0109u);
inline constexpr HResult kCertEWrongUsage = static_cast<HResult>(0x800B0110u);
inline constexpr HResult kCertEChaining = static_cast<HResult>(0x800B010Au);
inline constexpr HResult kCertECritical = static_cast<HResult>(0x800B0105u);
inline constexpr HResult kTrustESubjectNotTrusted = static_cast<HResult>(0x800B0004u);
inline constexpr HResult kTrustETimeStamp = static_cast<HResult>(0x80096005u);

// The catalog functions of the trust library, looked up by name: the first
// generation, and the second (SHA-256 catalogs, Windows 8 and later).
inline constexpr std::array<std::string_view, 7> kFirstGenerationCatalogFunctions = {
    "CryptCATAdminCalcHashFromFileHandle", "CryptCATAdminAcquireContext", "CryptCATAdminEnumCatalogFromHash",
    "CryptCATCatalogInfoFromContext",      "CryptCATAdminAddCatalog",     "CryptCATAdminReleaseCatalogContext",
    "CryptCATAdminRemoveCatalog"};
inline constexpr std::array<std::string_view, 2> kSecondGenerationCatalogFunctions = {
    "CryptCATAdminCalcHashFromFileHandle2", "CryptCATAdminAcquireContext2"};

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
  // LoadLibraryW(L"Wintrust.dll"): the module, 0 when it cannot be loaded.
  virtual Handle LoadTrustLibrary() = 0;
  // FreeLibrary of a module LoadTrustLibrary gave.
  virtual void FreeTrustLibrary(Handle library) = 0;
  // GetProcAddress(library, name) != nullptr: whether the module exports the catalog
  // function called name (for example "CryptCATAdminAcquireContext2").
  virtual bool HasTrustFunction(Handle library, std::string_view name) = 0;
  // CryptCATAdminAcquireContext (generation 1) or CryptCATAdminAcquireContext2 with the
  // hash algorithm "SHA256" (generation 2), subsystem DRIVER_ACTION_VERIFY: the catalog
  // administrator context, 0 when none could be acquired.
  virtual Handle AcquireCatalogContext(int generation) = 0;
  // CryptCATAdminReleaseContext.
  virtual void ReleaseCatalogContext(Handle context) = 0;
  // CryptCATAdminCalcHashFromFileHandle (generation 1, SHA-1) or
  // CryptCATAdminCalcHashFromFileHandle2 (generation 2, the context's algorithm) over
  // the file at path: the hash as catalogs index it (the Authenticode digest of a PE
  // file, the hash of the bytes of any other file).
  virtual Win32Error CalculateCatalogHash(Handle context, std::u16string_view path, int generation,
                                          std::vector<uint8_t>* hash) = 0;
  // CryptCATAdminEnumCatalogFromHash (no previous catalog) + CryptCATCatalogInfoFromContext
  // + CryptCATAdminReleaseCatalogContext: the path of the first catalog holding the hash,
  // or nothing.
  virtual std::optional<std::u16string> FindCatalogForHash(Handle context,
                                                           std::span<const uint8_t> hash) = 0;
  // WinVerifyTrust(DRIVER_ACTION_VERIFY) with a catalog member subject, revocation
  // checked over the whole chain; the state is closed again before returning. The
  // subject carries no administrator context and no hash, so the provider hashes
  // the member itself with SHA-1: enough for first-generation catalogs only.
  virtual TrustVerdict VerifyCatalogMember(std::u16string_view catalogPath,
                                           std::u16string_view memberTag,
                                           std::u16string_view memberPath) = 0;
  // The same with the subject's hCatAdmin, pbCalculatedFileHash and
  // cbCalculatedFileHash filled: the context the member hash was calculated with and
  // that hash. Windows 8 and later need them for a SHA-256 member (hCatAdmin "can be
  // zero only for a SHA1 file hash"). A provider that judges members by their tag
  // alone may ignore them.
  virtual TrustVerdict VerifyCatalogMember(Handle context, std::u16string_view catalogPath,
                                           std::u16string_view memberTag,
                                           std::u16string_view memberPath,
                                           std::span<const uint8_t> memberHash) {
    return VerifyCatalogMember(catalogPath, memberTag, memberPath);
  }
};

}  // namespace Platform
