// The codes of a trust verdict, certificate names and times, and the rows a check
// leaves in the database.
#include "database/load_point_database.h"
#include "fileinfo/signature_verifier.h"
#include "util/time_text.h"

using Database::LoadPointDatabase;

namespace FileInfo {

uint32_t SignatureCodeOf(Platform::HResult status) {
  switch (status) {
    case Platform::kSOk:
      return kSignatureTrusted;
    case Platform::kTrustENoSignature:
      return kSignatureNotSigned;
    case Platform::kCertEExpired:
      return kSignatureExpired;
    case Platform::kCertERevoked:
      return kSignatureRevoked;
    case Platform::kTrustEExplicitDistrust:
      return kSignatureDistrusted;
    // Security settings that block a check exist only on real Windows; the emulated
    // provider never gives this status, so code 6 is reached there alone.
    case Platform::kCryptESecuritySettings:
      return kSignatureBlockedBySettings;
    default:
      return kSignatureCheckFailed;
  }
}

bool GetCertificateName(const Platform::CertificateNames& certificate, CertificateNameType nameType,
                        bool issuer, std::u16string* out) {
  const std::u16string* name = nullptr;
  if (nameType == CertificateNameType::kSimpleDisplay)
    name = issuer ? &certificate.issuerSimpleDisplayName : &certificate.simpleDisplayName;
  else if (!issuer)
    name = &certificate.emailName;
  if (!name || name->empty()) return false;
  *out = *name;
  return true;
}

std::u16string FormatSignatureTime(Platform::System& system, Platform::FileTime fileTime) {
  return VyrUtilities::FormatFileTime(system, fileTime, false);
}

FileSignature CheckFileSignature(Platform::System& system, const std::u16string& path) {
  FileSignature signature;
  // A process whose image is not known has no file to check.
  if (path.empty()) return signature;
  SignatureVerifier verifier(system);
  signature.code = verifier.VerifyFileSignature(path, &signature.signer, &signature.counterSigners);
  return signature;
}

int32_t WriteFileSignature(LoadPointDatabase& database, const FileSignature& signature) {
  if (signature.code == kSignatureNotSigned || signature.code == kSignatureCheckFailed) return 0;
  const int32_t valid = signature.code == kSignatureTrusted ? 1 : 0;
  const SignerRecord& signer = signature.signer;
  const int32_t key = database.AddDigitalSignatureEntry(signer.name, signer.email, signer.signedTime, valid);
  if (key < 1) return 0;
  if (!signature.counterSigners.empty()) {
    const SignerRecord& first = signature.counterSigners.front();
    const int32_t counterKey = database.AddDigitalSignatureEntry(first.name, first.email, first.signedTime, valid);
    if (counterKey > 0) database.UpdateDigitalSignatureEntry(key, counterKey);
  }
  return key;
}

int32_t AddFileSignature(Platform::System& system, LoadPointDatabase& database, const std::u16string& path) {
  return WriteFileSignature(database, CheckFileSignature(system, path));
}

}  // namespace FileInfo
