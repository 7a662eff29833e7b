// FILE_NOTIFY_INFORMATION records: what the emulation writes, the parser reads back,
// and bytes that a faulty or hostile source gives are refused whole.
#include <gtest/gtest.h>

#include "platform/file_notify_records.h"
#include "platform/win32_types.h"

namespace {

using namespace Platform;

TEST(FileNotifyRecordsTest, RecordsAreDwordAlignedChainedAndReadBack) {
  const std::vector<FileNotifyRecord> records{{kFileActionRenamedOldName, u"a.lnk"},
                                              {kFileActionRenamedNewName, u"sub\\b\u00e9.lnk"},
                                              {kFileActionRemoved, u"xy"}};
  const std::vector<uint8_t> bytes = EncodeFileNotifyRecords(records);
  // 12 + 10 bytes padded to 24; 12 + 18 padded to 32; 12 + 4 = 16 with no padding.
  EXPECT_EQ(FileNotifyRecordSize(u"a.lnk"), 24u);
  ASSERT_EQ(bytes.size(), 24u + 32u + 16u);
  EXPECT_EQ(bytes[0], 24);       // NextEntryOffset of the first
  EXPECT_EQ(bytes[8], 10);       // FileNameLength in bytes, no terminator
  EXPECT_EQ(bytes[24 + 32], 0);  // the last one ends the chain
  std::vector<FileNotifyRecord> parsed;
  ASSERT_TRUE(ParseFileNotifyRecords(bytes, &parsed));
  EXPECT_EQ(parsed, records);
  ASSERT_TRUE(ParseFileNotifyRecords({}, &parsed));
  EXPECT_TRUE(parsed.empty());
}

// Offsets may leave gaps (the system pads as it likes); they are followed, not assumed.
TEST(FileNotifyRecordsTest, GapsBetweenRecordsAreFollowedAndBadChainsRefused) {
  std::vector<uint8_t> bytes = EncodeFileNotifyRecords(std::vector<FileNotifyRecord>{{kFileActionAdded, u"one"}});
  std::vector<uint8_t> gapped(bytes);
  gapped[0] = 40;  // the next record starts 40 bytes on
  gapped.resize(40, 0xEE);
  const auto second = EncodeFileNotifyRecords(std::vector<FileNotifyRecord>{{kFileActionModified, u"two"}});
  gapped.insert(gapped.end(), second.begin(), second.end());
  std::vector<FileNotifyRecord> parsed;
  ASSERT_TRUE(ParseFileNotifyRecords(gapped, &parsed));
  EXPECT_EQ(parsed, (std::vector<FileNotifyRecord>{{kFileActionAdded, u"one"}, {kFileActionModified, u"two"}}));

  const std::vector<FileNotifyRecord> kept{{kFileActionAdded, u"kept"}};
  auto refused = [&](std::vector<uint8_t> bad) {
    std::vector<FileNotifyRecord> out = kept;
    const bool ok = ParseFileNotifyRecords(bad, &out);
    EXPECT_EQ(out, kept);  // untouched on failure
    return !ok;
  };
  std::vector<uint8_t> intoItself(gapped);
  intoItself[0] = 4;  // points inside its own record
  EXPECT_TRUE(refused(intoItself));
  std::vector<uint8_t> pastEnd(gapped);
  pastEnd[0] = 200;
  EXPECT_TRUE(refused(pastEnd));
  std::vector<uint8_t> oddName(bytes);
  oddName[8] = 5;
  EXPECT_TRUE(refused(oddName));
  std::vector<uint8_t> longName(bytes);
  longName[8] = 200;
  EXPECT_TRUE(refused(longName));
  EXPECT_TRUE(refused(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8)));
}

}  // namespace
