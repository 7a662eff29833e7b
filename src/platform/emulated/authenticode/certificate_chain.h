#pragma once
// Judges a signer certificate the way the trust provider's policy does: the chain
// built to a root the machine holds (for the driver policy, one of the roots that
// count as the operating-system vendor's), the validity of every certificate at the
// verify-as-of time, explicit distrust, critical extensions nobody knows, revocation
// by the machine's CRLs and the extended key usage the policy asks for. The answer is
// a WinVerifyTrust status.

#include <openssl/x509.h>

#include <string>
#include <vector>

#include "platform/emulated/authenticode/certificate_stores.h"

namespace Emulated {

// The usage a policy asks of the leaf. A certificate that lists no extended key
// usage at all is good for every use, as Windows' chain engine has it.
enum class RequiredUsage { kAny, kCodeSigning, kTimeStamping };

struct ChainRequest {
  X509* leaf = nullptr;
  STACK_OF(X509)* carried = nullptr;  // certificates the signature carries
  // Validity is judged at asOf, and a revocation counts only when dated at or before
  // it: a certificate revoked after its signature was stamped still vouches for it.
  Platform::FileTime asOf = 0;
  Platform::FileTime now = 0;  // the machine's clock: whether a CRL is current
  bool checkRevocation = false;
  RequiredUsage usage = RequiredUsage::kCodeSigning;
  // When set, the chain must end in one of these roots (SHA-1 thumbprints, upper-case
  // hexadecimal): the driver verification policy's operating-system vendor roots.
  const std::vector<std::u16string>* vendorRoots = nullptr;
};

Platform::HResult JudgeChain(const CertificateStores& stores, const ChainRequest& request);

// Whether the certificate's extended key usage extension lists oid (dotted form).
bool ListsExtendedUsage(X509* certificate, const char* oid);

// The certificate's SHA-1 thumbprint as upper-case hexadecimal, the name Windows
// gives its key in a certificate store.
std::u16string ThumbprintOf(X509* certificate);

inline constexpr const char* kLifetimeSigningOid = "1.3.6.1.4.1.311.10.3.13";

}  // namespace Emulated
