#include "util/vyr_log.h"

#include <gtest/gtest.h>

#include "platform/emulated/files/file_store.h"
#include "util/time_text.h"
#include "util_machine.h"

namespace VyrUtilities {
namespace {

using UtilTest::Utf16Bytes;
using Bytes = std::vector<uint8_t>;

constexpr char16_t kPath[] = u"C:\\Logs\\Test_Log.txt";

Bytes WithMark(std::u16string_view text) {
  Bytes bytes{0xFF, 0xFE};
  Bytes rest = Utf16Bytes(text);
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

class VyrLogTest : public UtilTest::MachineTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(System().Files().CreateDirectory(u"C:\\Logs"), Platform::kErrorSuccess);
  }

  // The file as another process reads it while the log may still be open.
  Bytes FileBytes() {
    Platform::FileSystem& files = OtherProcess().Files();
    Platform::ScopedFile file;
    EXPECT_EQ(files.CreateFile(kPath, Platform::kGenericRead,
                               Platform::kFileShareRead | Platform::kFileShareWrite,
                               Platform::kOpenExisting, 0, file.Receive(files)),
              Platform::kErrorSuccess);
    Bytes bytes(4096);
    uint32_t read = 0;
    files.ReadFile(file.Get(), bytes, &read);
    bytes.resize(read);
    return bytes;
  }
};

TEST_F(VyrLogTest, LinesPiecesAndHeaderByteForByte) {
  VyrLog log(System());
  ASSERT_TRUE(log.Open(kPath, 1));
  EXPECT_EQ(log.Path(), kPath);
  log.Write(u"plain", 1, 0, 0);
  log.Write(u"ERROR(Open): ", 0, 0, 0);
  log.Write(u"detail %s %d", 1, 0, 0);
  log.Write(u"no end", 0, 0, 0);
  log.WriteHeader(u"StartLogger");
  // Every piece goes to the file as it is written, so a reader sees everything
  // before Close, without a disk-cache flush for any of it.
  EXPECT_EQ(machine_.FileState().DiskFlushCount(), 0u);
  EXPECT_EQ(FileBytes(), WithMark(u"plain\r\nERROR(Open): detail %s %d\r\nno end"
                                  u"===================\r\n*** StartLogger ***\r\n"
                                  u"===================\r\n"));
  EXPECT_TRUE(log.Close());
  EXPECT_FALSE(log.Close());
}

TEST_F(VyrLogTest, TimeStampsWithAndWithoutDate) {
  VyrLog log(System());
  ASSERT_TRUE(log.Open(kPath, 1));
  std::u16string before = FormatCurrentTime(System(), true);
  log.Write(u"a", 1, 1, 0);
  log.Write(u"b", 1, 1, 1);
  log.Write(u"c", 1, 0, 1);  // the date needs the stamp
  std::u16string after = FormatCurrentTime(System(), true);
  Bytes actual = FileBytes();
  auto expected = [](const std::u16string& now) {
    return WithMark(u"[" + now.substr(now.size() - 8) + u"] a\r\n[" + now + u"] b\r\nc\r\n");
  };
  EXPECT_TRUE(actual == expected(before) || actual == expected(after));
  EXPECT_EQ(before.size(), 19u);
}

TEST_F(VyrLogTest, TruncateEmptiesAndAppendFollowsOldText) {
  {
    VyrLog log(System());
    ASSERT_TRUE(log.Open(kPath, 1));
    log.Write(u"first", 1, 0, 0);
  }
  {
    VyrLog log(System());
    ASSERT_TRUE(log.Open(kPath, 0));
    log.Write(u"second", 1, 0, 0);
  }
  EXPECT_EQ(FileBytes(), WithMark(u"first\r\nsecond\r\n"));
  {
    VyrLog log(System());
    ASSERT_TRUE(log.Open(kPath, 1));
    log.Write(u"third", 0, 0, 0);
  }
  EXPECT_EQ(FileBytes(), WithMark(u"third"));
}

TEST_F(VyrLogTest, AppendToNewFileStartsWithMark) {
  VyrLog log(System());
  ASSERT_TRUE(log.Open(kPath, 0));
  log.Write(u"x", 0, 0, 0);
  EXPECT_EQ(FileBytes(), WithMark(u"x"));
}

TEST_F(VyrLogTest, OthersMayReadButNotWriteWhileOpen) {
  VyrLog log(System());
  ASSERT_TRUE(log.Open(kPath, 1));
  VyrLog second(OtherProcess());
  EXPECT_FALSE(second.Open(kPath, 0));
  EXPECT_FALSE(second.IsOpen());
  second.Write(u"dropped", 1, 1, 1);
  EXPECT_FALSE(log.Open(u"C:\\Logs\\Other.txt", 1));  // one file per object
  log.Write(u"kept", 1, 0, 0);
  EXPECT_EQ(FileBytes(), WithMark(u"kept\r\n"));
  log.Close();
  EXPECT_TRUE(second.Open(kPath, 0));
}

TEST_F(VyrLogTest, ALogThatGoesAwayLetsTheNextWriterIn) {
  {
    VyrLog log(System());
    ASSERT_TRUE(log.Open(kPath, 1));
    log.Write(u"first", 1, 0, 0);
  }
  VyrLog next(OtherProcess());
  ASSERT_TRUE(next.Open(kPath, 0));
  next.Write(u"next", 1, 0, 0);
  EXPECT_EQ(FileBytes(), WithMark(u"first\r\nnext\r\n"));
}

TEST_F(VyrLogTest, FailedOpenDropsWritesQuietly) {
  VyrLog log(System());
  EXPECT_FALSE(log.Open(u"C:\\Missing\\Log.txt", 1));
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.Path(), u"");
  log.Write(u"x", 1, 1, 1);
  log.WriteHeader(u"x");
  EXPECT_FALSE(log.Close());
}

}  // namespace
}  // namespace VyrUtilities
