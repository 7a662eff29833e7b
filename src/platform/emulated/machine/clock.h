#pragma once
// The machine's clock: the host's UTC clock moved by an offset, so that a scenario can
// let minutes pass at once (Advance) while time still flows between steps.

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/win32_types.h"

namespace Emulated {

class Clock {
 public:
  explicit Clock(int32_t utcOffsetMinutes = 0) : utcOffsetMinutes_(utcOffsetMinutes) {}

  // Now, as a UTC FILETIME.
  Platform::FileTime NowUtc() const;
  // Calendar seconds since 1970 UTC.
  int64_t NowSeconds() const;
  // Moves the machine's time forward.
  void Advance(std::chrono::seconds seconds) { offset_ += seconds.count(); }
  int32_t UtcOffsetMinutes() const { return utcOffsetMinutes_; }

  // Conversions between FILETIME and SYSTEMTIME (UTC or local by the offset).
  static Platform::SystemTime ToSystemTime(Platform::FileTime time);
  static Platform::FileTime FromSystemTime(const Platform::SystemTime& time);
  Platform::FileTime UtcToLocal(Platform::FileTime utc) const;

 private:
  int32_t utcOffsetMinutes_;
  std::atomic<int64_t> offset_{0};
};

}  // namespace Emulated
