// The time an entry is stamped with: UTC fields and local text from one clock
// reading, the text never shared across machines whose local times differ; and the
// reading of UTF-16 names out of record data.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "intake/driver_record.h"
#include "intake/entry_clock.h"
#include "intake/system_log_entry.h"
#include "platform/emulated/machine/clock.h"
#include "support/temporary_machine.h"
#include "util/time_text.h"

namespace Intake {

namespace {

constexpr Platform::FileTime kTicksPerSecond = 10'000'000;
constexpr Platform::FileTime kTicksPerDay = 86'400 * kTicksPerSecond;

TEST(EntryTime, UtcFieldsMatchTheCalendarAcrossLeapDaysAndCenturies) {
  std::vector<Platform::FileTime> times = {0, kTicksPerDay - 1};
  // Around 29 February and 1 March of leap, common and century years.
  for (const uint16_t year : {1700, 1900, 2000, 2023, 2024, 2100}) {
    for (const uint16_t month : {2, 3, 12}) {
      Platform::SystemTime date;
      date.year = year;
      date.month = month;
      date.day = 1;
      const Platform::FileTime first = Emulated::Clock::FromSystemTime(date);
      times.insert(times.end(), {first - 1, first, first + kTicksPerDay * 28 + 12'345'678});
    }
  }
  for (const Platform::FileTime time : times) {
    EXPECT_EQ(FileTimeToUtcSystemTime(time), Emulated::Clock::ToSystemTime(time)) << time;
  }
}

Emulated::MachineConfig ZoneConfig(int32_t minutes) {
  Emulated::MachineConfig config;
  config.utcOffsetMinutes = minutes;
  return config;
}

std::u16string TextOf(const Platform::SystemTime& time) {
  return VyrUtilities::FormatTime(time, true);
}

TEST(EntryTime, LocalTextNamesTheSameMomentAsTheUtcFieldsOnEachMachine) {
  TemporaryMachine east(ZoneConfig(330));
  TemporaryMachine west(ZoneConfig(-480));
  for (int round = 0; round < 2; ++round) {
    for (TemporaryMachine* machine : {&east, &west, &east}) {
      FileEntry entry;
      entry.SetHeader(machine->Service(), kEntryFile, 1, 2);
      const Emulated::Clock& clock = machine->Machine().Time();
      const Platform::FileTime utc = Emulated::Clock::FromSystemTime(entry.Time());
      EXPECT_EQ(entry.TimeText(), TextOf(Emulated::Clock::ToSystemTime(clock.UtcToLocal(utc))))
          << "offset " << clock.UtcOffsetMinutes();
    }
    // Moving one machine's clock by hours changes its text at once.
    east.Machine().Time().Advance(std::chrono::hours(5));
  }
}

std::vector<uint8_t> Units(std::initializer_list<uint16_t> units, bool oddByte = false) {
  std::vector<uint8_t> bytes;
  for (uint16_t unit : units) bytes.insert(bytes.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
  if (oddByte) bytes.push_back(0x41);
  return bytes;
}

TEST(ReadWideString, StopsAtTheTerminatorOrTheLastWholeUnit) {
  std::u16string text = u"stale";
  bool terminated = false;
  const auto data = Units({u'A', 0x20AC, 0, u'B'});
  EXPECT_EQ(ReadWideString(data, 0, text, terminated), 6u);
  EXPECT_TRUE(terminated);
  EXPECT_EQ(text, u"A\u20AC");
  EXPECT_EQ(ReadWideString(data, 6, text, terminated), 2u);
  EXPECT_FALSE(terminated);
  EXPECT_EQ(text, u"B");

  // Units whose bytes are zero on one side only are no terminator, wherever the
  // terminator falls within the several-unit steps of the scan (two blocks of
  // eight and a tail).
  const std::vector<uint16_t> tricky = {0x0100, 0x0001, 0x8000, 0x00FF, 0xFFFF, 0x0101, 0x7F00,
                                        0x0080, 0x1000, 0x0100, 0x0001, 0x8000, 0x00FF, 0xFFFF,
                                        0x0101, 0x7F00, 0x0080, 0x1000, 0x0100};
  for (size_t nul = 0; nul <= tricky.size(); ++nul) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < tricky.size(); ++i) {
      const uint16_t unit = i == nul ? 0 : tricky[i];
      bytes.insert(bytes.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
    }
    const bool hasNul = nul < tricky.size();
    EXPECT_EQ(ReadWideString(bytes, 0, text, terminated), (hasNul ? nul + 1 : nul) * 2) << nul;
    EXPECT_EQ(terminated, hasNul);
    EXPECT_EQ(text.size(), nul);
    EXPECT_EQ(text.empty() ? 0 : text.back(), nul == 0 ? 0 : tricky[nul - 1]);
  }

  const auto odd = Units({u'x', u'y'}, true);
  EXPECT_EQ(ReadWideString(odd, 0, text, terminated), 4u);
  EXPECT_FALSE(terminated);
  EXPECT_EQ(text, u"xy");
  for (const size_t offset : {size_t{4}, size_t{5}, size_t{9}}) {
    EXPECT_EQ(ReadWideString(odd, offset, text, terminated), 0u) << offset;
    EXPECT_EQ(text, u"");
    EXPECT_FALSE(terminated);
  }
}

}  // namespace

}  // namespace Intake
