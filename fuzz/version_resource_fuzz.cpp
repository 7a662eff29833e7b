// Any bytes as a PE image file: the header and resource-directory walk must find a
// version block or give up cleanly, and VerQueryValue must stay inside whatever
// block it is handed (the found one, and the raw bytes as a block of their own).
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/emulated/pe/pe_resources.h"
#include "platform/emulated/pe/version_block.h"

namespace {

constexpr const char16_t* kQueries[] = {
    u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904b0\\FileVersion",
    u"\\StringFileInfo\\040904E4\\CompanyName", u"\\\\StringFileInfo\\\\"};

void QueryAll(std::span<const uint8_t> block) {
  for (const char16_t* query : kQueries) {
    std::span<const uint8_t> value;
    if (Emulated::QueryVersionValue(block, query, &value)) {
      // The answer must lie inside the block.
      if (value.data() < block.data() || value.data() + value.size() > block.data() + block.size())
        __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  QueryAll(bytes);
  const auto image = Emulated::PeImage::Open(Emulated::MemorySource(bytes), size);
  if (!image) return 0;
  const auto block = Emulated::FindVersionResource(*image, {0x0407, 0x0409});
  if (block) QueryAll(*block);
  return 0;
}
