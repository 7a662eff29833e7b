#pragma once
// The moment an entry is stamped with: one reading of the machine's clock gives
// both the UTC time and the local time text, so the two always name the same
// moment. The text of one local second is formatted once and shared by every entry
// stamped within that second (entries never change it).

#include <memory>
#include <string>

#include "platform/system.h"
#include "platform/win32_types.h"

namespace Intake {

struct EntryTime {
  Platform::SystemTime utc;
  // "year-month-day hours:minutes:seconds" in local time.
  std::shared_ptr<const std::u16string> localText;
};

EntryTime TakeEntryTime(Platform::System& system);

// FileTimeToSystemTime: 100-ns ticks since 1601-01-01 as calendar fields.
Platform::SystemTime FileTimeToUtcSystemTime(Platform::FileTime time);

}  // namespace Intake
