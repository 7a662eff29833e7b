#include "intake/entry_clock.h"

#include <atomic>
#include <cstdint>

#include "platform/file_time.h"
#include "util/time_text.h"

namespace Intake {

namespace {

using Platform::kFileTimeTicksPerMillisecond;
using Platform::kFileTimeTicksPerSecond;
constexpr int64_t kSecondsPerDay = 86'400;

// Civil date of a day counted from 1601-01-01 (a Monday), proleptic Gregorian.
void SetDate(int64_t day, Platform::SystemTime& time) {
  time.dayOfWeek = static_cast<uint16_t>((day + 1) % 7);
  const int64_t z = day - 134'774 + 719'468;  // days from 0000-03-01
  const int64_t era = z / 146'097;
  const int64_t doe = z - era * 146'097;
  const int64_t yoe = (doe - doe / 1'460 + doe / 36'524 - doe / 146'096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  time.year = static_cast<uint16_t>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  time.month = static_cast<uint16_t>(month);
  time.day = static_cast<uint16_t>(doy - (153 * mp + 2) / 5 + 1);
}

bool SameSecond(const Platform::SystemTime& a, const Platform::SystemTime& b) {
  return a.second == b.second && a.minute == b.minute && a.hour == b.hour && a.day == b.day &&
         a.month == b.month && a.year == b.year;
}

// The last second formatted. Its text depends on nothing but the local calendar
// fields, so it serves every machine whose local time shows them. It is shared by
// all threads rather than kept per thread: a thread-local object with a destructor
// is destroyed after its storage is freed by the MinGW-w64 runtime the Windows
// build uses, which crashed every thread that had logged an entry as it ended.
struct LocalText {
  Platform::SystemTime local;
  std::u16string text;
};

}  // namespace

Platform::SystemTime FileTimeToUtcSystemTime(Platform::FileTime time) {
  Platform::SystemTime result;
  const auto seconds = static_cast<int64_t>(time / kFileTimeTicksPerSecond);
  SetDate(seconds / kSecondsPerDay, result);
  const int64_t inDay = seconds % kSecondsPerDay;
  result.hour = static_cast<uint16_t>(inDay / 3'600);
  result.minute = static_cast<uint16_t>(inDay / 60 % 60);
  result.second = static_cast<uint16_t>(inDay % 60);
  result.milliseconds = static_cast<uint16_t>(time / kFileTimeTicksPerMillisecond % 1'000);
  return result;
}

namespace {

// The calendar fields of the last UTC second seen on this thread: entries come in
// bursts, and the fields are a pure function of the second.
Platform::SystemTime UtcOf(Platform::FileTime now) {
  thread_local uint64_t cachedSecond = ~uint64_t{0};
  thread_local Platform::SystemTime cachedUtc;
  if (now / kFileTimeTicksPerSecond != cachedSecond) {
    cachedSecond = now / kFileTimeTicksPerSecond;
    cachedUtc = FileTimeToUtcSystemTime(now);
  }
  Platform::SystemTime utc = cachedUtc;
  utc.milliseconds = static_cast<uint16_t>(now / kFileTimeTicksPerMillisecond % 1'000);
  return utc;
}

}  // namespace

EntryTime TakeEntryTime(Platform::System& system) {
  static std::atomic<std::shared_ptr<const LocalText>> cache;
  Platform::Environment& environment = system.Environment();
  const Platform::FileTime now = environment.GetSystemTimeAsFileTime();
  Platform::SystemTime local;
  if (!environment.FileTimeToLocalSystemTime(now, &local)) local = environment.GetLocalTime();
  std::shared_ptr<const LocalText> cached = cache.load(std::memory_order_acquire);
  if (!cached || !SameSecond(cached->local, local)) {
    cached = std::make_shared<const LocalText>(
        LocalText{local, VyrUtilities::FormatTime(local, true)});
    cache.store(cached, std::memory_order_release);
  }
  return {UtcOf(now), std::shared_ptr<const std::u16string>(cached, &cached->text)};
}

}  // namespace Intake
