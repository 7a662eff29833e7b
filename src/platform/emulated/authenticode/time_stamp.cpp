#include "platform/emulated/authenticode/time_stamp.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include <openssl/cms.h>
#include <openssl/objects.h>
#include <openssl/ts.h>

#include "platform/emulated/authenticode/certificate_chain.h"

namespace Emulated {
namespace {

constexpr const char* kRfc3161CounterSignOid = "1.3.6.1.4.1.311.3.3.1";

PKCS7_SIGNER_INFO* SignerOf(const SignedMessage& message) {
  return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(message.pkcs7.get()), 0);
}

// The stamp covers the signer's signature value: its hash must match the imprint.
bool ImprintMatches(const PKCS7_SIGNER_INFO* signer, const EVP_MD* md, const ASN1_OCTET_STRING* imprint) {
  if (!md || !imprint) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(signer->enc_digest->data, signer->enc_digest->length, digest, &length, md, nullptr);
  return static_cast<int>(length) == imprint->length && std::equal(digest, digest + length, imprint->data);
}

// The authority's certificate must chain to a trusted root, be valid at the stamp and
// be meant for time stamping.
void JudgeAuthority(const CertificateStores& stores, STACK_OF(X509)* carried, TimeStamp* stamp) {
  stamp->verified = true;
  ChainRequest request;
  request.leaf = stamp->authority.get();
  request.carried = carried;
  request.asOf = stamp->time;
  request.usage = RequiredUsage::kTimeStamping;
  stamp->chainStatus = JudgeChain(stores, request);
}

const ASN1_TYPE* UnsignedAttribute(PKCS7_SIGNER_INFO* signer, const char* oid) {
  for (int i = 0; i < sk_X509_ATTRIBUTE_num(signer->unauth_attr); ++i) {
    X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, i);
    char text[64] = {};
    OBJ_obj2txt(text, sizeof text, X509_ATTRIBUTE_get0_object(attribute), 1);
    if (std::string_view(text) == oid) return X509_ATTRIBUTE_get0_type(attribute, 0);
  }
  return nullptr;
}

// PKCS#9 counterSignature: a SignerInfo whose signingTime is the stamp.
TimeStamp FromCounterSignature(const SignedMessage& message, const ASN1_TYPE* value,
                               const CertificateStores& stores) {
  TimeStamp stamp;
  const unsigned char* cursor = value->value.sequence->data;
  std::unique_ptr<PKCS7_SIGNER_INFO, decltype(&PKCS7_SIGNER_INFO_free)> counter(
      d2i_PKCS7_SIGNER_INFO(nullptr, &cursor, value->value.sequence->length), PKCS7_SIGNER_INFO_free);
  if (!counter) return stamp;
  STACK_OF(X509)* carried = message.pkcs7->d.sign->cert;
  X509* authority = SignerCertificate(counter.get(), carried);
  const ASN1_TYPE* signingTime = PKCS7_get_signed_attribute(counter.get(), NID_pkcs9_signingTime);
  if (!authority || !signingTime ||
      (signingTime->type != V_ASN1_UTCTIME && signingTime->type != V_ASN1_GENERALIZEDTIME))
    return stamp;
  // The counter-signature's messageDigest covers the signer's signature value.
  const ASN1_OCTET_STRING* signature = SignerOf(message)->enc_digest;
  if (!SignerInfoVerifies(counter.get(), authority, {signature->data, static_cast<size_t>(signature->length)}))
    return stamp;
  X509_up_ref(authority);
  stamp.authority.reset(authority);
  stamp.time = FileTimeOf(signingTime->value.asn1_string);
  JudgeAuthority(stores, carried, &stamp);
  return stamp;
}

using CmsPtr = std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)>;
using CertificateList = std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)>;

void FreeCertificates(STACK_OF(X509)* certificates) { sk_X509_pop_free(certificates, X509_free); }

// The token's TSTInfo once the token's signature over it holds.
std::unique_ptr<TS_TST_INFO, decltype(&TS_TST_INFO_free)> VerifiedTokenInfo(CMS_ContentInfo* token) {
  std::unique_ptr<TS_TST_INFO, decltype(&TS_TST_INFO_free)> none(nullptr, TS_TST_INFO_free);
  std::unique_ptr<BIO, decltype(&BIO_free)> content(BIO_new(BIO_s_mem()), BIO_free);
  if (CMS_verify(token, nullptr, nullptr, nullptr, content.get(), CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1)
    return none;
  const unsigned char* data = nullptr;
  const long length = BIO_get_mem_data(content.get(), &data);
  return {d2i_TS_TST_INFO(nullptr, &data, length), TS_TST_INFO_free};
}

// RFC 3161: a SignedData over a TSTInfo whose genTime is the stamp. Tokens are read
// as CMS, since real authorities put certificate forms in them that PKCS#7 lacks.
TimeStamp FromTimeStampToken(const SignedMessage& message, const ASN1_TYPE* value,
                             const CertificateStores& stores) {
  TimeStamp stamp;
  const unsigned char* cursor = value->value.sequence->data;
  CmsPtr token(d2i_CMS_ContentInfo(nullptr, &cursor, value->value.sequence->length), CMS_ContentInfo_free);
  if (!token) return stamp;
  const auto info = VerifiedTokenInfo(token.get());
  if (!info) return stamp;
  TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info.get());
  const EVP_MD* md = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm);
  if (!ImprintMatches(SignerOf(message), md, TS_MSG_IMPRINT_get_msg(imprint))) return stamp;
  STACK_OF(X509)* signers = CMS_get0_signers(token.get());
  if (sk_X509_num(signers) > 0) {
    X509_up_ref(sk_X509_value(signers, 0));
    stamp.authority.reset(sk_X509_value(signers, 0));
  }
  sk_X509_free(signers);
  if (!stamp.authority) return stamp;
  stamp.time = FileTimeOf(TS_TST_INFO_get_time(info.get()));
  CertificateList carried(CMS_get1_certs(token.get()), FreeCertificates);
  JudgeAuthority(stores, carried.get(), &stamp);
  return stamp;
}

}  // namespace

std::optional<TimeStamp> ReadTimeStamp(const SignedMessage& message, const CertificateStores& stores) {
  PKCS7_SIGNER_INFO* signer = SignerOf(message);
  if (const ASN1_TYPE* value = PKCS7_get_attribute(signer, NID_pkcs9_countersignature))
    return value->type == V_ASN1_SEQUENCE ? FromCounterSignature(message, value, stores) : TimeStamp{};
  if (const ASN1_TYPE* value = UnsignedAttribute(signer, kRfc3161CounterSignOid))
    return value->type == V_ASN1_SEQUENCE ? FromTimeStampToken(message, value, stores) : TimeStamp{};
  return std::nullopt;
}

}  // namespace Emulated
