#pragma once
// Judges a signer certificate the way the trust provider's policy does: the chain
// built to a root the machine holds, the validity of every certificate at the
// verify-as-of time, explicit distrust, revocation by the machine's CRLs and the
// code-signing usage. The answer is a WinVerifyTrust status.

#include <openssl/x509.h>

#include "platform/emulated/certificate_stores.h"

namespace Emulated {

struct ChainRequest {
  X509* leaf = nullptr;
  STACK_OF(X509)* carried = nullptr;  // certificates the signature carries
  Platform::FileTime asOf = 0;
  bool checkRevocation = false;
  bool requireCodeSigning = true;
};

Platform::HResult JudgeChain(const CertificateStores& stores, const ChainRequest& request);

}  // namespace Emulated
