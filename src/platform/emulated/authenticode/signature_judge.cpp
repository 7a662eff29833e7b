#include "platform/emulated/authenticode/signature_judge.h"

#include <algorithm>

#include "platform/emulated/authenticode/authenticode_image.h"
#include "platform/emulated/authenticode/certificate_chain.h"
#include "platform/emulated/authenticode/certificate_names.h"
#include "platform/emulated/authenticode/signed_message.h"
#include "platform/emulated/authenticode/time_stamp.h"

namespace Emulated {
namespace {

using Platform::TrustVerdict;

TrustVerdict Status(Platform::HResult status) {
  TrustVerdict verdict;
  verdict.status = status;
  return verdict;
}

// The signer's signature over the content (its messageDigest and its signed
// attributes); the certificate comes from those the message carries.
X509* VerifiedSigner(const SignedMessage& message) {
  PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(message.pkcs7.get()), 0);
  X509* signer = SignerCertificate(info, message.pkcs7->d.sign->cert);
  return SignerInfoVerifies(info, signer, message.signedBytes) ? signer : nullptr;
}

// A signer whose certificate carries the lifetime-signing usage is judged at the
// machine's clock even when stamped: its signatures die with it.
Platform::FileTime ValidityTime(X509* signer, const std::optional<TimeStamp>& stamp, Platform::FileTime now) {
  if (!stamp || ListsExtendedUsage(signer, kLifetimeSigningOid)) return now;
  return stamp->time;
}

// The signer's chain judged as of the time stamp, or the clock without one; the
// provider data (signer, verify-as-of time, counter-signer) comes with every verdict
// that got that far. The verify-as-of time is the stamp's even for a lifetime signer:
// it is when the file was signed.
TrustVerdict JudgeSignedMessage(const SignedMessage& message, const CertificateStores& stores, ChainRequest request) {
  X509* signer = VerifiedSigner(message);
  if (!signer) return Status(Platform::kTrustEBadDigest);
  const std::optional<TimeStamp> stamp = ReadTimeStamp(message, stores);
  if (stamp && !stamp->verified) return Status(Platform::kTrustETimeStamp);
  request.leaf = signer;
  request.carried = message.pkcs7->d.sign->cert;
  request.asOf = ValidityTime(signer, stamp, request.now);
  TrustVerdict verdict = Status(JudgeChain(stores, request));
  // A sound signer whose stamp comes from an authority the machine does not trust
  // fails on the stamp; otherwise the signer's own fault is the one reported.
  if (verdict.status == Platform::kSOk && stamp && stamp->chainStatus != Platform::kSOk)
    verdict.status = Platform::kTrustETimeStamp;
  Platform::SignerChain chain;
  chain.certificate = NamesOf(signer);
  chain.verifyAsOfTime = stamp ? stamp->time : request.now;
  if (stamp) chain.counterSigners.push_back(NamesOf(stamp->authority.get()));
  verdict.signer = std::move(chain);
  return verdict;
}

}  // namespace

bool SameTag(std::u16string_view a, std::u16string_view b) {
  auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char16_t x, char16_t y) { return upper(x) == upper(y); });
}

bool ListsMember(const CatalogMember& member, std::u16string_view tag) {
  return SameTag(member.tag, tag) || (!member.digest.empty() && SameTag(MemberTagOf(member.digest), tag));
}

std::u16string MemberTagOf(std::span<const uint8_t> hash) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string tag;
  for (uint8_t byte : hash) {
    tag += kDigits[byte >> 4];
    tag += kDigits[byte & 15];
  }
  return tag;
}

std::vector<uint8_t> CatalogHashOf(std::span<const uint8_t> file, const EVP_MD* md) {
  if (const auto layout = ReadPeLayout(file)) return AuthenticodeDigest(file, *layout, md);
  return PlainDigest(file, md);
}

// A file that is no image, has no certificate table, or whose table does not decode
// as a signature is simply not signed.
TrustVerdict JudgeEmbeddedSignature(std::span<const uint8_t> image, const CertificateStores& stores,
                                    Platform::FileTime now) {
  const auto layout = ReadPeLayout(image);
  if (!layout || layout->tableOffset == 0) return Status(Platform::kTrustENoSignature);
  const auto blob = PrimarySignatureBlob(image, *layout);
  if (!blob) return Status(Platform::kTrustENoSignature);
  const auto message = ReadSignedMessage(*blob);
  const auto indirect = message ? ReadIndirectData(*message) : std::nullopt;
  if (!indirect) return Status(Platform::kTrustENoSignature);
  if (AuthenticodeDigest(image, *layout, indirect->digestAlgorithm) != indirect->digest)
    return Status(Platform::kTrustEBadDigest);
  ChainRequest request;
  request.now = now;
  return JudgeSignedMessage(*message, stores, request);
}

TrustVerdict JudgeCatalogMember(std::span<const uint8_t> catalog, std::u16string_view memberTag,
                                std::span<const uint8_t> member, const CertificateStores& stores,
                                Platform::FileTime now, const std::vector<std::u16string>& vendorRoots) {
  const auto message = ReadSignedMessage(catalog);
  const auto members = message ? ReadCatalogMembers(*message) : std::nullopt;
  if (!members) return Status(Platform::kTrustENoSignature);
  const bool listed = std::any_of(members->begin(), members->end(),
                                  [&](const CatalogMember& m) { return ListsMember(m, memberTag); });
  if (!listed) return Status(Platform::kTrustENoSignature);
  // The member file must still be the one the catalog lists.
  const EVP_MD* md = memberTag.size() == 2 * 32 ? EVP_sha256() : EVP_sha1();
  if (!SameTag(MemberTagOf(CatalogHashOf(member, md)), memberTag)) return Status(Platform::kTrustEBadDigest);
  ChainRequest request;
  request.now = now;
  request.checkRevocation = true;
  request.vendorRoots = &vendorRoots;
  return JudgeSignedMessage(*message, stores, request);
}

}  // namespace Emulated
