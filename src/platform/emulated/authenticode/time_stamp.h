#pragma once
// The time stamp of a signature: the first counter-signer of the signer, either a
// PKCS#9 counter-signature or an RFC 3161 time-stamp token, checked against the
// signer's signature value and chained to a root the machine trusts at its own time.

#include <optional>

#include "platform/emulated/authenticode/certificate_stores.h"
#include "platform/emulated/authenticode/signed_message.h"

namespace Emulated {

struct TimeStamp {
  bool verified = false;  // the token's signature and its imprint of the signer hold
  Platform::HResult chainStatus = Platform::kSOk;  // the authority's chain at the stamp's time
  Platform::FileTime time = 0;
  X509Ptr authority;  // the time-stamp authority's certificate
};

// Nothing when the signer carries no time stamp; a TimeStamp with verified false when
// it carries one whose signature or imprint does not check out.
std::optional<TimeStamp> ReadTimeStamp(const SignedMessage& message, const CertificateStores& stores);

}  // namespace Emulated
