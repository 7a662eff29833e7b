#pragma once
// Certificates, signed images, CRLs and catalog files made for the tests with OpenSSL
// and osslsigncode, and the machine-side places they go (certificate stores in the
// registry, files on drive C). Time stamps come from a real RFC 3161 server on the
// loopback address that answers with `openssl ts -reply`.

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/emulated/authenticode/openssl_types.h"
#include "platform/system.h"

namespace SigningKit {

using Emulated::CrlPtr;
using Emulated::X509Ptr;
using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

struct Identity {
  X509Ptr certificate;
  KeyPtr key{nullptr, EVP_PKEY_free};
  std::string certificatePem;  // host paths of the PEM files
  std::string keyPem;
};

struct CertificateSpec {
  std::string commonName;
  std::string organization;
  std::string emailAttribute;  // the subject's e-mail attribute
  std::string alternativeEmail;  // rfc822Name of the subject alternative name
  long notBeforeSeconds = -3600;  // from now
  long notAfterSeconds = 365L * 86400;
  bool authority = false;
  std::string usages;  // extendedKeyUsage text ("codeSigning", "critical,timeStamping"); empty: none
  long serial = 1;
  // One more extension by object identifier, in OpenSSL's configuration syntax
  // ({"1.3.6.1.4.1.55555.1", "critical,DER:05:00"}); empty: none.
  std::pair<std::string, std::string> extension;
};

inline void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

inline void AddName(X509_NAME* name, const char* field, const std::string& value) {
  if (!value.empty())
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()),
                               -1, -1, 0);
}

inline void WritePem(Identity& identity, const std::filesystem::path& folder, const std::string& stem) {
  identity.certificatePem = (folder / (stem + ".pem")).string();
  identity.keyPem = (folder / (stem + ".key")).string();
  FILE* out = std::fopen(identity.certificatePem.c_str(), "w");
  PEM_write_X509(out, identity.certificate.get());
  std::fclose(out);
  out = std::fopen(identity.keyPem.c_str(), "w");
  PEM_write_PrivateKey(out, identity.key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(out);
}

// The certificate described by wanted, signed by issuer (self-signed without one), with its key
// and PEM files in folder.
inline Identity Issue(const CertificateSpec& wanted, const Identity* issuer, const std::filesystem::path& folder) {
  Identity identity;
  identity.key.reset(EVP_EC_gen("P-256"));
  X509* certificate = X509_new();
  identity.certificate.reset(certificate);
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), wanted.serial);
  X509_gmtime_adj(X509_getm_notBefore(certificate), wanted.notBeforeSeconds);
  X509_gmtime_adj(X509_getm_notAfter(certificate), wanted.notAfterSeconds);
  X509_set_pubkey(certificate, identity.key.get());
  X509_NAME* name = X509_get_subject_name(certificate);
  AddName(name, "O", wanted.organization);
  AddName(name, "CN", wanted.commonName);
  AddName(name, "emailAddress", wanted.emailAttribute);
  X509* signer = issuer ? issuer->certificate.get() : certificate;
  X509_set_issuer_name(certificate, X509_get_subject_name(signer));
  AddExtension(certificate, signer, NID_subject_key_identifier, "hash");
  if (wanted.authority) AddExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
  if (wanted.authority) AddExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature");
  if (!wanted.usages.empty()) AddExtension(certificate, signer, NID_ext_key_usage, wanted.usages);
  if (!wanted.extension.first.empty()) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer ? issuer->certificate.get() : certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension =
        X509V3_EXT_nconf(nullptr, &context, wanted.extension.first.c_str(), wanted.extension.second.c_str());
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
  }
  if (!wanted.alternativeEmail.empty())
    AddExtension(certificate, signer, NID_subject_alt_name, "email:" + wanted.alternativeEmail);
  X509_sign(certificate, issuer ? issuer->key.get() : identity.key.get(), EVP_sha256());
  WritePem(identity, folder, wanted.commonName.empty() ? "cert" : wanted.commonName);
  return identity;
}

inline std::vector<uint8_t> DerOf(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  std::vector<uint8_t> bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

// A store entry's "Blob": one serialized property (id, reserved 1, length, data).
inline std::vector<uint8_t> SerializedBlob(uint32_t propertyId, const std::vector<uint8_t>& der) {
  std::vector<uint8_t> blob;
  for (uint32_t word : {propertyId, 1u, static_cast<uint32_t>(der.size())})
    for (int i = 0; i < 4; ++i) blob.push_back(static_cast<uint8_t>(word >> (8 * i)));
  blob.insert(blob.end(), der.begin(), der.end());
  return blob;
}

inline void PutBlob(Platform::System& system, const std::u16string& path, const std::vector<uint8_t>& blob) {
  Platform::Handle key = 0;
  system.Registry().CreateKey(Platform::kHkeyLocalMachine, path, 0, Platform::kKeyAllAccess, &key, nullptr);
  system.Registry().SetValue(key, u"Blob", Platform::kRegBinary, blob);
  system.Registry().CloseKey(key);
}

// Places certificate in store (ROOT, CA, Disallowed, ...) under base.
inline void AddToStore(Platform::System& system, const std::u16string& store, X509* certificate,
                       const std::u16string& base = u"SOFTWARE\\Microsoft\\SystemCertificates") {
  unsigned char thumbprint[20];
  unsigned int length = 0;
  X509_digest(certificate, EVP_sha1(), thumbprint, &length);
  std::u16string name;
  for (unsigned int i = 0; i < length; ++i)
    for (int shift : {4, 0}) name += u"0123456789ABCDEF"[(thumbprint[i] >> shift) & 15];
  PutBlob(system, base + u"\\" + store + u"\\Certificates\\" + name, SerializedBlob(0x20, DerOf(certificate)));
}

// A CRL of issuer listing serials as revoked revokedAgo seconds before now, issued
// issuedAgo seconds before now and current for a month; placed in the CA store.
inline void AddCrl(Platform::System& system, const Identity& issuer, const std::vector<long>& serials,
                   const std::u16string& name = u"CRL1", long revokedAgo = 86400, long issuedAgo = 86400) {
  CrlPtr crl(X509_CRL_new());
  X509_CRL_set_version(crl.get(), 1);
  X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(issuer.certificate.get()));
  ASN1_TIME* now = X509_gmtime_adj(nullptr, -issuedAgo);
  ASN1_TIME* revoked = X509_gmtime_adj(nullptr, -revokedAgo);
  ASN1_TIME* next = X509_gmtime_adj(nullptr, 30L * 86400);
  X509_CRL_set1_lastUpdate(crl.get(), now);
  X509_CRL_set1_nextUpdate(crl.get(), next);
  for (long serial : serials) {
    X509_REVOKED* entry = X509_REVOKED_new();
    ASN1_INTEGER* number = ASN1_INTEGER_new();
    ASN1_INTEGER_set(number, serial);
    X509_REVOKED_set_serialNumber(entry, number);
    X509_REVOKED_set_revocationDate(entry, revoked);
    X509_CRL_add0_revoked(crl.get(), entry);
    ASN1_INTEGER_free(number);
  }
  ASN1_TIME_free(revoked);
  ASN1_TIME_free(now);
  ASN1_TIME_free(next);
  X509_CRL_sort(crl.get());
  X509_CRL_sign(crl.get(), issuer.key.get(), EVP_sha256());
  unsigned char* der = nullptr;
  const int length = i2d_X509_CRL(crl.get(), &der);
  PutBlob(system, u"SOFTWARE\\Microsoft\\SystemCertificates\\CA\\CRLs\\" + name,
          SerializedBlob(0x21, std::vector<uint8_t>(der, der + length)));
  OPENSSL_free(der);
}

inline std::vector<uint8_t> ReadHostFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// osslsigncode over input; the chain file holds the signer first. true when it signed.
inline bool SignImage(const std::string& input, const std::string& output, const std::string& chainPem,
                      const std::string& keyPem, const std::string& digest = "sha256",
                      const std::string& timeStampUrl = "") {
  std::filesystem::remove(output);
  std::string command = "osslsigncode sign -h " + digest + " -certs '" + chainPem + "' -key '" + keyPem +
                        "' -in '" + input + "' -out '" + output + "'";
  if (!timeStampUrl.empty()) command += " -ts " + timeStampUrl;
  command += " >'" + output + ".log' 2>&1";
  return std::system(command.c_str()) == 0;
}

// One PEM file holding the given certificates in order (a signer's chain).
inline std::string ChainFile(const std::filesystem::path& path, const std::vector<const Identity*>& chain) {
  std::ofstream out(path);
  for (const Identity* identity : chain) {
    std::ifstream in(identity->certificatePem);
    out << in.rdbuf();
  }
  return path.string();
}

}  // namespace SigningKit
