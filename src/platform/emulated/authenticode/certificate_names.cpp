#include "platform/emulated/authenticode/certificate_names.h"

#include <ctime>
#include <openssl/x509v3.h>

#include "platform/emulated/authenticode/openssl_types.h"
#include "platform/file_time.h"
#include "platform/text_encoding.h"

namespace Emulated {
namespace {

std::u16string TextOf(const ASN1_STRING* value) {
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, value);
  if (length < 0) return {};
  std::u16string text = Platform::Utf8ToUtf16(std::string(reinterpret_cast<char*>(utf8), length));
  OPENSSL_free(utf8);
  return text;
}

std::optional<std::u16string> Attribute(const X509_NAME* name, int nid) {
  const int at = X509_NAME_get_index_by_NID(name, nid, -1);
  if (at < 0) return std::nullopt;
  return TextOf(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
}

// The first rfc822Name of the certificate's subject (or issuer) alternative name.
std::optional<std::u16string> AlternativeEmail(X509* certificate, int nid) {
  auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, nid, nullptr, nullptr));
  std::optional<std::u16string> email;
  for (int i = 0; names && i < sk_GENERAL_NAME_num(names) && !email; ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type == GEN_EMAIL) email = TextOf(name->d.rfc822Name);
  }
  GENERAL_NAMES_free(names);
  return email;
}

// CERT_NAME_SIMPLE_DISPLAY_TYPE: the first of common name, organisational unit,
// organisation and e-mail attribute, then the alternative name's rfc822Name, then the
// name's first attribute.
std::u16string SimpleDisplayName(X509* certificate, bool issuer) {
  const X509_NAME* name = issuer ? X509_get_issuer_name(certificate) : X509_get_subject_name(certificate);
  for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress})
    if (auto text = Attribute(name, nid)) return *text;
  if (auto email = AlternativeEmail(certificate, issuer ? NID_issuer_alt_name : NID_subject_alt_name))
    return *email;
  if (X509_NAME_entry_count(name) > 0) return TextOf(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, 0)));
  return {};
}

// CERT_NAME_EMAIL_TYPE: the alternative name's rfc822Name first, else the e-mail attribute.
std::u16string EmailName(X509* certificate) {
  if (auto email = AlternativeEmail(certificate, NID_subject_alt_name)) return *email;
  return Attribute(X509_get_subject_name(certificate), NID_pkcs9_emailAddress).value_or(u"");
}

}  // namespace

Platform::FileTime FileTimeOf(const ASN1_TIME* time) {
  std::tm parts{};
  if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return 0;
  return Platform::FileTimeFromUnixSeconds(timegm(&parts));
}

Platform::CertificateNames NamesOf(X509* certificate) {
  Platform::CertificateNames names;
  names.simpleDisplayName = SimpleDisplayName(certificate, false);
  names.emailName = EmailName(certificate);
  names.issuerSimpleDisplayName = SimpleDisplayName(certificate, true);
  names.notBefore = FileTimeOf(X509_get0_notBefore(certificate));
  names.notAfter = FileTimeOf(X509_get0_notAfter(certificate));
  return names;
}

}  // namespace Emulated
