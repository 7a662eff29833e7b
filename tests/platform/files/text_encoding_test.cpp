#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(TextEncoding, RoundTripsBmpAndSurrogatePairs) {
  const std::u16string text = u"a\u00e4\u20ac\U0001F600z";
  const std::string utf8 = Platform::Utf16ToUtf8(text);
  EXPECT_EQ(utf8, "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(Platform::Utf8ToUtf16(utf8), text);
}

TEST(TextEncoding, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Platform::Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(Platform::Utf8ToUtf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(Platform::Utf8ToUtf16("\xFF" "b"), u"\uFFFDb");
  EXPECT_EQ(Platform::Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");
}

}  // namespace
