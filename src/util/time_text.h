#pragma once
// Text forms of times as logs and database rows show them.

#include <string>

#include "platform/system.h"

namespace VyrUtilities {

// "14:03:07", or "2024-05-01 14:03:07" with the date (year unpadded).
std::u16string FormatTime(const Platform::SystemTime& time, bool withDate);
// FormatTime of the machine's local time now.
std::u16string FormatCurrentTime(Platform::System& system, bool withDate);
// The UTC file time in local time as "05/01/2024 14:03:07", or "05/01/2024" with
// dateOnly; empty when the time cannot be converted.
std::u16string FormatFileTime(Platform::System& system, Platform::FileTime fileTime,
                              bool dateOnly);

}  // namespace VyrUtilities
