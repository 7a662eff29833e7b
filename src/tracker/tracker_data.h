#pragma once
// What the download tracker left on a file: the address it came from, who
// downloaded it and when, read from the file's "Brumevale.URL" stream.
//
// The strings are owned by this library: obtain them with AllocString, hand them to
// GetBrumevaleTrackerData, and give each back with DeallocString.

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace BrumevaleUtil {

std::u16string* AllocString();
void DeallocString(std::u16string* text);

// Non-zero when path carries a tag whose first line (the address) is not empty;
// then first, second and third hold the tag's three lines (address, owner, time).
// Zero leaves the three strings untouched.
int32_t GetBrumevaleTrackerData(Platform::System& system, const std::u16string& path, std::u16string* first,
                                std::u16string* second, std::u16string* third);

}  // namespace BrumevaleUtil
