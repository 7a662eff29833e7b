#pragma once
// The version resource of a PE image: the resource directory walked down to
// RT_VERSION, one name and one language, as the resource loader would pick them.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/emulated/pe/pe_image.h"

namespace Emulated {

// The languages the calling thread prefers, as the resource loader sees them.
struct ResourceLanguages {
  uint16_t userInterface = 0x0409;
  uint16_t systemDefault = 0x0409;
};

// The index in available of the language the loader takes; available is not empty.
size_t ChooseResourceLanguage(std::span<const uint16_t> available, ResourceLanguages preferred);

// The bytes of the VS_VERSIONINFO resource, or nullopt when the image has none (or
// its resource directory is damaged).
std::optional<std::vector<uint8_t>> FindVersionResource(const PeImage& image,
                                                        ResourceLanguages preferred);

}  // namespace Emulated
