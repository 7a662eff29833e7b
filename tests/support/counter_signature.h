#pragma once
// Gives a signed image the older form of time stamp, a PKCS#9 counter-signature in
// the signer's unsigned attributes (osslsigncode only asks RFC 3161 servers), and
// writes the certificate table back.

#include <openssl/pkcs7.h>

#include <ctime>
#include <optional>
#include <string>

#include "support/signing_kit.h"

namespace SigningKit {

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
inline void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The counter-signer's messageDigest covers the signer's signature value; with
// spoiled it covers something else, as a stamp of another signature would.
inline PKCS7_SIGNER_INFO* CounterSigner(PKCS7_SIGNER_INFO* signer, const Identity& authority, time_t when,
                                        bool spoiled) {
  PKCS7_SIGNER_INFO* counter = PKCS7_SIGNER_INFO_new();
  PKCS7_SIGNER_INFO_set(counter, authority.certificate.get(), authority.key.get(), EVP_sha256());
  PKCS7_add_signed_attribute(counter, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_nid2obj(NID_pkcs7_data));
  PKCS7_add_signed_attribute(counter, NID_pkcs9_signingTime, V_ASN1_UTCTIME, ASN1_UTCTIME_adj(nullptr, when, 0, 0));
  unsigned char digest[32];
  EVP_Digest(signer->enc_digest->data, signer->enc_digest->length - (spoiled ? 1 : 0), digest, nullptr, EVP_sha256(),
             nullptr);
  ASN1_OCTET_STRING* value = ASN1_OCTET_STRING_new();
  ASN1_OCTET_STRING_set(value, digest, sizeof digest);
  PKCS7_add_signed_attribute(counter, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING, value);
  PKCS7_SIGNER_INFO_sign(counter);
  return counter;
}

// A SignedData (an image's certificate-table entry, a catalog) with a PKCS#9
// counter-signature given to its first signer; nothing when der does not decode.
inline std::optional<std::vector<uint8_t>> CounterSignMessage(const std::vector<uint8_t>& der,
                                                               const Identity& authority, time_t when,
                                                               bool spoiled = false) {
  const unsigned char* cursor = der.data();
  PKCS7* pkcs7 = d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size()));
  if (!pkcs7) return std::nullopt;
  PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(pkcs7), 0);
  PKCS7_SIGNER_INFO* counter = CounterSigner(signer, authority, when, spoiled);
  unsigned char* encoded = nullptr;
  const int length = i2d_PKCS7_SIGNER_INFO(counter, &encoded);
  ASN1_STRING* sequence = ASN1_STRING_type_new(V_ASN1_SEQUENCE);
  ASN1_STRING_set(sequence, encoded, length);
  PKCS7_add_attribute(signer, NID_pkcs9_countersignature, V_ASN1_SEQUENCE, sequence);
  PKCS7_add_certificate(pkcs7, authority.certificate.get());
  OPENSSL_free(encoded);
  PKCS7_SIGNER_INFO_free(counter);
  encoded = nullptr;
  const int total = i2d_PKCS7(pkcs7, &encoded);
  PKCS7_free(pkcs7);
  std::vector<uint8_t> out(encoded, encoded + total);
  OPENSSL_free(encoded);
  return out;
}

// input: an image osslsigncode signed (its certificate table last in the file).
inline bool AddCounterSignature(const std::string& input, const std::string& output, const Identity& authority,
                                time_t when, bool spoiled = false) {
  std::vector<uint8_t> bytes = ReadHostFile(input);
  const size_t pe = Le32(bytes, 0x3C);
  const size_t entry = pe + 24 + (bytes[pe + 24] == 0x0B && bytes[pe + 25] == 0x02 ? 112 : 96) + 4 * 8;
  const size_t table = Le32(bytes, entry);
  const std::vector<uint8_t> blob(bytes.begin() + table + 8, bytes.begin() + table + Le32(bytes, table));
  const auto signedBlob = CounterSignMessage(blob, authority, when, spoiled);
  if (!signedBlob) return false;
  const uint32_t entryLength = 8 + static_cast<uint32_t>(signedBlob->size());
  bytes.resize(table);
  bytes.insert(bytes.end(), {0, 0, 0, 0, 0x00, 0x02, 0x02, 0x00});  // WIN_CERT_REVISION_2_0, PKCS_SIGNED_DATA
  PutLe32(bytes, table, entryLength);
  bytes.insert(bytes.end(), signedBlob->begin(), signedBlob->end());
  bytes.resize(table + ((entryLength + 7) & ~7u), 0);
  PutLe32(bytes, entry + 4, static_cast<uint32_t>(bytes.size() - table));
  WriteHostFile(output, bytes);
  return true;
}

}  // namespace SigningKit
