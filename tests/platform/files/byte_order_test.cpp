#include "platform/byte_order.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/file_time.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ByteOrder, NumbersReadLeastSignificantByteFirstAtAnyOffset) {
  const Bytes bytes{0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
  EXPECT_EQ(Platform::ReadLe16(bytes, 1), 0x0201u);
  EXPECT_EQ(Platform::ReadLe32(bytes, 1), 0x04030201u);
  EXPECT_EQ(Platform::ReadLe64(bytes, 1), 0x8807060504030201ull);
  // High bits survive: no sign extension from a byte with its top bit set.
  EXPECT_EQ(Platform::ReadLe32(Bytes{0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFu);

  Bytes written;
  Platform::AppendLe(written, 0x8807060504030201ull, 8);
  Platform::AppendLe(written, 0xBEEF, 2);
  EXPECT_EQ(written, (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88, 0xEF, 0xBE}));
  Bytes slot(6, 0);
  Platform::WriteLe(slot, 1, 0xCAFEF00D, 4);
  EXPECT_EQ(slot, (Bytes{0, 0x0D, 0xF0, 0xFE, 0xCA, 0}));
  EXPECT_EQ(Platform::ReadLe32(slot, 1), 0xCAFEF00Du);
}

TEST(ByteOrder, BoundsCheckDoesNotWrapAround) {
  const Bytes bytes(8);
  EXPECT_TRUE(Platform::HasBytes(bytes, 4, 4));
  EXPECT_TRUE(Platform::HasBytes(bytes, 8, 0));
  EXPECT_FALSE(Platform::HasBytes(bytes, 5, 4));
  EXPECT_FALSE(Platform::HasBytes(bytes, 9, 0));
  EXPECT_FALSE(Platform::HasBytes(bytes, 4, std::numeric_limits<size_t>::max()));
  EXPECT_FALSE(Platform::HasBytes(bytes, std::numeric_limits<size_t>::max(), 2));
}

TEST(ByteOrder, Utf16LeTextRoundTripsAndDropsAnOddLastByte) {
  const std::u16string text = u"a\u00e4\u20ac\xD83D\xDE00\u0100";
  const Bytes bytes = Platform::Utf16LeBytes(text);
  ASSERT_EQ(bytes.size(), 2 * text.size());
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[10], 0x00);  // U+0100: low byte first
  EXPECT_EQ(bytes[11], 0x01);
  EXPECT_EQ(Platform::Utf16LeText(bytes), text);

  Bytes odd = bytes;
  odd.push_back(0x41);
  EXPECT_EQ(Platform::Utf16LeText(odd), text);
  EXPECT_EQ(Platform::Utf16LeText(Bytes{0x41}), u"");
  EXPECT_EQ(Platform::Utf16LeText(Bytes{}), u"");
}

TEST(ByteOrder, TerminatedTextStopsAtTheFirstNulAndKeepsInnerOnesOtherwise) {
  const Bytes stored = Platform::Utf16LeBytesWithNul(u"ab");
  EXPECT_EQ(stored, (Bytes{'a', 0, 'b', 0, 0, 0}));
  Bytes twoStrings = stored;
  Platform::AppendUtf16Le(twoStrings, u"cd");
  EXPECT_EQ(Platform::Utf16LeTextToNul(twoStrings), u"ab");
  EXPECT_EQ(Platform::Utf16LeText(twoStrings), std::u16string(u"ab\0cd", 5));
  // No terminator: the text runs to the last whole unit.
  EXPECT_EQ(Platform::Utf16LeTextToNul(Bytes{'x', 0, 'y', 0, 'z'}), u"xy");
  EXPECT_EQ(Platform::Utf16LeBytesWithNul(u""), (Bytes{0, 0}));
}

TEST(FileTime, ConvertsUnixSecondsBothWaysAndRefusesTimesBefore1601) {
  EXPECT_EQ(Platform::FileTimeFromUnixSeconds(0), 116444736000000000ull);
  EXPECT_EQ(Platform::UnixSecondsOf(116444736000000000ull), 0);
  // 2000-01-01 00:00:00 UTC.
  EXPECT_EQ(Platform::FileTimeFromUnixSeconds(946684800), 125911584000000000ull);
  // Ticks within a second belong to that second.
  EXPECT_EQ(Platform::UnixSecondsOf(125911584000000000ull + 9'999'999), 946684800);
  EXPECT_EQ(Platform::FileTimeFromUnixSeconds(-Platform::kSecondsFrom1601To1970), 0u);
  EXPECT_EQ(Platform::UnixSecondsOf(0), -Platform::kSecondsFrom1601To1970);
  EXPECT_EQ(Platform::FileTimeFromUnixSeconds(-Platform::kSecondsFrom1601To1970 - 1), 0u);
}

}  // namespace
