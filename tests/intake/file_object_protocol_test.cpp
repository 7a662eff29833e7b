// The file-object protocol: which record sequences of one file object become which
// FileEntry, and when a context lives and dies.

#include "intake/collector_fixture.h"

namespace Intake {

namespace {

constexpr uint64_t kObject = 0xFFFFA0000000BEEF;
constexpr char16_t kDevicePath[] = u"\\Device\\HarddiskVolume2\\Users\\a\\x.txt";

struct Step {
  uint32_t operation;
  uint32_t detail = 0;
  uint64_t thread = 44;
  std::vector<uint8_t> data = Wide(kDevicePath);
};

class FileObjectProtocolTest : public CollectorTest {
 protected:
  // Feeds the steps as records of kObject by process 40 and renders what came out:
  // "operation path[ -> second path] process:thread flag".
  std::vector<std::u16string> Run(const std::vector<Step>& steps) {
    ReplyBuilder reply;
    for (const Step& step : steps) {
      reply.Add({.id1 = kObject, .id2 = 40, .id3 = step.thread, .operation = step.operation,
                 .detail = step.detail},
                step.data);
    }
    Decode(reply, static_cast<uint32_t>(steps.size()));
    std::vector<std::u16string> out;
    while (const FileEntry* entry = Next<FileEntry>()) {
      EXPECT_EQ(entry->Kind(), kEntryFile);
      out.push_back(VyrUtilities::IntToText(entry->FileOperation(), 10) + u" " + entry->Path() +
                    (entry->SecondPath().empty() ? u"" : u" -> " + entry->SecondPath()) + u" " +
                    VyrUtilities::IntToText(entry->FirstId(), 10) + u":" +
                    VyrUtilities::IntToText(entry->SecondId(), 10) + u" " +
                    VyrUtilities::IntToText(entry->DetailFlag(), 10));
    }
    return out;
  }
  bool HasContext() { return collector.FileObjects().Find(kObject) != nullptr; }
  using Out = std::vector<std::u16string>;
};

TEST_F(FileObjectProtocolTest, CreateThenCloseOfAMarkedObjectIsCreatedThenDeleted) {
  // Marked twice, by two threads: the delete goes to the first.
  EXPECT_EQ(Run({{1}, {4, 1, 44}, {4, 1, 55}, {16}}),
            (Out{u"1 C:\\Users\\a\\x.txt 40:44 0", u"3 C:\\Users\\a\\x.txt 40:44 0"}));
  EXPECT_FALSE(HasContext());
}

TEST_F(FileObjectProtocolTest, ObjectReopenedAfterCloseStartsWithNothingOfTheOldOne) {
  // The second life of the key must not see the first one's name, pending write or
  // marks, whatever the table keeps of closed objects.
  const std::vector<uint8_t> shortName = Wide(u"\\Device\\HarddiskVolume2\\y");
  EXPECT_EQ(Run({{64, 0, 44}, {4, 1, 44}, {16}, {1, 0, 44, shortName}, {128, 0, 44}, {16}}),
            (Out{u"3 C:\\Users\\a\\x.txt 40:44 0", u"1 C:\\y 40:44 0"}));
  EXPECT_FALSE(HasContext());
}

TEST_F(FileObjectProtocolTest, UnmarkingRemovesEveryEqualPairOnly) {
  EXPECT_EQ(Run({{1}, {4, 1}, {4, 1}, {4, 0}, {16}}), Out{u"1 C:\\Users\\a\\x.txt 40:44 0"});
  EXPECT_EQ(Run({{4, 1, 44}, {4, 1, 66}, {4, 0, 44}, {16}}),
            Out{u"3 C:\\Users\\a\\x.txt 40:66 0"});
}

TEST_F(FileObjectProtocolTest, WriteIsReportedOnceWhenItsStartWasSeen) {
  EXPECT_EQ(Run({{64, 0, 44}, {128, 0, 45}, {128, 0, 44}, {128, 0, 44}}),
            Out{u"4 C:\\Users\\a\\x.txt 40:44 0"});
  EXPECT_TRUE(HasContext());
}

TEST_F(FileObjectProtocolTest, RecordsThatEmitNothingStillManageTheContext) {
  EXPECT_EQ(Run({{2}, {8}}), Out{});
  EXPECT_TRUE(HasContext());
  EXPECT_EQ(Run({{16}}), Out{});
  EXPECT_FALSE(HasContext());
  EXPECT_EQ(Run({{16}}), Out{});  // a close of an unknown object
  EXPECT_FALSE(HasContext());
}

TEST_F(FileObjectProtocolTest, DirectoryFlagIsFixedByTheFirstRecord) {
  EXPECT_EQ(Run({{1, 2}, {64}, {128}, {16}}),
            (Out{u"1 C:\\Users\\a\\x.txt 40:44 1", u"4 C:\\Users\\a\\x.txt 40:44 1"}));
  EXPECT_EQ(Run({{4, 2}, {1, 2}, {16}}), (Out{u"1 C:\\Users\\a\\x.txt 40:44 0",
                                              u"3 C:\\Users\\a\\x.txt 40:44 0"}));
}

TEST_F(FileObjectProtocolTest, RenameReportsBothNamesAndTheObjectFollowsTheNewOne) {
  const std::vector<uint8_t> rename =
      Concat({Wide(kDevicePath), Wide(u"\\??\\C:\\Users\\a\\y.txt")});
  EXPECT_EQ(Run({{1}, {32, 0, 44, rename}, {4, 1}, {16}}),
            (Out{u"1 C:\\Users\\a\\x.txt 40:44 0",
                 u"2 C:\\Users\\a\\x.txt -> C:\\Users\\a\\y.txt 40:44 0",
                 u"3 C:\\Users\\a\\y.txt 40:44 0"}));
}

TEST_F(FileObjectProtocolTest, RenameWithoutASecondNameIsDropped) {
  EXPECT_EQ(Run({{32}, {32, 0, 44, Wide(u"\\Device\\HarddiskVolume2\\z", false)}, {4, 1}, {16}}),
            Out{u"3 C:\\Users\\a\\x.txt 40:44 0"});
}

TEST_F(FileObjectProtocolTest, PathOnAVolumeWithoutADriveLetterIsEmpty) {
  EXPECT_EQ(Run({{1, 0, 44, Wide(u"\\Device\\HarddiskVolume9\\x")}, {16}}), Out{u"1  40:44 0"});
  EXPECT_EQ(Run({{1, 0, 44, {}}, {16}}), Out{u"1  40:44 0"});
}

TEST(FileEntrySecondPath, OnlyALeadingObjectPrefixIsDropped) {
  FileEntry entry;
  entry.SetSecondPath(u"C:\\x\\??\\a");
  EXPECT_EQ(entry.SecondPath(), u"C:\\x\\??\\a");
  entry.SetFile(kFileCreated, u"C:\\b", 0);
  EXPECT_TRUE(entry.SecondPath().empty());
}

}  // namespace

}  // namespace Intake
