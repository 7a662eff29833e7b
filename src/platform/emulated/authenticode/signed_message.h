#pragma once
// A PKCS#7 SignedData as Authenticode and catalog files carry it, and the two contents
// the trust provider reads from one: SpcIndirectDataContent (the digest of a signed
// image) and the certificate trust list of a catalog (its members).

#include <optional>
#include <span>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "platform/emulated/authenticode/openssl_types.h"

namespace Emulated {

struct SignedMessage {
  Pkcs7Ptr pkcs7;
  std::string contentType;          // dotted object identifier
  std::vector<uint8_t> signedBytes;  // what the signer's messageDigest covers
};

// The SignedData in data (DER, or BER with indefinite lengths), or nothing when it is
// not one with at least one signer. The first signer is the one that counts.
std::optional<SignedMessage> ReadSignedMessage(std::span<const uint8_t> data);

// SpcIndirectDataContent: the image's digest and its algorithm.
struct IndirectData {
  const EVP_MD* digestAlgorithm = nullptr;
  std::vector<uint8_t> digest;
};
std::optional<IndirectData> ReadIndirectData(const SignedMessage& message);

// One member of a catalog: its tag (the file hash as upper-case hexadecimal, as the
// catalog tools write it) and the digest its indirect-data attribute holds, if any.
struct CatalogMember {
  std::u16string tag;
  std::vector<uint8_t> digest;
};
// The members of a catalog's certificate trust list, or nothing when the content is
// not one.
std::optional<std::vector<CatalogMember>> ReadCatalogMembers(const SignedMessage& message);

inline constexpr const char* kSpcIndirectDataOid = "1.3.6.1.4.1.311.2.1.4";
inline constexpr const char* kCertificateTrustListOid = "1.3.6.1.4.1.311.10.1";

// The certificate among carried named by signer's issuer and serial, or null.
X509* SignerCertificate(PKCS7_SIGNER_INFO* signer, STACK_OF(X509)* carried);
// Whether signer's messageDigest attribute is the digest of content and its signature
// over its signed attributes holds with certificate's key. A signer without signed
// attributes does not verify: Authenticode always has them.
bool SignerInfoVerifies(PKCS7_SIGNER_INFO* signer, X509* certificate, std::span<const uint8_t> content);

// The dotted form of an OBJECT IDENTIFIER element's whole encoding.
std::string DottedOid(std::span<const uint8_t> whole);

}  // namespace Emulated
