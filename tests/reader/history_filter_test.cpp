#include <gtest/gtest.h>

#include "reader/history_filter.h"

namespace {

using Reader::HistoryFilter;

TEST(HistoryFilterTest, TimesAsStoredAndCountedBackFromTheLatestEvent) {
  std::string bound, error;
  ASSERT_TRUE(Reader::ParseTimeBound("2024-03-01", false, "", &bound, &error));
  EXPECT_EQ(bound, "2024-03-01 00:00:00");
  ASSERT_TRUE(Reader::ParseTimeBound("2024-03-01", true, "", &bound, &error));
  EXPECT_EQ(bound, "2024-03-01 23:59:59");
  ASSERT_TRUE(Reader::ParseTimeBound("2024-03-01 09:30", true, "", &bound, &error));
  EXPECT_EQ(bound, "2024-03-01 09:30:59");
  ASSERT_TRUE(Reader::ParseTimeBound("2024-03-01 09:30:15", false, "", &bound, &error));
  EXPECT_EQ(bound, "2024-03-01 09:30:15");
  // Back across a month end in a leap year, and a week across a year end.
  ASSERT_TRUE(Reader::ParseTimeBound("24h", false, "2024-03-01 09:30:00", &bound, &error));
  EXPECT_EQ(bound, "2024-02-29 09:30:00");
  ASSERT_TRUE(Reader::ParseTimeBound("7d", false, "2024-01-03 00:00:05", &bound, &error));
  EXPECT_EQ(bound, "2023-12-27 00:00:05");
  for (const char* bad : {"yesterday", "2024-3-1", "2024-03-01 9:30", "2024-03-01T09:30", "2024-03-32",
                          "2024-03-01 24:00", "h", "-1d", "2024-03-01 09:30:00x"}) {
    EXPECT_FALSE(Reader::ParseTimeBound(bad, false, "2024-03-01 09:30:00", &bound, &error)) << bad;
  }
}

TEST(HistoryFilterTest, TypesByNumberOrNameAnyCase) {
  HistoryFilter filter;
  std::string error;
  ASSERT_TRUE(Reader::ParseTypeFilter("run", &filter, &error));
  EXPECT_EQ(filter.type, 1);
  HistoryFilter byNumber;
  ASSERT_TRUE(Reader::ParseTypeFilter("65", &byNumber, &error));
  EXPECT_EQ(byNumber.type, 65);
  HistoryFilter setting;
  ASSERT_TRUE(Reader::ParseTypeFilter("SYSTEM SETTING", &setting, &error));
  EXPECT_EQ(setting.typeName, "system setting");
  for (const char* bad : {"0", "66", "Runs", "", "1x"}) {
    HistoryFilter unused;
    EXPECT_FALSE(Reader::ParseTypeFilter(bad, &unused, &error)) << bad;
  }
}

TEST(HistoryFilterTest, FiltersCombine) {
  Reader::EventRecord event;
  event.time = "2024-03-01 09:00:00";
  event.eventType = 13;
  event.loadPointType = 1;
  event.typeName = "Run";
  event.entry = "PixelMoorAgent";
  event.noProcess = false;
  event.processPath = "C:\\Setup\\PMSetup.exe";
  event.change.processEntryKey = 4;
  HistoryFilter filter;
  filter.type = 1;
  filter.entry = "pixelmoor";
  filter.process = "pmsetup";
  filter.since = "2024-03-01 09:00:00";
  EXPECT_TRUE(filter.Matches(event));
  filter.until = "2024-03-01 08:59:59";
  EXPECT_FALSE(filter.Matches(event));
  filter.until.clear();
  filter.unattributed = true;
  EXPECT_FALSE(filter.Matches(event));
  // A rescan summary has no type and no entry of its own.
  Reader::EventRecord summary;
  summary.eventType = 6;
  HistoryFilter typeOnly;
  typeOnly.type = 0;
  EXPECT_FALSE(typeOnly.Matches(summary));
}

}  // namespace
