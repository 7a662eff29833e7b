#pragma once
// The trust provider of the emulated machine: Authenticode and catalog signatures of
// the files on its drives judged with OpenSSL against the certificate stores in its
// registry, at the machine's own time.

#include "platform/registry.h"
#include "platform/trust.h"

namespace Emulated {

class Machine;

class TrustView : public Platform::Trust {
 public:
  TrustView(Machine& machine, Platform::Registry& registry) : machine_(machine), registry_(registry) {}

  Platform::TrustVerdict VerifyEmbedded(std::u16string_view path) override;
  Platform::Handle LoadTrustLibrary() override;
  void FreeTrustLibrary(Platform::Handle library) override;
  bool HasTrustFunction(Platform::Handle library, std::string_view name) override;
  Platform::Handle AcquireCatalogContext(int generation) override;
  void ReleaseCatalogContext(Platform::Handle context) override;
  Platform::Win32Error CalculateCatalogHash(Platform::Handle context, std::u16string_view path, int generation,
                                            std::vector<uint8_t>* hash) override;
  std::optional<std::u16string> FindCatalogForHash(Platform::Handle context,
                                                   std::span<const uint8_t> hash) override;
  Platform::TrustVerdict VerifyCatalogMember(std::u16string_view catalogPath, std::u16string_view memberTag,
                                             std::u16string_view memberPath) override;

 private:
  std::optional<std::vector<uint8_t>> ReadWholeFile(std::u16string_view path);

  Machine& machine_;
  Platform::Registry& registry_;
};

}  // namespace Emulated
