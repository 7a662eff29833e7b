#include "fileinfo/signature_verifier.h"

#include <array>
#include <cstdio>

#include "util/os_version.h"

namespace FileInfo {

namespace {

// Windows 8 and later (the ordinals from 12 up) hash catalogs with SHA-256.
constexpr uint32_t kFirstSecondGenerationOrdinal = 12;
// The buffer a catalog hash is computed into.
constexpr size_t kCatalogHashCapacity = 100;

template <size_t N>
bool HasAll(Platform::Trust& trust, Platform::Handle library, const std::array<std::string_view, N>& names) {
  for (std::string_view name : names)
    if (!trust.HasTrustFunction(library, name)) return false;
  return true;
}

std::u16string MemberTagOf(const std::vector<uint8_t>& hash) {
  std::u16string tag;
  for (uint8_t byte : hash) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    tag += static_cast<char16_t>(digits[0]);
    tag += static_cast<char16_t>(digits[1]);
  }
  return tag;
}

}  // namespace

SignatureVerifier::SignatureVerifier(Platform::System& system) : system_(system) {
  Platform::Trust& trust = system.Trust();
  library_ = Platform::ScopedTrustLibrary(trust, trust.LoadTrustLibrary());
  if (!library_) return;
  catalogFunctionsAvailable_ = HasAll(trust, library_.Get(), Platform::kFirstGenerationCatalogFunctions);
  if (VyrUtilities::GetOsVersionOrdinal(system) >= kFirstSecondGenerationOrdinal)
    secondGenerationAvailable_ = HasAll(trust, library_.Get(), Platform::kSecondGenerationCatalogFunctions);
  if (secondGenerationAvailable_)
    catalogContext_ = Platform::ScopedCatalogContext(trust, trust.AcquireCatalogContext(2));
  else if (catalogFunctionsAvailable_)
    catalogContext_ = Platform::ScopedCatalogContext(trust, trust.AcquireCatalogContext(1));
}

uint32_t SignatureVerifier::VerifyFileSignature(const std::u16string& path, SignerRecord* signer,
                                                std::vector<SignerRecord>* counterSigners) {
  const uint32_t code = VerifyWithTrustProvider(TrustAction::kGenericVerifyV2, {path, {}, {}}, signer, counterSigners);
  if (code != kSignatureNotSigned) return code;
  if (!catalogCheckEnabled_ || (!catalogFunctionsAvailable_ && !secondGenerationAvailable_))
    return kSignatureNotSigned;
  return VerifyInCatalogs(path, signer, counterSigners);
}

// Only a file without an embedded signature gets here. The administrator context is
// the verifier's for its whole life: released by the destructor, so that a verifier
// asked twice searches the catalogs twice.
uint32_t SignatureVerifier::VerifyInCatalogs(const std::u16string& path, SignerRecord* signer,
                                             std::vector<SignerRecord>* counterSigners) {
  Platform::FileSystem& files = system_.Files();
  Platform::Handle file = 0;
  if (files.CreateFile(path, Platform::kGenericRead, Platform::kFileShareRead, Platform::kOpenExisting, 0, &file) !=
      Platform::kErrorSuccess)
    return kSignatureCatalogImpossible;
  uint32_t code = kSignatureCatalogImpossible;
  std::vector<uint8_t> hash;
  hash.reserve(kCatalogHashCapacity);
  const int generation = secondGenerationAvailable_ ? 2 : 1;
  if (catalogContext_ &&
      system_.Trust().CalculateCatalogHash(catalogContext_.Get(), path, generation, &hash) == Platform::kErrorSuccess &&
      hash.size() <= kCatalogHashCapacity) {
    const std::optional<std::u16string> catalog = system_.Trust().FindCatalogForHash(catalogContext_.Get(), hash);
    code = catalog ? VerifyWithTrustProvider(TrustAction::kDriverVerify, {path, *catalog, MemberTagOf(hash), hash},
                                             signer, counterSigners)
                   : kSignatureNotSigned;
  }
  files.CloseFile(file);
  return code;
}

uint32_t SignatureVerifier::VerifyWithTrustProvider(TrustAction action, const TrustData& trustData,
                                                    SignerRecord* signer, std::vector<SignerRecord>* counterSigners) {
  lastTrustError_ = 0;
  Platform::Trust& trust = system_.Trust();
  const Platform::TrustVerdict verdict =
      action == TrustAction::kGenericVerifyV2
          ? trust.VerifyEmbedded(trustData.filePath)
          : trust.VerifyCatalogMember(catalogContext_.Get(), trustData.catalogPath, trustData.memberTag,
                                      trustData.filePath, trustData.memberHash);
  const uint32_t code = SignatureCodeOf(verdict.status);
  if (code >= kSignatureTrusted && signer && verdict.signer) FillRecords(*verdict.signer, signer, counterSigners);
  if (code == kSignatureCheckFailed) lastTrustError_ = verdict.status;
  return code;
}

void SignatureVerifier::FillRecords(const Platform::SignerChain& chain, SignerRecord* signer,
                                    std::vector<SignerRecord>* counterSigners) {
  if (chain.certificate) {
    const Platform::CertificateNames& certificate = *chain.certificate;
    GetCertificateName(certificate, CertificateNameType::kSimpleDisplay, false, &signer->name);
    GetCertificateName(certificate, CertificateNameType::kEmail, false, &signer->email);
    GetCertificateName(certificate, CertificateNameType::kSimpleDisplay, true, &signer->issuer);
    signer->signedTime = FormatSignatureTime(system_, chain.verifyAsOfTime);
    signer->validFrom = FormatSignatureTime(system_, certificate.notBefore);
    signer->validTo = FormatSignatureTime(system_, certificate.notAfter);
  }
  if (!counterSigners) return;
  // Every counter-signer carries the signer's verify-as-of time, not a time of its own.
  for (const Platform::CertificateNames& certificate : chain.counterSigners) {
    SignerRecord record;
    GetCertificateName(certificate, CertificateNameType::kSimpleDisplay, false, &record.name);
    GetCertificateName(certificate, CertificateNameType::kEmail, false, &record.email);
    record.signedTime = FormatSignatureTime(system_, chain.verifyAsOfTime);
    counterSigners->push_back(std::move(record));
  }
}

}  // namespace FileInfo
