// Any bytes as a PE image whose embedded signature is judged and whose catalog hash is
// taken: the trust provider must answer with a status, never crash or read outside
// the file, whatever the headers, certificate table or PKCS#7 hold.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/emulated/authenticode/signature_judge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> image(data, size);
  const Emulated::CertificateStores stores;
  Emulated::JudgeEmbeddedSignature(image, stores, 133000000000000000ull);
  Emulated::CatalogHashOf(image, EVP_sha256());
  return 0;
}
