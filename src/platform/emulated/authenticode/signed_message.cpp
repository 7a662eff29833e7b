#include "platform/emulated/authenticode/signed_message.h"

#include <openssl/objects.h>

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/emulated/der/ber_encoding.h"
#include "platform/emulated/der/der_reader.h"

namespace Emulated {
namespace {

const EVP_MD* DigestNamed(std::span<const uint8_t> oidWhole) {
  const unsigned char* cursor = oidWhole.data();
  ASN1_OBJECT* object = d2i_ASN1_OBJECT(nullptr, &cursor, static_cast<long>(oidWhole.size()));
  const EVP_MD* md = object ? EVP_get_digestbyobj(object) : nullptr;
  ASN1_OBJECT_free(object);
  return md;
}

// DigestInfo ::= SEQUENCE { AlgorithmIdentifier, OCTET STRING }
std::optional<IndirectData> ReadDigestInfo(const DerElement& digestInfo) {
  DerReader fields = Inside(digestInfo);
  const auto algorithm = fields.Expect(V_ASN1_SEQUENCE);
  const auto digest = fields.Expect(V_ASN1_OCTET_STRING);
  if (!algorithm || !digest) return std::nullopt;
  DerReader algorithmFields = Inside(*algorithm);
  const auto oid = algorithmFields.Expect(V_ASN1_OBJECT);
  if (!oid) return std::nullopt;
  IndirectData data;
  data.digestAlgorithm = DigestNamed(oid->whole);
  data.digest.assign(digest->contents.begin(), digest->contents.end());
  if (!data.digestAlgorithm || data.digest.size() != static_cast<size_t>(EVP_MD_get_size(data.digestAlgorithm)))
    return std::nullopt;
  return data;
}

// SpcIndirectDataContent ::= SEQUENCE { data SEQUENCE, messageDigest DigestInfo }
std::optional<IndirectData> ReadIndirectDataContents(std::span<const uint8_t> contents) {
  DerReader fields(contents);
  if (!fields.Expect(V_ASN1_SEQUENCE)) return std::nullopt;
  const auto digestInfo = fields.Expect(V_ASN1_SEQUENCE);
  if (!digestInfo) return std::nullopt;
  return ReadDigestInfo(*digestInfo);
}

// A member tag is stored as UTF-16LE text in an OCTET STRING.
std::u16string TagText(std::span<const uint8_t> bytes) {
  return Platform::Utf16LeTextToNul(bytes);
}

// Attribute ::= SEQUENCE { type OID, values SET OF ANY }: the indirect data's digest.
void ReadMemberAttribute(const DerElement& attribute, CatalogMember* member) {
  DerReader fields = Inside(attribute);
  const auto type = fields.Expect(V_ASN1_OBJECT);
  const auto values = fields.Expect(V_ASN1_SET);
  if (!type || !values || DottedOid(type->whole) != kSpcIndirectDataOid) return;
  DerReader valueList = Inside(*values);
  if (const auto value = valueList.Expect(V_ASN1_SEQUENCE))
    if (const auto data = ReadIndirectDataContents(value->contents)) member->digest = data->digest;
}

// TrustedSubject ::= SEQUENCE { subjectIdentifier OCTET STRING, attributes SET OPTIONAL }
std::optional<CatalogMember> ReadMember(const DerElement& subject) {
  DerReader fields = Inside(subject);
  const auto identifier = fields.Expect(V_ASN1_OCTET_STRING);
  if (!identifier) return std::nullopt;
  CatalogMember member;
  member.tag = TagText(identifier->contents);
  if (const auto attributes = fields.Expect(V_ASN1_SET)) {
    DerReader list = Inside(*attributes);
    while (const auto attribute = list.Expect(V_ASN1_SEQUENCE)) ReadMemberAttribute(*attribute, &member);
  }
  return member;
}

// The content octets of the content's own element: what PKCS#7 hashes for a content
// that is not plain data.
std::optional<std::vector<uint8_t>> ContentBytes(PKCS7* pkcs7) {
  PKCS7* inner = pkcs7->d.sign->contents;
  if (!inner || PKCS7_type_is_data(inner) || !inner->d.other) return std::nullopt;
  const ASN1_TYPE* value = inner->d.other;
  if (value->type != V_ASN1_SEQUENCE) return std::nullopt;
  DerReader reader(std::span<const uint8_t>(value->value.sequence->data, value->value.sequence->length));
  const auto element = reader.Expect(V_ASN1_SEQUENCE);
  if (!element) return std::nullopt;
  return std::vector<uint8_t>(element->contents.begin(), element->contents.end());
}

bool SignatureOverAttributesHolds(PKCS7_SIGNER_INFO* signer, const EVP_MD* md, EVP_PKEY* key) {
  unsigned char* attributes = nullptr;
  const int length = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(signer->auth_attr), &attributes,
                                   ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
  if (length <= 0) return false;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  const bool holds = key && EVP_DigestVerifyInit(context, nullptr, md, nullptr, key) == 1 &&
                     EVP_DigestVerify(context, signer->enc_digest->data, signer->enc_digest->length, attributes,
                                      static_cast<size_t>(length)) == 1;
  EVP_MD_CTX_free(context);
  OPENSSL_free(attributes);
  return holds;
}

}  // namespace

X509* SignerCertificate(PKCS7_SIGNER_INFO* signer, STACK_OF(X509)* carried) {
  if (!signer->issuer_and_serial || !carried) return nullptr;
  return X509_find_by_issuer_and_serial(carried, signer->issuer_and_serial->issuer,
                                        signer->issuer_and_serial->serial);
}

bool SignerInfoVerifies(PKCS7_SIGNER_INFO* signer, X509* certificate, std::span<const uint8_t> content) {
  if (!certificate || sk_X509_ATTRIBUTE_num(signer->auth_attr) <= 0) return false;
  const EVP_MD* md = EVP_get_digestbyobj(signer->digest_alg->algorithm);
  const ASN1_OCTET_STRING* expected = PKCS7_digest_from_attributes(signer->auth_attr);
  if (!md || !expected) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(content.data(), content.size(), digest, &length, md, nullptr) != 1) return false;
  if (static_cast<int>(length) != expected->length || !std::equal(digest, digest + length, expected->data))
    return false;
  return SignatureOverAttributesHolds(signer, md, X509_get0_pubkey(certificate));
}

std::string DottedOid(std::span<const uint8_t> whole) {
  const unsigned char* cursor = whole.data();
  ASN1_OBJECT* object = d2i_ASN1_OBJECT(nullptr, &cursor, static_cast<long>(whole.size()));
  if (!object) return {};
  char text[128] = {};
  OBJ_obj2txt(text, sizeof text, object, 1);
  ASN1_OBJECT_free(object);
  return text;
}

namespace {

std::optional<SignedMessage> ReadDerMessage(std::span<const uint8_t> der) {
  const unsigned char* cursor = der.data();
  Pkcs7Ptr pkcs7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size())));
  if (!pkcs7 || !PKCS7_type_is_signed(pkcs7.get()) || !pkcs7->d.sign) return std::nullopt;
  // Several signers are allowed; the first is the one the provider judges.
  if (sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(pkcs7.get())) < 1) return std::nullopt;
  auto bytes = ContentBytes(pkcs7.get());
  if (!bytes) return std::nullopt;
  char type[128] = {};
  OBJ_obj2txt(type, sizeof type, pkcs7->d.sign->contents->type, 1);
  return SignedMessage{std::move(pkcs7), type, std::move(*bytes)};
}

}  // namespace

// DER first, as almost every signature is; a BER one (indefinite lengths) is read in
// its DER form, over which its digests are defined.
std::optional<SignedMessage> ReadSignedMessage(std::span<const uint8_t> data) {
  if (auto message = ReadDerMessage(data)) return message;
  const std::optional<std::vector<uint8_t>> der = BerToDer(data);
  return der ? ReadDerMessage(*der) : std::nullopt;
}

std::optional<IndirectData> ReadIndirectData(const SignedMessage& message) {
  if (message.contentType != kSpcIndirectDataOid) return std::nullopt;
  return ReadIndirectDataContents(message.signedBytes);
}

// CertificateTrustList ::= SEQUENCE { subjectUsage SEQUENCE, listIdentifier OCTET
//   STRING OPTIONAL, sequenceNumber INTEGER OPTIONAL, thisUpdate Time, nextUpdate Time
//   OPTIONAL, subjectAlgorithm SEQUENCE, trustedSubjects SEQUENCE OF OPTIONAL, ... }
std::optional<std::vector<CatalogMember>> ReadCatalogMembers(const SignedMessage& message) {
  if (message.contentType != kCertificateTrustListOid) return std::nullopt;
  DerReader fields(message.signedBytes);
  if (!fields.Expect(V_ASN1_SEQUENCE)) return std::nullopt;
  std::vector<CatalogMember> members;
  // The optional fields are told apart by tag; the first two sequences after the
  // usage are the subject algorithm and the subject list.
  int sequencesSeen = 0;
  while (const auto field = fields.Next()) {
    if (field->tagClass != V_ASN1_UNIVERSAL || field->tag != V_ASN1_SEQUENCE) continue;
    if (++sequencesSeen < 2) continue;
    DerReader subjects = Inside(*field);
    while (const auto subject = subjects.Expect(V_ASN1_SEQUENCE))
      if (auto member = ReadMember(*subject)) members.push_back(std::move(*member));
    break;
  }
  return members;
}

}  // namespace Emulated
