// What only the emulated drives promise of change notifications: a watch is the
// machine's, so a change made through any process's view reaches it; moves between
// folders and replaced targets are reported as NTFS reports them; a handle that is
// not a folder cannot be armed.
#include <gtest/gtest.h>

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/processes/process_control.h"
#include "platform/file_notify_records.h"
#include "platform/scoped_handle.h"
#include "support/machine_files.h"
#include "support/temporary_folder.h"

namespace {

using namespace Platform;
using Records = std::vector<FileNotifyRecord>;

class DirectoryWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Emulated::ProcessLaunch launch;
    launch.creator = {4, 0};
    launch.imagePath = u"C:\\Windows\\explorer.exe";
    launch.ownerSid = u"S-1-5-21-1-1001";
    writer_ = Emulated::StartProcess(machine_, launch);
    ASSERT_NE(writer_, 0u);
    ASSERT_EQ(Service().CreateDirectory(u"C:\\Startup"), kErrorSuccess);
    ASSERT_EQ(Service().CreateDirectory(u"C:\\Startup\\Old"), kErrorSuccess);
    ASSERT_EQ(Objects().CreateEvent(true, false, u"", event_.Receive(Objects()), nullptr), kErrorSuccess);
    ASSERT_EQ(Service().OpenDirectoryForChanges(u"C:\\Startup", folder_.Receive(Service())), kErrorSuccess);
    Arm();
  }
  FileSystem& Service() { return machine_.Process(4).Files(); }
  FileSystem& Writer() { return machine_.Process(writer_).Files(); }
  NamedObjects& Objects() { return machine_.Process(4).Objects(); }
  void Arm() {
    ASSERT_EQ(Service().ReadDirectoryChanges(folder_.Get(), 4096, true, kFileNotifyChangeFileName, event_.Get()),
              kErrorSuccess);
  }
  // Every record kept so far: the emulation completes a read as the change is made,
  // and a read armed while records wait completes at once, so the reads are taken
  // until none is left. The read stays armed.
  Records Collect() {
    Records all;
    while (Objects().WaitForSingleObject(event_.Get(), 0) == kWaitObject0) {
      Records records;
      std::vector<uint8_t> bytes;
      EXPECT_EQ(Service().GetDirectoryChanges(folder_.Get(), &bytes), kErrorSuccess);
      EXPECT_TRUE(ParseFileNotifyRecords(bytes, &records));
      all.insert(all.end(), records.begin(), records.end());
      Arm();
    }
    return all;
  }
  void WriteAs(FileSystem& files, const std::u16string& path) {
    const uint8_t bytes[] = {'L'};
    WriteMachineFile(files, path, bytes);
  }

  TemporaryFolder host_;
  Emulated::Machine machine_{ConfigOnDrive(host_.Path())};
  uint32_t writer_ = 0;
  ScopedObject event_;
  ScopedFile folder_;
};

TEST_F(DirectoryWatchTest, AnotherProcessesChangesReachTheWatch) {
  WriteAs(Writer(), u"C:\\Startup\\Old\\a.lnk");
  EXPECT_EQ(Collect(), (Records{{kFileActionAdded, u"Old\\a.lnk"}}));
}

TEST_F(DirectoryWatchTest, AMoveBetweenFoldersIsARemovalAndAnAdditionAndAReplacedTargetIsRemovedFirst) {
  WriteAs(Writer(), u"C:\\Startup\\Old\\a.lnk");
  WriteAs(Writer(), u"C:\\Startup\\b.lnk");
  EXPECT_EQ(Collect().size(), 2u);
  ASSERT_EQ(Writer().MoveFileEx(u"C:\\Startup\\Old\\a.lnk", u"C:\\Startup\\b.lnk", kMoveFileReplaceExisting),
            kErrorSuccess);
  EXPECT_EQ(Collect(), (Records{{kFileActionRemoved, u"b.lnk"},
                                {kFileActionRemoved, u"Old\\a.lnk"},
                                {kFileActionAdded, u"b.lnk"}}));
  // A move out of the watched folder is a removal only.
  ASSERT_EQ(Service().CreateDirectory(u"C:\\Elsewhere"), kErrorSuccess);
  ASSERT_EQ(Writer().MoveFileEx(u"C:\\Startup\\b.lnk", u"C:\\Elsewhere\\b.lnk", 0), kErrorSuccess);
  EXPECT_EQ(Collect(), (Records{{kFileActionRemoved, u"b.lnk"}}));
}

TEST_F(DirectoryWatchTest, AFileOpensForChangesButCannotBeArmed) {
  WriteAs(Writer(), u"C:\\Startup\\c.lnk");
  ScopedFile file;
  ASSERT_EQ(Service().OpenDirectoryForChanges(u"C:\\Startup\\c.lnk", file.Receive(Service())), kErrorSuccess);
  EXPECT_EQ(Service().ReadDirectoryChanges(file.Get(), 4096, false, kFileNotifyChangeFileName, event_.Get()),
            kErrorInvalidParameter);
}

}  // namespace
