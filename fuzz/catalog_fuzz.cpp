// Any bytes as a catalog file: its signed trust list is read for members and one
// member is judged. Reading must end in members or a refusal, never a crash.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/emulated/authenticode/signature_judge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> catalog(data, size);
  const uint8_t member[] = {'d', 'o', 'c'};
  const Emulated::CertificateStores stores;
  if (const auto message = Emulated::ReadSignedMessage(catalog)) Emulated::ReadCatalogMembers(*message);
  Emulated::JudgeCatalogMember(catalog, u"E0C5A1B2", member, stores, 133000000000000000ull, {});
  return 0;
}
