#include <gtest/gtest.h>

#include "reader/history/history_filter.h"

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
  ASSERT_TRUE(Reader::ParseTimeBound("30m", false, "2024-03-01 00:10:00", &bound, &error));
  EXPECT_EQ(bound, "2024-02-29 23:40:00");
  // The newest time as the listing or the JSON writes it counts back the same.
  ASSERT_TRUE(Reader::ParseTimeBound("2h", false, "2024-03-01T09:30:00+01:00", &bound, &error));
  EXPECT_EQ(bound, "2024-03-01 07:30:00");
  for (const char* bad : {"yesterday", "2024-3-1", "2024-03-01 9:30", "2024-03-32", "2023-02-29", "2024-04-31",
                          "2024-03-01 24:00", "h", "-1d", "30s", "2024-03-01 09:30:00x", "2024-03-01T09:30+1",
                          "2024-03-01T09:30:00+15:00", "2024-03-01Z"}) {
    EXPECT_FALSE(Reader::ParseTimeBound(bad, false, "2024-03-01 09:30:00", &bound, &error)) << bad;
  }
}

TEST(HistoryFilterTest, AnInstantIsComparedWithEachEventsOwnOffset) {
  std::string bound, error;
  ASSERT_TRUE(Reader::ParseTimeBound("2024-03-01T09:30", false, "", &bound, &error));
  EXPECT_EQ(bound, "2024-03-01 09:30:00");  // ISO without an offset: the record's local time
  ASSERT_TRUE(Reader::ParseTimeBound("2024-03-01T00:30:00+01:00", false, "", &bound, &error));
  EXPECT_EQ(bound, "2024-02-29 23:30:00Z");
  ASSERT_TRUE(Reader::ParseTimeBound("2024-03-01 09:30Z", true, "", &bound, &error));
  EXPECT_EQ(bound, "2024-03-01 09:30:59Z");
  // 10:00 local at UTC+01:00 is 09:00 UTC: inside a window from 08:30 UTC, outside
  // one from 09:30 UTC; read as UTC (no offset known) it would be inside both.
  Reader::EventRecord event;
  event.time = "2024-03-01 10:00:00";
  event.utcOffset = 60;
  HistoryFilter from0830, from0930;
  from0830.since = "2024-03-01 08:30:00Z";
  from0930.since = "2024-03-01 09:30:00Z";
  EXPECT_TRUE(from0830.Matches(event));
  EXPECT_FALSE(from0930.Matches(event));
  event.utcOffset.reset();
  EXPECT_TRUE(from0930.Matches(event));
}

TEST(HistoryFilterTest, AnInvertedWindowIsRefused) {
  std::string error;
  EXPECT_TRUE(Reader::CheckWindow("2024-03-01 09:00:00", "2024-03-01 09:00:00", &error));
  EXPECT_FALSE(Reader::CheckWindow("2024-03-02 00:00:00", "2024-03-01 23:59:59", &error));
  EXPECT_FALSE(Reader::CheckWindow("2024-03-01 10:00:00Z", "2024-03-01 09:00:00Z", &error));
  EXPECT_TRUE(Reader::CheckWindow("", "2024-03-01 09:00:00", &error));
}

TEST(HistoryFilterTest, AUserIsFoundByNameOrSid) {
  Reader::EventRecord event;
  event.user = "S-1-5-21-1-2-3-1001";
  event.userName = "DESKTOP-7Q2M4LK\\maren";
  for (const char* text : {"maren", "DESKTOP-7Q2M4LK\\MAREN", "s-1-5-21-1-2-3-1001"}) {
    HistoryFilter filter;
    filter.user = Reader::Folded(text);
    EXPECT_TRUE(filter.Matches(event)) << text;
  }
  HistoryFilter other;
  other.user = "tomas";
  EXPECT_FALSE(other.Matches(event));
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
