// Path and registry-data routines that need no machine.

#include <gtest/gtest.h>

#include <cstdint>

#include "util/path_routines.h"
#include "util/registry_text.h"
#include "util/time_text.h"

namespace VyrUtilities {
namespace {

std::vector<uint8_t> Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

TEST(SplitPathTest, CutsAtLastBackslashAndLastDot) {
  std::u16string dir, name, ext, drive;
  EXPECT_TRUE(SplitPath(u"C:\\a.b\\file.tar.gz", &dir, &name, &ext, &drive));
  EXPECT_EQ(dir, u"C:\\a.b");
  EXPECT_EQ(name, u"file.tar.gz");
  EXPECT_EQ(ext, u"gz");
  EXPECT_EQ(drive, u"C");
}

TEST(SplitPathTest, MissingPartsLeaveOutputsAloneOrEmpty) {
  std::u16string dir = u"x", name, ext = u"keep", drive = u"keep";
  SplitPath(u"notes", &dir, &name, &ext, &drive);
  EXPECT_EQ(dir, u"");
  EXPECT_EQ(name, u"notes");
  EXPECT_EQ(ext, u"keep");
  EXPECT_EQ(drive, u"keep");
  SplitPath(u"\\\\server\\share:x\\y.", nullptr, &name, &ext, &drive);
  EXPECT_EQ(name, u"y.");
  EXPECT_EQ(ext, u"");
  EXPECT_EQ(drive, u"keep");
}

TEST(ParentPathTest, DropsLevelsAndTrailingSeparator) {
  EXPECT_EQ(ParentPath(u"C:\\Users\\Ann\\Documents\\", 1), u"C:\\Users\\Ann");
  EXPECT_EQ(ParentPath(u"C:\\Users\\Ann\\Documents", 2), u"C:\\Users");
  EXPECT_EQ(ParentPath(u"C:\\Users", 0), u"C:\\Users");
  EXPECT_EQ(ParentPath(u"C:\\Users", 1), u"C:");
  EXPECT_EQ(ParentPath(u"C:\\Users", 2), u"");
  EXPECT_EQ(ParentPath(u"", 1), u"");
}

TEST(RegistryTextTest, MultiStringToTextEscapesAndJoins) {
  auto data = Bytes(std::u16string(u"a\0b\\c\0\0ignored", 15));
  EXPECT_EQ(MultiStringToText(data.data(), data.size()), u"a\\0b\\\\c");
  auto open = Bytes(u"abc");  // no terminator at all
  EXPECT_EQ(MultiStringToText(open.data(), open.size()), u"abc");
  EXPECT_EQ(MultiStringToText(nullptr, 0), u"");
}

TEST(RegistryTextTest, CountedTextEndsAtFirstNulOrData) {
  auto data = Bytes(std::u16string(u"abc\0def", 7));
  EXPECT_EQ(CountedText(data.data(), data.size()), u"abc");
  EXPECT_EQ(CountedText(data.data(), 4), u"ab");
  EXPECT_EQ(CountedText(data.data(), 5), u"ab");  // an odd last byte is no character
  auto wide = Bytes(u"\u00e9\u4e2d");
  EXPECT_EQ(CountedText(wide.data(), wide.size()), u"\u00e9\u4e2d");
}

TEST(FormatTimeTest, WithAndWithoutDate) {
  Platform::SystemTime t{2024, 5, 3, 1, 14, 3, 7, 999};
  EXPECT_EQ(FormatTime(t, true), u"2024-05-01 14:03:07");
  EXPECT_EQ(FormatTime(t, false), u"14:03:07");
  Platform::SystemTime early{987, 1, 0, 2, 0, 0, 0, 0};
  EXPECT_EQ(FormatTime(early, true), u"987-01-02 00:00:00");
}

}  // namespace
}  // namespace VyrUtilities
