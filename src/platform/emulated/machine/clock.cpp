#include "platform/emulated/machine/clock.h"

#include <cstdint>

#include "platform/file_time.h"

namespace Emulated {
namespace {

using Platform::kFileTimeTicksPerSecond;
using Platform::kSecondsFrom1601To1970;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

Platform::FileTime Clock::NowUtc() const {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const int64_t ticks = std::chrono::duration_cast<std::chrono::microseconds>(now).count() * 10;
  return static_cast<Platform::FileTime>(ticks + (kSecondsFrom1601To1970 + offset_.load()) * kFileTimeTicksPerSecond);
}

int64_t Clock::NowSeconds() const {
  return Platform::UnixSecondsOf(NowUtc());
}

Platform::FileTime Clock::UtcToLocal(Platform::FileTime utc) const {
  return utc + static_cast<int64_t>(utcOffsetMinutes_) * 60 * kFileTimeTicksPerSecond;
}

namespace {

// Calendar fields of a day counted from 1970-01-01 (proleptic Gregorian).
void SetCivilDate(int64_t days, Platform::SystemTime& st) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  st.year = static_cast<uint16_t>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
  st.month = static_cast<uint16_t>(m);
  st.day = static_cast<uint16_t>(d);
  st.dayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
}

}  // namespace

Platform::SystemTime Clock::ToSystemTime(Platform::FileTime time) {
  // Callers convert the current moment over and over (every driver record is
  // stamped), and all fields but the milliseconds are a function of the second:
  // the last second's fields are kept per thread instead of redoing the calendar
  // arithmetic.
  thread_local uint64_t cachedSecond = ~uint64_t{0};
  thread_local Platform::SystemTime cached;
  const uint64_t second = time / kFileTimeTicksPerSecond;
  if (second != cachedSecond) {
    const int64_t totalSeconds = static_cast<int64_t>(second) - kSecondsFrom1601To1970;
    int64_t days = totalSeconds / 86400;
    int64_t rest = totalSeconds % 86400;
    if (rest < 0) {
      rest += 86400;
      --days;
    }
    SetCivilDate(days, cached);
    cached.hour = static_cast<uint16_t>(rest / 3600);
    cached.minute = static_cast<uint16_t>(rest % 3600 / 60);
    cached.second = static_cast<uint16_t>(rest % 60);
    cachedSecond = second;
  }
  Platform::SystemTime st = cached;
  st.milliseconds = static_cast<uint16_t>(time % kFileTimeTicksPerSecond / Platform::kFileTimeTicksPerMillisecond);
  return st;
}

Platform::FileTime Clock::FromSystemTime(const Platform::SystemTime& t) {
  const int64_t days = DaysFromCivil(t.year, t.month, t.day);
  const int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  return static_cast<Platform::FileTime>((seconds + kSecondsFrom1601To1970) * kFileTimeTicksPerSecond +
                                         static_cast<int64_t>(t.milliseconds) * Platform::kFileTimeTicksPerMillisecond);
}

}  // namespace Emulated
