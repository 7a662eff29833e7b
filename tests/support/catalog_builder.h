#pragma once
// Catalog files as the Windows catalog tools write them: a PKCS#7 SignedData whose
// content (not wrapped in an OCTET STRING) is a certificate trust list of members,
// each tagged with its hash in upper-case hexadecimal (UTF-16) and carrying the hash
// again in an indirect-data attribute. No Debian tool writes these, so the DER is
// generated here and signed with OpenSSL's PKCS#7 routines.

#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include <string>
#include <utility>
#include <vector>

#include "support/signing_kit.h"

namespace SigningKit {

using Bytes = std::vector<uint8_t>;

inline Bytes Tlv(uint8_t tag, const Bytes& contents) {
  Bytes out{tag};
  const size_t n = contents.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else {
    Bytes length;
    for (size_t rest = n; rest; rest >>= 8) length.insert(length.begin(), static_cast<uint8_t>(rest));
    out.push_back(static_cast<uint8_t>(0x80 | length.size()));
    out.insert(out.end(), length.begin(), length.end());
  }
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}
inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
inline Bytes Oid(const char* dotted) {
  ASN1_OBJECT* object = OBJ_txt2obj(dotted, 1);
  unsigned char* der = nullptr;
  const int length = i2d_ASN1_OBJECT(object, &der);
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  ASN1_OBJECT_free(object);
  return bytes;
}
inline Bytes Sequence(std::initializer_list<Bytes> parts) { return Tlv(0x30, Join(parts)); }

inline Bytes TagBytes(const std::vector<uint8_t>& hash) {
  Bytes tag;
  for (uint8_t byte : hash)
    for (int shift : {4, 0}) tag.insert(tag.end(), {static_cast<uint8_t>("0123456789ABCDEF"[(byte >> shift) & 15]), 0});
  tag.insert(tag.end(), {0, 0});
  return tag;
}

// One member: tag and SpcIndirectDataContent {SPC_PE_IMAGE_DATA, DigestInfo}.
inline Bytes Member(const std::vector<uint8_t>& hash) {
  const char* digest = hash.size() == 32 ? "2.16.840.1.101.3.4.2.1" : "1.3.14.3.2.26";
  const Bytes indirect = Sequence({Sequence({Oid("1.3.6.1.4.1.311.2.1.15")}),
                                   Sequence({Sequence({Oid(digest), Tlv(0x05, {})}), Tlv(0x04, hash)})});
  const Bytes attribute = Sequence({Oid("1.3.6.1.4.1.311.2.1.4"), Tlv(0x31, indirect)});
  return Sequence({Tlv(0x04, TagBytes(hash)), Tlv(0x31, attribute)});
}

// The certificate trust list over the member hashes; the list of a second-generation
// catalog names its members with the second member-type identifier.
inline Bytes TrustList(const std::vector<std::vector<uint8_t>>& hashes, bool secondGeneration) {
  Bytes members;
  for (const auto& hash : hashes) {
    const Bytes member = Member(hash);
    members.insert(members.end(), member.begin(), member.end());
  }
  const char* memberType = secondGeneration ? "1.3.6.1.4.1.311.12.1.3" : "1.3.6.1.4.1.311.12.1.2";
  const std::string now = "240101000000Z";
  return Sequence({Sequence({Oid("1.3.6.1.4.1.311.12.1.1")}), Tlv(0x04, Bytes(16, 0x42)),
                   Tlv(0x17, Bytes(now.begin(), now.end())), Sequence({Oid(memberType), Tlv(0x05, {})}),
                   Tlv(0x30, members)});
}

// The signed catalog, carrying each signer's certificate and its issuer's:
// messageDigest over the list's content octets, then the list put in place of the
// data content. DER sorts the signers by their encoding, so the one given first need
// not come first in the file.
inline Bytes SignCatalog(const Bytes& trustList, const Identity& signer, const Identity& issuer,
                         const std::vector<std::pair<const Identity*, const Identity*>>& moreSigners = {}) {
  PKCS7* pkcs7 = PKCS7_new();
  PKCS7_set_type(pkcs7, NID_pkcs7_signed);
  std::vector<std::pair<const Identity*, const Identity*>> signers{{&signer, &issuer}};
  signers.insert(signers.end(), moreSigners.begin(), moreSigners.end());
  for (const auto& [who, by] : signers) {
    PKCS7_SIGNER_INFO* info = PKCS7_add_signature(pkcs7, who->certificate.get(), who->key.get(), EVP_sha256());
    PKCS7_add_certificate(pkcs7, who->certificate.get());
    PKCS7_add_certificate(pkcs7, by->certificate.get());
    PKCS7_add_signed_attribute(info, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_txt2obj("1.3.6.1.4.1.311.10.1", 1));
  }
  PKCS7_content_new(pkcs7, NID_pkcs7_data);
  BIO* data = PKCS7_dataInit(pkcs7, nullptr);
  const size_t header = trustList[1] & 0x80 ? 2 + (trustList[1] & 0x7F) : 2;
  BIO_write(data, trustList.data() + header, static_cast<int>(trustList.size() - header));
  PKCS7_dataFinal(pkcs7, data);
  BIO_free_all(data);
  PKCS7* content = PKCS7_new();
  content->type = OBJ_txt2obj("1.3.6.1.4.1.311.10.1", 1);
  content->d.other = ASN1_TYPE_new();
  ASN1_STRING* sequence = ASN1_STRING_type_new(V_ASN1_SEQUENCE);
  ASN1_STRING_set(sequence, trustList.data(), static_cast<int>(trustList.size()));
  ASN1_TYPE_set(content->d.other, V_ASN1_SEQUENCE, sequence);
  PKCS7_set_content(pkcs7, content);
  unsigned char* der = nullptr;
  const int length = i2d_PKCS7(pkcs7, &der);
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  PKCS7_free(pkcs7);
  return bytes;
}

}  // namespace SigningKit
