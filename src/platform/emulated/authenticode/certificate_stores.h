#pragma once
// The machine's certificate stores as Windows keeps them in the registry: one key per
// certificate (named by its SHA-1 thumbprint) whose "Blob" value holds the serialized
// certificate, under the system, policy and enterprise locations. Read afresh for
// every check, so that a store edited while the machine runs counts at once.

#include <optional>
#include <span>
#include <vector>

#include "platform/emulated/authenticode/openssl_types.h"
#include "platform/registry.h"

namespace Emulated {

class CertificateStores {
 public:
  // Reads every store the trust provider consults; unreadable entries are skipped.
  static CertificateStores Load(Platform::Registry& registry);

  // ROOT and AuthRoot: the anchors a chain must end at.
  const std::vector<X509Ptr>& Roots() const { return roots_; }
  // CA: intermediate authorities a chain may pass through.
  const std::vector<X509Ptr>& Intermediates() const { return intermediates_; }
  // Disallowed: certificates the machine explicitly distrusts.
  bool IsDisallowed(X509* certificate) const;
  // CRLs of the CA store.
  const std::vector<CrlPtr>& Crls() const { return crls_; }

 private:
  std::vector<X509Ptr> roots_;
  std::vector<X509Ptr> intermediates_;
  std::vector<X509Ptr> disallowed_;
  std::vector<CrlPtr> crls_;
};

// The data of property propertyId in a serialized store element (a sequence of
// property id, reserved word, length, data), or nothing.
std::optional<std::vector<uint8_t>> SerializedProperty(std::span<const uint8_t> blob,
                                                       uint32_t propertyId);

}  // namespace Emulated
