// The file-object protocol: which record sequences of one file object become which
// FileEntry, and when a context lives and dies.

#include "intake/collector_fixture.h"

namespace {

constexpr uint64_t kObject = 0xFFFFA0000000BEEF;
constexpr char16_t kDevicePath[] = u"\\Device\\HarddiskVolume2\\Users\\a\\x.txt";
constexpr char16_t kDosPath[] = u"C:\\Users\\a\\x.txt";

class FileObjectProtocolTest : public CollectorTest {
 protected:
  // One record of kObject by process 40, thread 44.
  void Send(uint32_t operation, uint32_t detail = 0, uint64_t process = 40,
            uint64_t thread = 44) {
    ReplyBuilder reply;
    reply.Add({.id1 = kObject, .id2 = process, .id3 = thread, .operation = operation,
               .detail = detail},
              Wide(kDevicePath));
    Decode(reply, 1);
  }
  bool HasContext() { return collector.FileObjects().Find(kObject) != nullptr; }
};

TEST_F(FileObjectProtocolTest, CreateMarkTwiceAndCloseIsCreatedThenDeleted) {
  Send(1);
  Send(4, 1, 40, 44);
  Send(4, 1, 50, 55);
  Send(16);
  TAKE(FileEntry, created);
  EXPECT_EQ(created->Kind(), kEntryFile);
  EXPECT_EQ(created->FileOperation(), kFileCreated);
  EXPECT_EQ(created->Path(), kDosPath);
  EXPECT_EQ(created->FirstId(), 40u);
  EXPECT_EQ(created->SecondId(), 44u);
  EXPECT_EQ(created->DetailFlag(), 0u);
  TAKE(FileEntry, deleted);
  EXPECT_EQ(deleted->FileOperation(), kFileDeleted);
  EXPECT_EQ(deleted->Path(), kDosPath);
  EXPECT_EQ(deleted->FirstId(), 40u);  // the first pair that marked it
  EXPECT_EQ(deleted->SecondId(), 44u);
  EXPECT_TRUE(QueueEmpty());
  EXPECT_FALSE(HasContext());
}

TEST_F(FileObjectProtocolTest, UnmarkingRemovesEveryEqualPair) {
  Send(1);
  Send(4, 1);
  Send(4, 1);
  Send(4, 0);
  Send(16);
  TAKE(FileEntry, created);
  EXPECT_EQ(created->FileOperation(), kFileCreated);
  EXPECT_TRUE(QueueEmpty());
  EXPECT_FALSE(HasContext());
}

TEST_F(FileObjectProtocolTest, UnmarkingOnePairKeepsAnotherPairsMark) {
  Send(4, 1, 40, 44);
  Send(4, 1, 60, 66);
  Send(4, 0, 40, 44);
  Send(16);
  TAKE(FileEntry, deleted);
  EXPECT_EQ(deleted->FileOperation(), kFileDeleted);
  EXPECT_EQ(deleted->FirstId(), 60u);
  EXPECT_EQ(deleted->SecondId(), 66u);
}

TEST_F(FileObjectProtocolTest, WriteIsReportedWhenItsStartWasSeen) {
  Send(64, 0, 40, 44);
  Send(128, 0, 40, 45);  // another thread's finish: never announced
  EXPECT_TRUE(QueueEmpty());
  Send(128, 0, 40, 44);
  TAKE(FileEntry, written);
  EXPECT_EQ(written->FileOperation(), kFileWritten);
  EXPECT_EQ(written->Path(), kDosPath);
  EXPECT_EQ(written->SecondId(), 44u);
  Send(128, 0, 40, 44);  // the pair was consumed
  EXPECT_TRUE(QueueEmpty());
  EXPECT_TRUE(HasContext());
}

TEST_F(FileObjectProtocolTest, RecordsThatEmitNothingStillOpenAContext) {
  Send(2);
  Send(8);
  EXPECT_TRUE(QueueEmpty());
  EXPECT_TRUE(HasContext());
}

TEST_F(FileObjectProtocolTest, CloseOfAnUnknownObjectLeavesNoContext) {
  Send(16);
  EXPECT_TRUE(QueueEmpty());
  EXPECT_FALSE(HasContext());
}

TEST_F(FileObjectProtocolTest, DirectoryFlagComesFromTheFirstRecord) {
  Send(1, 2);
  Send(64, 0);
  Send(128, 0);
  TAKE(FileEntry, created);
  EXPECT_EQ(created->DetailFlag(), 1u);
  TAKE(FileEntry, written);
  EXPECT_EQ(written->DetailFlag(), 1u);

  ReplyBuilder reply;  // Detail 2 on another operation does not set it
  reply.Add({.id1 = 77, .operation = 4, .detail = 2}, Wide(kDevicePath));
  reply.Add({.id1 = 77, .operation = 1, .detail = 2}, Wide(kDevicePath));
  Decode(reply, 2);
  TAKE(FileEntry, later);
  EXPECT_EQ(later->DetailFlag(), 0u);
}

TEST_F(FileObjectProtocolTest, RenameReportsBothNamesAndFollowsTheNewOne) {
  Send(1);
  ReplyBuilder rename;
  rename.Add({.id1 = kObject, .id2 = 40, .id3 = 44, .operation = 32},
             Concat({Wide(kDevicePath), Wide(u"\\??\\C:\\Users\\a\\y.txt")}));
  Decode(rename, 1);
  Send(4, 1);
  Send(16);

  TAKE(FileEntry, created);
  EXPECT_EQ(created->FileOperation(), kFileCreated);
  TAKE(FileEntry, renamed);
  EXPECT_EQ(renamed->FileOperation(), kFileRenamed);
  EXPECT_EQ(renamed->Path(), kDosPath);
  EXPECT_EQ(renamed->SecondPath(), u"C:\\Users\\a\\y.txt");
  TAKE(FileEntry, deleted);
  EXPECT_EQ(deleted->Path(), u"C:\\Users\\a\\y.txt");
}

TEST_F(FileObjectProtocolTest, RenameWithoutASecondNameIsDropped) {
  Send(1);
  ReplyBuilder reply;
  reply.Add({.id1 = kObject, .operation = 32}, Wide(kDevicePath));  // terminated, nothing after
  reply.Add({.id1 = kObject, .operation = 32}, Wide(u"\\Device\\HarddiskVolume2\\z", false));
  Decode(reply, 2);
  Send(4, 1);
  Send(16);
  TAKE(FileEntry, created);
  TAKE(FileEntry, deleted);
  EXPECT_EQ(deleted->FileOperation(), kFileDeleted);
  EXPECT_EQ(deleted->Path(), kDosPath);  // the name did not change
  EXPECT_TRUE(QueueEmpty());
}

TEST_F(FileObjectProtocolTest, PathOnAVolumeWithoutADriveLetterIsEmpty) {
  ReplyBuilder reply;
  reply.Add({.id1 = 5, .operation = 1}, Wide(u"\\Device\\HarddiskVolume9\\x"));
  reply.Add({.id1 = 6, .operation = 1}, Wide(u"", false));  // no name at all
  Decode(reply, 2);
  TAKE(FileEntry, unmapped);
  EXPECT_TRUE(unmapped->Path().empty());
  TAKE(FileEntry, nameless);
  EXPECT_TRUE(nameless->Path().empty());
}

TEST(FileEntrySecondPath, OnlyALeadingObjectPrefixIsDropped) {
  FileEntry entry;
  entry.SetSecondPath(u"\\??\\C:\\a");
  EXPECT_EQ(entry.SecondPath(), u"C:\\a");
  entry.SetSecondPath(u"C:\\x\\??\\a");
  EXPECT_EQ(entry.SecondPath(), u"C:\\x\\??\\a");
  entry.SetFile(kFileCreated, u"C:\\b", 0);
  EXPECT_TRUE(entry.SecondPath().empty());
}

}  // namespace
