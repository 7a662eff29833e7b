#pragma once
// FILETIME arithmetic: a FileTime counts 100-nanosecond ticks from 1601-01-01 UTC,
// Unix time counts seconds from 1970-01-01 UTC.

#include <cstdint>

#include "platform/win32_types.h"

namespace Platform {

inline constexpr int64_t kFileTimeTicksPerMillisecond = 10'000;
inline constexpr int64_t kFileTimeTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;

// The FileTime of a Unix time; 0 for a time before 1601, which a FileTime cannot hold.
constexpr FileTime FileTimeFromUnixSeconds(int64_t seconds) {
  if (seconds < -kSecondsFrom1601To1970) return 0;
  return static_cast<FileTime>(seconds + kSecondsFrom1601To1970) * kFileTimeTicksPerSecond;
}

// The Unix time of the whole second a FileTime falls in.
constexpr int64_t UnixSecondsOf(FileTime time) {
  return static_cast<int64_t>(time / static_cast<FileTime>(kFileTimeTicksPerSecond)) - kSecondsFrom1601To1970;
}

}  // namespace Platform
