#pragma once
// The names and validity of a certificate as CertGetNameString and the certificate's
// own fields give them.

#include <openssl/x509.h>

#include "platform/trust.h"

namespace Emulated {

Platform::CertificateNames NamesOf(X509* certificate);

}  // namespace Emulated
