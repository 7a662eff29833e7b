#include "tracker/download_tag.h"

#include <gtest/gtest.h>

namespace Ledger {

namespace {

using BrumevaleUtil::DownloadTag;

TEST(DownloadTag, ReadsBackWhatItWrites) {
  const DownloadTag tag{u"http://a.example/x.exe", u"DESK\\ann", u"2024-01-01 10:00:00"};
  std::u16string joined;
  for (std::u16string_view piece : tag.Pieces()) joined += piece;
  EXPECT_EQ(joined, tag.Text());
  EXPECT_EQ(DownloadTag::Parse(tag.Text()), tag);
}

TEST(DownloadTag, MissingLinesAreEmptyAndExtraLineFeedsBelongToTheTime) {
  EXPECT_EQ(DownloadTag::Parse(u"http://a.example/x.exe"), (DownloadTag{u"http://a.example/x.exe", u"", u""}));
  EXPECT_EQ(DownloadTag::Parse(u"a\nb"), (DownloadTag{u"a", u"b", u""}));
  EXPECT_EQ(DownloadTag::Parse(u"a\nb\nc\nd"), (DownloadTag{u"a", u"b", u"c\nd"}));
  EXPECT_EQ(DownloadTag::Parse(u"a\n\n"), (DownloadTag{u"a", u"", u""}));
}

TEST(DownloadTag, NoAddressIsNoTag) {
  EXPECT_EQ(DownloadTag::Parse(u""), std::nullopt);
  EXPECT_EQ(DownloadTag::Parse(u"\nDESK\\ann\n2024-01-01 10:00:00"), std::nullopt);
}

}  // namespace

}  // namespace Ledger
