#include <gtest/gtest.h>

#include "reader/record/event_time.h"
#include "reader/inventory/shortcut_target.h"
#include "reader/record/value_limits.h"

namespace {

TEST(EventTimeTest, EachTimeTakesTheOffsetInForceThen) {
  const Reader::UtcOffsets offsets({{"2024-03-01 09:00:00", 60}, {"2024-03-31 03:00:00", 120}});
  EXPECT_EQ(offsets.At("2024-03-01 08:59:59"), std::nullopt);  // before the first note: unknown
  EXPECT_EQ(offsets.At("2024-03-01 09:00:00"), 60);
  EXPECT_EQ(offsets.At("2024-04-01 12:00:00"), 120);
  EXPECT_EQ(Reader::UtcOffsets().At("2024-03-01 09:00:00"), std::nullopt);
}

TEST(EventTimeTest, ListingIsoAndBackAgain) {
  EXPECT_EQ(Reader::TimeText("2024-03-01 09:00:00", 60), "2024-03-01 09:00:00 +01:00");
  EXPECT_EQ(Reader::TimeText("2024-03-01 09:00:00", -330), "2024-03-01 09:00:00 -05:30");
  EXPECT_EQ(Reader::TimeText("2024-03-01 09:00:00", std::nullopt), "2024-03-01 09:00:00 (offset unknown)");
  EXPECT_EQ(Reader::TimeIso("2024-03-01 09:00:00", 0), "2024-03-01T09:00:00+00:00");
  EXPECT_EQ(Reader::TimeIso("2024-03-01 09:00:00", std::nullopt), "2024-03-01T09:00:00");
  EXPECT_EQ(Reader::TimeIso("", 60), "");
  for (const std::optional<int32_t> offset : {std::optional<int32_t>(60), std::optional<int32_t>(-330),
                                              std::optional<int32_t>()}) {
    for (const std::string& text : {Reader::TimeText("2024-03-01 09:00:00", offset),
                                    Reader::TimeIso("2024-03-01 09:00:00", offset)}) {
      std::string local;
      std::optional<int32_t> read;
      ASSERT_TRUE(Reader::SplitTime(text, &local, &read)) << text;
      EXPECT_EQ(local, "2024-03-01 09:00:00");
      EXPECT_EQ(read, offset) << text;
    }
  }
  std::string local;
  std::optional<int32_t> read;
  EXPECT_FALSE(Reader::SplitTime("2024-02-30 09:00:00", &local, &read));
}

TEST(ValueLimitsTest, TheBuffersHoldTheirLastCharacterAndNoMore) {
  EXPECT_FALSE(Reader::DataBeyondBuffers(std::string(1023, 'a')));
  EXPECT_TRUE(Reader::DataBeyondBuffers(std::string(1024, 'a')));
  EXPECT_FALSE(Reader::NameBeyondBuffers(std::string(259, 'n')));
  EXPECT_TRUE(Reader::NameBeyondBuffers(std::string(260, 'n')));
  // Characters, not bytes: 1023 two-byte characters fit; one beyond the Basic
  // Multilingual Plane takes two units.
  std::string accented;
  for (int i = 0; i < 1023; ++i) accented += "\xC3\xA9";
  EXPECT_FALSE(Reader::DataBeyondBuffers(accented));
  EXPECT_TRUE(Reader::DataBeyondBuffers(std::string(1022, 'a') + "\xF0\x9F\x98\x80"));
  EXPECT_EQ(Reader::BeyondBuffersNote("Run", std::string(40000, 'x')),
            "value of 40000 characters: longer than the service's 2048-byte buffers");
  EXPECT_EQ(Reader::BeyondBuffersNote("Run", "x"), "");
}

// A shortcut with a LinkInfo naming a local path, as the shell writes it.
std::vector<uint8_t> Shortcut(const std::string& base, const std::string& suffix, bool withIdList) {
  std::vector<uint8_t> b(0x4C, 0);
  b[0] = 0x4C;
  b[0x14] = (withIdList ? 0x1 : 0) | 0x2;
  if (withIdList) b.insert(b.end(), {4, 0, 0xAA, 0xBB, 0xCC, 0xDD});
  const size_t info = b.size();
  const uint32_t baseAt = 0x1C, suffixAt = baseAt + static_cast<uint32_t>(base.size()) + 1;
  const uint32_t size = suffixAt + static_cast<uint32_t>(suffix.size()) + 1;
  const auto put = [&](uint32_t value) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i))); };
  put(size), put(0x1C), put(1), put(0), put(baseAt), put(0), put(suffixAt);
  for (const char c : base) b.push_back(static_cast<uint8_t>(c));
  b.push_back(0);
  for (const char c : suffix) b.push_back(static_cast<uint8_t>(c));
  b.push_back(0);
  EXPECT_EQ(b.size() - info, size);
  return b;
}

TEST(ShortcutTargetTest, TheLocalPathWithItsSpaces) {
  EXPECT_EQ(Reader::ShortcutTarget(Shortcut("C:\\Program Files\\Velanto\\Sync\\velatray.exe", "", true)),
            u"C:\\Program Files\\Velanto\\Sync\\velatray.exe");
  EXPECT_EQ(Reader::ShortcutTarget(Shortcut("C:\\Tools\\", "run me.exe", false)), u"C:\\Tools\\run me.exe");
  // A header alone names nothing; what is not a shortcut, or is cut short, neither.
  std::vector<uint8_t> bare(0x4C, 0);
  bare[0] = 0x4C;
  EXPECT_EQ(Reader::ShortcutTarget(bare), u"");
  EXPECT_EQ(Reader::ShortcutTarget(std::vector<uint8_t>{'M', 'Z', 0, 0}), u"");
  std::vector<uint8_t> cut = Shortcut("C:\\a.exe", "", true);
  cut.resize(cut.size() - 6);
  EXPECT_EQ(Reader::ShortcutTarget(cut), u"");
}

}  // namespace
