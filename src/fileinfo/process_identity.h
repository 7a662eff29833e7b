#pragma once
// Names the image and the owner of a running process.

#include <cstdint>
#include <string>

#include "platform/system.h"
#include "util/drive_map.h"

namespace FileInfo {

// image receives the process's image in drive-letter form (empty when the process
// cannot be opened or its volume has no drive letter); owner receives
// "DOMAIN\name" when the owner can be read. A process that refuses the full query
// (a protected one) is named through the limited query, without an owner. Returns
// whether an owner was found.
// Processes 0 and 4 are named without asking: they cannot be opened.
bool GetProcessImageAndOwner(Platform::System& system, VyrUtilities::DriveMap& driveMap,
                             uint64_t processId, std::u16string& image, std::u16string& owner);

}  // namespace FileInfo
