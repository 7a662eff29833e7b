#include "platform/emulated/authenticode/certificate_chain.h"

#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <string_view>

#include "platform/emulated/authenticode/signature_judge.h"
#include "platform/file_time.h"
#include "platform/trust.h"

namespace Emulated {
namespace {

using Platform::HResult;

// What went wrong while the chain was built, gathered so that the verdict can follow
// the provider's order instead of OpenSSL's.
struct ChainFaults {
  bool expired = false;
  bool untrusted = false;
  bool broken = false;
  bool unknownCritical = false;
};

// Critical extensions Windows' chain engine knows and OpenSSL does not: Microsoft's
// application policies and CA version.
constexpr std::string_view kExtensionsWindowsKnows[] = {"1.3.6.1.4.1.311.21.10", "1.3.6.1.4.1.311.21.1"};

std::string OidText(const ASN1_OBJECT* object) {
  char text[128] = {};
  OBJ_obj2txt(text, sizeof text, object, 1);
  return text;
}

bool HasUnknownCriticalExtension(X509* certificate) {
  for (int i = 0; certificate && i < X509_get_ext_count(certificate); ++i) {
    X509_EXTENSION* extension = X509_get_ext(certificate, i);
    if (!X509_EXTENSION_get_critical(extension) || X509_supported_extension(extension)) continue;
    const std::string oid = OidText(X509_EXTENSION_get_object(extension));
    if (std::find(std::begin(kExtensionsWindowsKnows), std::end(kExtensionsWindowsKnows), oid) ==
        std::end(kExtensionsWindowsKnows))
      return true;
  }
  return false;
}

int CollectFault(int ok, X509_STORE_CTX* context) {
  if (ok) return 1;
  auto* faults = static_cast<ChainFaults*>(X509_STORE_CTX_get_app_data(context));
  switch (X509_STORE_CTX_get_error(context)) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      faults->expired = true;
      break;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      faults->untrusted = true;
      break;
    // Usage is judged below by the policy's own rule.
    case X509_V_ERR_INVALID_PURPOSE:
      break;
    // A critical extension that Windows does not know either fails the chain.
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
      faults->unknownCritical |= HasUnknownCriticalExtension(X509_STORE_CTX_get_current_cert(context));
      break;
    default:
      faults->broken = true;
  }
  return 1;
}

// Chain building: the machine's roots as anchors; the CA store and the certificates
// the signature carries as intermediates. False when OpenSSL could not even start.
bool BuildChain(const CertificateStores& stores, const ChainRequest& request, ChainFaults* faults,
                STACK_OF(X509)** chain) {
  std::unique_ptr<X509_STORE, OpenSslFree> anchors(X509_STORE_new());
  for (const X509Ptr& root : stores.Roots()) X509_STORE_add_cert(anchors.get(), root.get());
  X509_STORE_set_verify_cb(anchors.get(), CollectFault);
  std::unique_ptr<STACK_OF(X509), OpenSslFree> untrusted(sk_X509_new_null());
  for (const X509Ptr& ca : stores.Intermediates()) sk_X509_push(untrusted.get(), ca.get());
  for (int i = 0; request.carried && i < sk_X509_num(request.carried); ++i)
    sk_X509_push(untrusted.get(), sk_X509_value(request.carried, i));
  std::unique_ptr<X509_STORE_CTX, OpenSslFree> context(X509_STORE_CTX_new());
  if (!X509_STORE_CTX_init(context.get(), anchors.get(), request.leaf, untrusted.get())) return false;
  X509_STORE_CTX_set_app_data(context.get(), faults);
  X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()), Platform::UnixSecondsOf(request.asOf));
  X509_verify_cert(context.get());
  *chain = X509_STORE_CTX_get1_chain(context.get());
  return true;
}

// A CRL counts only when it is signed by the issuer and current at time.
bool CrlUsable(X509_CRL* crl, X509* issuer, Platform::FileTime time) {
  if (X509_NAME_cmp(X509_CRL_get_issuer(crl), X509_get_subject_name(issuer)) != 0) return false;
  if (X509_CRL_verify(crl, X509_get0_pubkey(issuer)) != 1) return false;
  if (FileTimeOf(X509_CRL_get0_lastUpdate(crl)) > time) return false;
  const ASN1_TIME* next = X509_CRL_get0_nextUpdate(crl);
  return !next || FileTimeOf(next) >= time;
}

// The CRL must be current now; its entry counts when dated at or before asOf.
bool IsRevoked(const CertificateStores& stores, STACK_OF(X509)* chain, const ChainRequest& request) {
  for (int i = 0; i + 1 < sk_X509_num(chain); ++i) {
    X509* certificate = sk_X509_value(chain, i);
    X509* issuer = sk_X509_value(chain, i + 1);
    for (const CrlPtr& crl : stores.Crls()) {
      X509_REVOKED* entry = nullptr;
      if (CrlUsable(crl.get(), issuer, request.now) && X509_CRL_get0_by_cert(crl.get(), &entry, certificate) == 1 &&
          FileTimeOf(X509_REVOKED_get0_revocationDate(entry)) <= request.asOf)
        return true;
    }
  }
  return false;
}

// No extended key usage at all allows every use; a list without the asked one does not.
bool AllowsUsage(X509* certificate, RequiredUsage usage) {
  if (usage == RequiredUsage::kAny || !(X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE)) return true;
  if (usage == RequiredUsage::kCodeSigning) return X509_get_extended_key_usage(certificate) & XKU_CODE_SIGN;
  // Time stamping, as PKIX names it or as Microsoft's older authorities did.
  return (X509_get_extended_key_usage(certificate) & XKU_TIMESTAMP) ||
         ListsExtendedUsage(certificate, "1.3.6.1.4.1.311.10.3.2");
}

bool EndsInVendorRoot(STACK_OF(X509)* chain, const std::vector<std::u16string>& vendorRoots) {
  if (!chain || sk_X509_num(chain) == 0) return false;
  const std::u16string root = ThumbprintOf(sk_X509_value(chain, sk_X509_num(chain) - 1));
  return std::any_of(vendorRoots.begin(), vendorRoots.end(),
                     [&](const std::u16string& thumbprint) { return SameTag(thumbprint, root); });
}

}  // namespace

bool ListsExtendedUsage(X509* certificate, const char* oid) {
  auto* usages = static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr));
  bool listed = false;
  for (int i = 0; usages && i < sk_ASN1_OBJECT_num(usages); ++i) listed |= OidText(sk_ASN1_OBJECT_value(usages, i)) == oid;
  EXTENDED_KEY_USAGE_free(usages);
  return listed;
}

std::u16string ThumbprintOf(X509* certificate) {
  unsigned char digest[20];
  unsigned int length = 0;
  X509_digest(certificate, EVP_sha1(), digest, &length);
  return MemberTagOf(std::span<const uint8_t>(digest, length));
}

// When several faults meet, the most serious decides: a distrusted certificate, then a
// chain that reaches no trusted root (or, for the driver policy, no vendor root), an
// unknown critical extension, then validity, revocation and usage.
HResult JudgeChain(const CertificateStores& stores, const ChainRequest& request) {
  ChainFaults faults;
  STACK_OF(X509)* chain = nullptr;
  if (!BuildChain(stores, request, &faults, &chain)) return Platform::kCertEChaining;
  std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> owned(
      chain, [](STACK_OF(X509)* s) { sk_X509_pop_free(s, X509_free); });
  bool distrusted = stores.IsDisallowed(request.leaf);
  for (int i = 0; chain && i < sk_X509_num(chain); ++i) distrusted |= stores.IsDisallowed(sk_X509_value(chain, i));
  if (distrusted) return Platform::kTrustEExplicitDistrust;
  if (faults.untrusted) return Platform::kCertEUntrustedRoot;
  if (request.vendorRoots && !EndsInVendorRoot(chain, *request.vendorRoots)) return Platform::kCertEUntrustedRoot;
  if (faults.unknownCritical) return Platform::kCertECritical;
  if (faults.broken) return Platform::kCertEChaining;
  if (faults.expired) return Platform::kCertEExpired;
  if (request.checkRevocation && chain && IsRevoked(stores, chain, request)) return Platform::kCertERevoked;
  if (!AllowsUsage(request.leaf, request.usage)) return Platform::kCertEWrongUsage;
  return Platform::kSOk;
}

}  // namespace Emulated
