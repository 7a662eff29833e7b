#pragma once
// Signature verification of a process image: the embedded Authenticode signature
// first, the security catalogs for a file without one; the signer and its first
// counter-signer are stored as DigitalSignatures rows.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/system.h"

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace FileInfo {

// What a check tells of one certificate. Only name, e-mail and signed time are
// stored; issuer and validity are filled for the signer alone.
struct SignerRecord {
  std::u16string name;
  std::u16string email;
  std::u16string signedTime;
  std::u16string issuer;
  std::u16string validFrom;
  std::u16string validTo;
};

// The verdict of a check.
enum SignatureCode : uint32_t {
  kSignatureNotSigned = 0,
  kSignatureCheckFailed = 1,
  kSignatureTrusted = 2,
  kSignatureExpired = 3,
  kSignatureRevoked = 4,
  kSignatureDistrusted = 5,
  kSignatureBlockedBySettings = 6,
  kSignatureCatalogImpossible = 7,
};

// The trust provider's actions: WINTRUST_ACTION_GENERIC_VERIFY_V2
// {00AAC56B-CD44-11D0-8CC2-00C04FC295EE} for embedded signatures, DRIVER_ACTION_VERIFY
// {F750E6C3-38EE-11D1-85E5-00C04FC295EE} for catalog members.
enum class TrustAction { kGenericVerifyV2, kDriverVerify };

// The subject of one WinVerifyTrust call: a file, or a member of a catalog.
struct TrustData {
  std::u16string filePath;     // the file (both subjects)
  std::u16string catalogPath;  // catalog subject only
  std::u16string memberTag;    // catalog subject only
  // Catalog subject only: the member hash and, in VerifyWithTrustProvider, the
  // administrator context it was calculated with go along, as Windows 8 and later
  // need them for SHA-256 catalogs.
  std::vector<uint8_t> memberHash;
};

// CertGetNameString's types this system asks for.
enum class CertificateNameType { kEmail = 1, kSimpleDisplay = 4 };

class SignatureVerifier {
 public:
  // Loads the trust library, finds the catalog functions and acquires the catalog
  // administrator context; what is missing only narrows what the checks can do.
  explicit SignatureVerifier(Platform::System& system);
  SignatureVerifier(const SignatureVerifier&) = delete;
  SignatureVerifier& operator=(const SignatureVerifier&) = delete;

  // The code of the file's signature (embedded first, then the catalogs). signer and
  // counterSigners may be null when not wanted.
  uint32_t VerifyFileSignature(const std::u16string& path, SignerRecord* signer,
                               std::vector<SignerRecord>* counterSigners);
  // One trust-provider call on trustData, its status mapped to a code; fills the
  // records from the provider data when the code is 2 or more.
  uint32_t VerifyWithTrustProvider(TrustAction action, const TrustData& trustData, SignerRecord* signer,
                                   std::vector<SignerRecord>* counterSigners);
  // The raw status of the last check that ended in code 1.
  Platform::HResult LastTrustError() const { return lastTrustError_; }

 private:
  uint32_t VerifyInCatalogs(const std::u16string& path, SignerRecord* signer,
                            std::vector<SignerRecord>* counterSigners);
  void FillRecords(const Platform::SignerChain& chain, SignerRecord* signer,
                   std::vector<SignerRecord>* counterSigners);

  Platform::System& system_;
  bool catalogFunctionsAvailable_ = false;
  bool secondGenerationAvailable_ = false;
  bool catalogCheckEnabled_ = true;
  Platform::HResult lastTrustError_ = 0;
  // In this order: the catalog context is released before the library it came from
  // is freed.
  Platform::ScopedTrustLibrary library_;
  Platform::ScopedCatalogContext catalogContext_;
};

// The WinVerifyTrust status as a code (the table of the codes lives with it).
uint32_t SignatureCodeOf(Platform::HResult status);

// CertGetNameString of certificate: the simple display name or the e-mail name of the
// subject, or with issuer of the issuer. False, and out untouched, when the name is
// empty.
bool GetCertificateName(const Platform::CertificateNames& certificate, CertificateNameType nameType,
                        bool issuer, std::u16string* out);

// A signature time as MM/DD/YYYY HH:MM:SS in the machine's local time.
std::u16string FormatSignatureTime(Platform::System& system, Platform::FileTime fileTime);

// What the check of one file found, kept until its rows are written.
struct FileSignature {
  uint32_t code = kSignatureNotSigned;
  SignerRecord signer;
  std::vector<SignerRecord> counterSigners;
};

// Checks path; an empty path (no known image) is not checked.
FileSignature CheckFileSignature(Platform::System& system, const std::u16string& path);
// The signer's rows of a check. The DigitalSignatures KEY of the signer, 0 when no
// row was written.
int32_t WriteFileSignature(Database::LoadPointDatabase& database, const FileSignature& signature);
// Both in one.
int32_t AddFileSignature(Platform::System& system, Database::LoadPointDatabase& database,
                         const std::u16string& path);

}  // namespace FileInfo
