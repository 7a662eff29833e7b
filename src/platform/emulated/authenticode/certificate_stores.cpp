#include "platform/emulated/authenticode/certificate_stores.h"

#include <functional>

#include "platform/byte_order.h"

namespace Emulated {
namespace {

using Platform::Handle;

constexpr uint32_t kCertificateProperty = 0x20;  // CERT_CERT_PROP_ID: the DER certificate
constexpr uint32_t kCrlProperty = 0x21;          // CERT_CRL_PROP_ID: the DER CRL

// Where Windows keeps the machine's stores: the system stores, the copies that group
// policy and the enterprise directory place.
constexpr const char16_t* kStoreBases[] = {
    u"SOFTWARE\\Microsoft\\SystemCertificates",
    u"SOFTWARE\\Policies\\Microsoft\\SystemCertificates",
    u"SOFTWARE\\Microsoft\\EnterpriseCertificates",
};

std::vector<uint8_t> ReadBlob(Platform::Registry& registry, Handle key) {
  uint32_t type = 0;
  uint32_t size = 0;
  if (registry.QueryValue(key, u"Blob", &type, nullptr, 0, &size) != Platform::kErrorSuccess) return {};
  std::vector<uint8_t> data;
  if (registry.QueryValue(key, u"Blob", &type, &data, size, &size) != Platform::kErrorSuccess) return {};
  return data;
}

// Calls visit with the Blob of every entry below base\store\folder.
void ForEachBlob(Platform::Registry& registry, std::u16string_view path,
                 const std::function<void(std::span<const uint8_t>)>& visit) {
  Handle folder = 0;
  if (registry.OpenKey(Platform::kHkeyLocalMachine, path, Platform::kKeyRead, &folder) != Platform::kErrorSuccess)
    return;
  std::u16string name;
  for (uint32_t index = 0; registry.EnumKey(folder, index, 256, &name) == Platform::kErrorSuccess; ++index) {
    Handle entry = 0;
    if (registry.OpenKey(folder, name, Platform::kKeyRead, &entry) != Platform::kErrorSuccess) continue;
    const std::vector<uint8_t> blob = ReadBlob(registry, entry);
    registry.CloseKey(entry);
    visit(blob);
  }
  registry.CloseKey(folder);
}

void LoadCertificates(Platform::Registry& registry, std::u16string_view store, std::vector<X509Ptr>* into) {
  for (const char16_t* base : kStoreBases) {
    const std::u16string path = std::u16string(base) + u"\\" + std::u16string(store) + u"\\Certificates";
    ForEachBlob(registry, path, [into](std::span<const uint8_t> blob) {
      const auto der = SerializedProperty(blob, kCertificateProperty);
      if (!der) return;
      const unsigned char* cursor = der->data();
      if (X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(der->size())))
        into->emplace_back(certificate);
    });
  }
}

void LoadCrls(Platform::Registry& registry, std::vector<CrlPtr>* into) {
  for (const char16_t* base : kStoreBases) {
    ForEachBlob(registry, std::u16string(base) + u"\\CA\\CRLs", [into](std::span<const uint8_t> blob) {
      const auto der = SerializedProperty(blob, kCrlProperty);
      if (!der) return;
      const unsigned char* cursor = der->data();
      if (X509_CRL* crl = d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der->size()))) into->emplace_back(crl);
    });
  }
}

}  // namespace

std::optional<std::vector<uint8_t>> SerializedProperty(std::span<const uint8_t> blob, uint32_t propertyId) {
  size_t at = 0;
  while (blob.size() - at >= 12) {
    const uint32_t id = Platform::ReadLe32(blob, at);
    const uint32_t length = Platform::ReadLe32(blob, at + 8);
    if (length > blob.size() - at - 12) return std::nullopt;
    if (id == propertyId) return std::vector<uint8_t>(blob.begin() + at + 12, blob.begin() + at + 12 + length);
    at += 12 + length;
  }
  return std::nullopt;
}

CertificateStores CertificateStores::Load(Platform::Registry& registry) {
  CertificateStores stores;
  LoadCertificates(registry, u"ROOT", &stores.roots_);
  LoadCertificates(registry, u"AuthRoot", &stores.roots_);
  LoadCertificates(registry, u"CA", &stores.intermediates_);
  LoadCertificates(registry, u"Disallowed", &stores.disallowed_);
  LoadCrls(registry, &stores.crls_);
  return stores;
}

bool CertificateStores::IsDisallowed(X509* certificate) const {
  for (const X509Ptr& entry : disallowed_)
    if (X509_cmp(entry.get(), certificate) == 0) return true;
  return false;
}

}  // namespace Emulated
