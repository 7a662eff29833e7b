#pragma once
// Owning pointers for the OpenSSL objects the trust provider keeps.

#include <memory>

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "platform/win32_types.h"

namespace Emulated {

struct OpenSslFree {
  void operator()(X509* p) const { X509_free(p); }
  void operator()(X509_CRL* p) const { X509_CRL_free(p); }
  void operator()(PKCS7* p) const { PKCS7_free(p); }
  void operator()(X509_STORE* p) const { X509_STORE_free(p); }
  void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); }
  void operator()(STACK_OF(X509)* p) const { sk_X509_free(p); }
};

using X509Ptr = std::unique_ptr<X509, OpenSslFree>;
using CrlPtr = std::unique_ptr<X509_CRL, OpenSslFree>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, OpenSslFree>;

// An ASN.1 time as a FILETIME (UTC), 0 when it cannot be read.
Platform::FileTime FileTimeOf(const ASN1_TIME* time);

}  // namespace Emulated
