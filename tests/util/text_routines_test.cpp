#include "util/text_routines.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace VyrUtilities {
namespace {

using List = std::vector<std::u16string>;

TEST(TrimTest, RemovesBlanksAndLineEndsOnBothSidesOnly) {
  EXPECT_EQ(Trim(u" \t\r\na b\r\n"), u"a b");
  EXPECT_EQ(Trim(u" \t\r\n"), u"");
  EXPECT_EQ(Trim(u"\vx\v"), u"\vx\v");  // only the four listed characters
}

TEST(SplitTest, KeepsEmptyPiecesAndStopsAtMaxPieces) {
  List list;
  Split(u".a..b.", u'.', list);
  EXPECT_EQ(list, (List{u"", u"a", u"", u"b", u""}));

  list.clear();
  Split(u"a.b.c", u'.', list, 1);
  EXPECT_EQ(list, (List{u"a", u"b.c"}));

  list.clear();
  Split(u"abc", u'.', list, 0);
  EXPECT_EQ(list, (List{u"abc"}));
}

TEST(SplitTest, AppendsAndCountsWhatTheListAlreadyHolds) {
  List list{u"old"};
  Split(u"a,b", u',', list, 2);
  EXPECT_EQ(list, (List{u"old", u"a", u"b"}));
  list = {u"old"};
  Split(u"a,b,c", u',', list, 1);
  EXPECT_EQ(list, (List{u"old", u"a,b,c"}));
}

TEST(CaseTest, FoldsAsciiLettersOnly) {
  EXPECT_EQ(ToUpper(u"abz@[`{\u00e9"), u"ABZ@[`{\u00e9");
  EXPECT_EQ(ToLower(u"ABZ@[`{\u00c9"), u"abz@[`{\u00c9");
  EXPECT_TRUE(EqualsIgnoreCase(u"Software\\Run", u"SOFTWARE\\run"));
  EXPECT_FALSE(EqualsIgnoreCase(u"\u00e9", u"\u00c9"));
  EXPECT_FALSE(EqualsIgnoreCase(u"abc", u"abcd"));
  EXPECT_FALSE(EqualsIgnoreCase(u"[", u"{"));  // not the same letter under a 0x20 mask
}

TEST(CaseTest, StartsWith) {
  EXPECT_TRUE(StartsWith(u"HKEY_LOCAL_MACHINE", u"hkey_", false));
  EXPECT_FALSE(StartsWith(u"HKEY_LOCAL_MACHINE", u"hkey_", true));
  EXPECT_TRUE(StartsWith(u"abc", u"", true));
  EXPECT_FALSE(StartsWith(u"ab", u"abc", false));
}

TEST(NumberTextTest, IsDigitsAcceptsDigitsAndMinus) {
  EXPECT_TRUE(IsDigits(u"0123456789"));
  EXPECT_TRUE(IsDigits(u"-12"));
  EXPECT_TRUE(IsDigits(u""));
  EXPECT_FALSE(IsDigits(u"12a"));
  EXPECT_FALSE(IsDigits(u"1 2"));
}

TEST(NumberTextTest, DecimalValueReadsTheLeadingNumber) {
  EXPECT_EQ(DecimalValue(u" \t04x"), 4);
  EXPECT_EQ(DecimalValue(u"-3"), -3);
  EXPECT_EQ(DecimalValue(u"- 4"), 0);
  EXPECT_EQ(DecimalValue(u"99999999999999999999"), INT64_MAX);
}

TEST(NumberTextTest, ToHexWritesUpperCasePairs) {
  const uint8_t bytes[] = {0x00, 0x0A, 0xFF, 0x7c};
  EXPECT_EQ(ToHex(bytes, 4, u","), u"00,0A,FF,7C");
  EXPECT_EQ(ToHex(bytes, 2, u""), u"000A");
  EXPECT_EQ(ToHex(bytes, 0, u","), u"");
}

TEST(NumberTextTest, IntToTextInEveryRadix) {
  EXPECT_EQ(IntToText(0, 10), u"0");
  EXPECT_EQ(IntToText(4242, 10), u"4242");
  EXPECT_EQ(IntToText(-17, 10), u"-17");
  EXPECT_EQ(IntToText(255, 16), u"ff");
  EXPECT_EQ(IntToText(5, 2), u"101");
  EXPECT_EQ(IntToText(35, 36), u"z");
  EXPECT_EQ(IntToText(-1, 16), u"ffffffffffffffff");
  EXPECT_EQ(IntToText(std::numeric_limits<int64_t>::min(), 10), u"-9223372036854775808");
  EXPECT_EQ(IntToText(10, 1), u"");
}

TEST(FormatByteSizeTest, BytesArePlainCounts) {
  EXPECT_EQ(FormatByteSize(0), u"0 bytes");
  EXPECT_EQ(FormatByteSize(532), u"532 bytes");
  EXPECT_EQ(FormatByteSize(999), u"999 bytes");
  EXPECT_EQ(FormatByteSize(1000), u"1000 bytes");
  EXPECT_EQ(FormatByteSize(1023), u"1023 bytes");
}

TEST(FormatByteSizeTest, ThreeSignificantDigitsTruncated) {
  EXPECT_EQ(FormatByteSize(1024), u"1.00 KB");
  EXPECT_EQ(FormatByteSize(1340), u"1.30 KB");
  EXPECT_EQ(FormatByteSize(1536), u"1.50 KB");
  EXPECT_EQ(FormatByteSize(2047), u"1.99 KB");
  EXPECT_EQ(FormatByteSize(10239), u"9.99 KB");
  EXPECT_EQ(FormatByteSize(10240), u"10.0 KB");
  EXPECT_EQ(FormatByteSize(23506), u"22.9 KB");
  EXPECT_EQ(FormatByteSize(102399), u"99.9 KB");
  EXPECT_EQ(FormatByteSize(102400), u"100 KB");
  EXPECT_EQ(FormatByteSize(1022286), u"998 KB");
  EXPECT_EQ(FormatByteSize(1023999), u"999 KB");
  EXPECT_EQ(FormatByteSize(1046862), u"0.99 MB");
  EXPECT_EQ(FormatByteSize(2400016), u"2.28 MB");
  EXPECT_EQ(FormatByteSize(2400000000), u"2.23 GB");
  EXPECT_EQ(FormatByteSize(2147483647), u"1.99 GB");
}

TEST(FormatByteSizeTest, NextUnitFromOneThousandOfTheLast) {
  EXPECT_EQ(FormatByteSize(1024000), u"0.97 MB");
  EXPECT_EQ(FormatByteSize(1048575), u"0.99 MB");
  EXPECT_EQ(FormatByteSize(1048576), u"1.00 MB");
  EXPECT_EQ(FormatByteSize(1000ull << 20), u"0.97 GB");
  EXPECT_EQ(FormatByteSize(1ull << 40), u"1.00 TB");
  EXPECT_EQ(FormatByteSize(1ull << 50), u"1.00 PB");
  EXPECT_EQ(FormatByteSize(1ull << 60), u"1.00 EB");
  EXPECT_EQ(FormatByteSize(std::numeric_limits<uint64_t>::max()), u"15.9 EB");
}

}  // namespace
}  // namespace VyrUtilities
