// What only the emulated drives promise: the kernel's view of file objects, state
// kept across machine restarts, 8.3 names of image folders, and deny-write locks
// seen by a second machine on the same folder.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/emulated/files/file_store.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/machine/machine.h"
#include "support/temporary_folder.h"
#include "platform/scoped_handle.h"

namespace {

using namespace Platform;
using Emulated::Actor;

class RecordingSink : public Emulated::ActivitySink {
 public:
  std::vector<std::u16string> events;

  void ProcessStarted(Actor, uint32_t) override {}
  void ProcessExited(Actor, uint32_t) override {}
  void ThreadCreated(Actor, uint32_t) override {}
  void ThreadExited(Actor, uint32_t) override {}
  void RegistryValueSet(Actor, std::u16string_view, std::u16string_view, uint32_t,
                        std::span<const uint8_t>) override {}
  void RegistryValueDeleted(Actor, std::u16string_view, std::u16string_view) override {}
  void RegistryKeyDeleted(Actor, std::u16string_view) override {}
  void FileCreated(Actor a, uint64_t o, std::u16string_view p, bool directory) override {
    Add(a, o, directory ? u"created-dir " : u"created ", p);
  }
  void FileWriteStarted(Actor a, uint64_t o, std::u16string_view p) override { Add(a, o, u"write ", p); }
  void FileWriteFinished(Actor a, uint64_t o, std::u16string_view p) override { Add(a, o, u"written ", p); }
  void FileDeleteOnClose(Actor a, uint64_t o, std::u16string_view p, bool set) override {
    Add(a, o, set ? u"delete " : u"undelete ", p);
  }
  void FileRenamed(Actor a, uint64_t o, std::u16string_view p, std::u16string_view to) override {
    Add(a, o, u"rename ", std::u16string(p) + u" -> " + std::u16string(to));
  }
  void FileClosed(Actor a, uint64_t o, std::u16string_view p) override { Add(a, o, u"close ", p); }

 private:
  // Each event names its file object by the order of first appearance (#1, #2...).
  void Add(Actor actor, uint64_t object, std::u16string_view what, std::u16string_view path) {
    if (actor.processId != 1200 || actor.threadId != 77) what = u"WRONG ACTOR ";
    size_t index = 0;
    while (index < objects_.size() && objects_[index] != object) ++index;
    if (index == objects_.size()) objects_.push_back(object);
    events.push_back(u"#" + std::u16string(1, static_cast<char16_t>(u'1' + index)) + u" " +
                     std::u16string(what) + std::u16string(path));
  }
  std::vector<uint64_t> objects_;
};

class FileStoreTest : public ::testing::Test {
 protected:
  FileStoreTest() { machine_.FileState().ReportActivityTo(&sink_); }
  ~FileStoreTest() override { machine_.FileState().ReportActivityTo(&machine_.Activity()); }
  FileSystem& Fs() { return machine_.Process(1200, 77).Files(); }
  void Write(std::u16string_view path, std::string_view bytes, uint32_t flags = kFileAttributeNormal) {
    ScopedFile file;
    ASSERT_EQ(Fs().CreateFile(path, kGenericWrite, 0, kCreateAlways, flags, file.Receive(Fs())), kErrorSuccess);
    ASSERT_EQ(Fs().WriteFile(file.Get(), {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, nullptr),
              kErrorSuccess);
  }
  void Touch(const std::filesystem::path& relative) {
    std::filesystem::create_directories((folder_.Path() / relative).parent_path());
    std::ofstream(folder_.Path() / relative) << "x";
  }

  TemporaryFolder folder_;
  Emulated::Machine machine_{ConfigOnDrive(folder_.Path())};
  RecordingSink sink_;
};

TEST_F(FileStoreTest, ReportsTheLifeOfEachFileObjectInDeviceForm) {
  ASSERT_EQ(Fs().CreateDirectory(u"C:\\Users"), kErrorSuccess);
  Write(u"c:\\users\\Run.lnk", "L");
  Write(u"C:\\Users\\run.LNK", "again");  // opening an existing file reports no creation
  Write(u"C:\\Users\\run.lnk:Zone.Identifier", "[ZoneTransfer]");
  ASSERT_EQ(Fs().MoveFileEx(u"C:\\Users\\Run.lnk", u"C:\\users\\Moved.lnk", 0), kErrorSuccess);
  ASSERT_EQ(Fs().DeleteFile(u"C:\\Users\\moved.lnk"), kErrorSuccess);
  const std::u16string dir = u"\\Device\\HarddiskVolume2\\Users";
  const std::vector<std::u16string> expected = {
      u"#1 created-dir " + dir, u"#1 close " + dir,
      u"#2 created " + dir + u"\\Run.lnk", u"#2 write " + dir + u"\\Run.lnk",
      u"#2 written " + dir + u"\\Run.lnk", u"#2 close " + dir + u"\\Run.lnk",
      u"#3 write " + dir + u"\\Run.lnk", u"#3 written " + dir + u"\\Run.lnk", u"#3 close " + dir + u"\\Run.lnk",
      u"#4 created " + dir + u"\\Run.lnk:Zone.Identifier", u"#4 write " + dir + u"\\Run.lnk:Zone.Identifier",
      u"#4 written " + dir + u"\\Run.lnk:Zone.Identifier", u"#4 close " + dir + u"\\Run.lnk:Zone.Identifier",
      u"#5 rename " + dir + u"\\Run.lnk -> \\??\\C:\\Users\\Moved.lnk", u"#5 close " + dir + u"\\Run.lnk",
      u"#6 delete " + dir + u"\\Moved.lnk", u"#6 close " + dir + u"\\Moved.lnk"};
  EXPECT_EQ(sink_.events, expected);
}

TEST_F(FileStoreTest, DeleteOnCloseWaitsForTheLastHandleAndCanBeWithdrawn) {
  Write(u"C:\\temp.txt", "t");
  ScopedFile first, second;
  const uint32_t shareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;
  ASSERT_EQ(Fs().CreateFile(u"C:\\temp.txt", kGenericRead | kDelete, shareAll, kOpenExisting, 0,
                            first.Receive(Fs())), kErrorSuccess);
  ASSERT_EQ(Fs().CreateFile(u"C:\\temp.txt", kGenericRead, shareAll, kOpenExisting, 0, second.Receive(Fs())),
            kErrorSuccess);
  EXPECT_EQ(Fs().SetDeleteOnClose(second.Get(), true), kErrorAccessDenied);  // no delete access
  ASSERT_EQ(Fs().SetDeleteOnClose(first.Get(), true), kErrorSuccess);
  first.Reset();
  FileAttributeData info;
  EXPECT_EQ(Fs().GetFileAttributesEx(u"C:\\temp.txt", &info), kErrorSuccess);
  second.Reset();
  EXPECT_EQ(Fs().GetFileAttributesEx(u"C:\\temp.txt", &info), kErrorFileNotFound);

  Write(u"C:\\kept.txt", "k");
  ASSERT_EQ(Fs().CreateFile(u"C:\\kept.txt", kDelete, 0, kOpenExisting, 0, first.Receive(Fs())), kErrorSuccess);
  ASSERT_EQ(Fs().SetDeleteOnClose(first.Get(), true), kErrorSuccess);
  ASSERT_EQ(Fs().SetDeleteOnClose(first.Get(), false), kErrorSuccess);
  first.Reset();
  EXPECT_EQ(Fs().GetFileAttributesEx(u"C:\\kept.txt", &info), kErrorSuccess);
}

TEST_F(FileStoreTest, AttributesTimesAndStreamsSurviveARestartWithoutShowingOnTheHost) {
  Write(u"C:\\hidden.exe", "MZ", kFileAttributeHidden);
  Write(u"C:\\hidden.exe:Brumevale.URL", "u");
  ASSERT_EQ(Fs().SetFileTime(u"C:\\hidden.exe", 130000000000000000ull, 0, 0), kErrorSuccess);

  Emulated::Machine rebooted(ConfigOnDrive(folder_.Path()));
  FileSystem& files = rebooted.Process(4).Files();
  FileAttributeData info;
  ASSERT_EQ(files.GetFileAttributesEx(u"C:\\HIDDEN.EXE", &info), kErrorSuccess);
  EXPECT_EQ(info.attributes, kFileAttributeHidden | kFileAttributeArchive);
  EXPECT_EQ(info.creationTime, 130000000000000000ull);
  EXPECT_EQ(info.size, 2u);
  ASSERT_EQ(files.GetFileAttributesEx(u"C:\\hidden.exe:brumevale.url", &info), kErrorSuccess);
  EXPECT_EQ(info.size, 1u);

  ScopedFind find;
  FindData data;
  ASSERT_EQ(files.FindFirstFile(u"C:\\*", find.Receive(files), &data), kErrorSuccess);
  EXPECT_EQ(data.fileName, u"hidden.exe");  // a root has no "." and ".."
  EXPECT_EQ(files.FindNextFile(find.Get(), &data), kErrorNoMoreFiles);
  EXPECT_EQ(files.HostPath(u"c:\\HIDDEN.exe"), (folder_.Path() / "hidden.exe").string());
  EXPECT_EQ(files.HostPath(u"D:\\x"), std::nullopt);
}

TEST_F(FileStoreTest, ImageFoldersGetTheShortNamesWindowsWouldGive) {
  Touch("Program Files (x86)/app.exe");
  Touch("Program Files/Common Files/x.dll");
  Touch("ntuser.dat");
  ScopedFind find;
  FindData data;
  ASSERT_EQ(Fs().FindFirstFile(u"C:\\Program Files*", find.Receive(Fs()), &data), kErrorSuccess);
  EXPECT_EQ(data.fileName, u"Program Files");
  EXPECT_EQ(data.alternateFileName, u"PROGRA~1");
  ASSERT_EQ(Fs().FindNextFile(find.Get(), &data), kErrorSuccess);
  EXPECT_EQ(data.alternateFileName, u"PROGRA~2");
  ASSERT_EQ(Fs().FindFirstFile(u"C:\\NTUSER.DAT", find.Receive(Fs()), &data), kErrorSuccess);
  EXPECT_EQ(data.alternateFileName, u"");

  std::u16string longPath;
  ASSERT_EQ(Fs().GetLongPathName(u"C:\\progra~2\\APP.exe", 260, &longPath, nullptr), kErrorSuccess);
  EXPECT_EQ(longPath, u"C:\\Program Files (x86)\\APP.exe");
  ASSERT_EQ(Fs().GetLongPathName(u"C:\\PROGRA~1\\COMMON~1", 260, &longPath, nullptr), kErrorSuccess);
  EXPECT_EQ(longPath, u"C:\\Program Files\\Common Files");

  // A new long name takes the next free number and keeps it.
  ASSERT_EQ(Fs().CreateDirectory(u"C:\\Program Data Extra"), kErrorSuccess);
  ASSERT_EQ(Fs().FindFirstFile(u"C:\\PROGRA~3", find.Receive(Fs()), &data), kErrorSuccess);
  EXPECT_EQ(data.fileName, u"Program Data Extra");
}

TEST_F(FileStoreTest, ADenyWriteOpenHoldsAgainstAnotherMachineOnTheSameFolder) {
  ScopedFile log;
  ASSERT_EQ(Fs().CreateFile(u"C:\\service.log", kGenericWrite, kFileShareRead, kCreateAlways, 0,
                            log.Receive(Fs())), kErrorSuccess);
  Emulated::Machine other(ConfigOnDrive(folder_.Path()));
  FileSystem& files = other.Process(4).Files();
  ScopedFile second;
  EXPECT_EQ(files.CreateFile(u"C:\\service.log", kGenericWrite, kFileShareRead | kFileShareWrite, kOpenAlways, 0,
                             second.Receive(files)), kErrorSharingViolation);
  EXPECT_EQ(files.CreateFile(u"C:\\service.log", kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting, 0,
                             second.Receive(files)), kErrorSuccess);
  second.Reset();
  log.Reset();
  EXPECT_EQ(files.CreateFile(u"C:\\service.log", kGenericWrite, kFileShareRead, kOpenAlways, 0,
                             second.Receive(files)), kErrorSuccess);
}

TEST_F(FileStoreTest, PathsResolveAgainstTheProcessCurrentDirectory) {
  machine_.ProcessTable().Add({1300, 4, u"C:\\Tools\\app.exe", u"S-1-5-18", u"C:\\Tools", u"", {}});
  FileSystem& files = machine_.Process(1300).Files();
  std::u16string full;
  size_t filePart = 0;
  ASSERT_EQ(files.GetFullPathName(u"..\\x\\.\\y.txt", 260, &full, &filePart, nullptr), kErrorSuccess);
  EXPECT_EQ(full, u"C:\\x\\y.txt");
  ASSERT_EQ(files.GetFullPathName(u"\\a\\b\\", 260, &full, &filePart, nullptr), kErrorSuccess);
  EXPECT_EQ(full, u"C:\\a\\b\\");
  EXPECT_EQ(filePart, full.size());
  ASSERT_EQ(Fs().GetFullPathName(u"name.txt. ", 260, &full, &filePart, nullptr), kErrorSuccess);
  EXPECT_EQ(full, u"C:\\Windows\\system32\\name.txt");
  ASSERT_EQ(Fs().GetFullPathName(u"C:\\..\\..", 260, &full, &filePart, nullptr), kErrorSuccess);
  EXPECT_EQ(full, u"C:\\");
}

}  // namespace
