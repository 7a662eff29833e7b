#pragma once
// What every backend's directory change notifications must do, stated as Windows
// does it. A backend instantiates the suite with a fixture type that has
//   Platform::FileSystem& Files();
//   Platform::NamedObjects& Objects();
//   std::u16string Folder();   // as in file_system_contract.h
// The system may add records of its own (a Modified after an Added, say), so the
// cases look for the records they caused, in order, among those that arrive.

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "platform/contract/wine_difference.h"
#include "platform/file_notify_records.h"
#include "platform/file_system.h"
#include "platform/named_objects.h"
#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"

namespace Platform {
inline void PrintTo(const FileNotifyRecord& record, std::ostream* out) {
  *out << "{" << record.action << ", \"" << Utf16ToUtf8(record.fileName) << "\"}";
}
}  // namespace Platform

namespace DirectoryChangesContract {

using namespace Platform;
using Records = std::vector<FileNotifyRecord>;

constexpr uint32_t kNames = kFileNotifyChangeFileName | kFileNotifyChangeDirName;

// Whether wanted appears in got in its order, other records allowed between.
inline bool InOrder(const Records& got, const Records& wanted) {
  size_t next = 0;
  for (const auto& record : got) {
    if (next < wanted.size() && record == wanted[next]) ++next;
  }
  return next == wanted.size();
}

inline Records Added(std::u16string name) { return {{kFileActionAdded, std::move(name)}}; }

// One handle opened for changes, with its event and the reads armed on it.
class Watch {
 public:
  Watch(FileSystem& files, NamedObjects& objects, std::u16string_view folder, bool subtree,
        uint32_t filter, uint32_t bufferBytes = 4096)
      : files_(files), objects_(objects), subtree_(subtree), filter_(filter), bytes_(bufferBytes) {
    EXPECT_EQ(files.OpenDirectoryForChanges(folder, directory_.Receive(files)), kErrorSuccess);
    EXPECT_EQ(objects.CreateEvent(true, false, u"", event_.Receive(objects), nullptr), kErrorSuccess);
  }
  Win32Error Arm() {
    return files_.ReadDirectoryChanges(directory_.Get(), bytes_, subtree_, filter_, event_.Get());
  }
  // Waits for the armed read; its result (records parsed into *records).
  Win32Error Collect(Records* records, uint32_t milliseconds = 3000) {
    if (objects_.WaitForSingleObject(event_.Get(), milliseconds) != kWaitObject0) return kWaitTimeout;
    std::vector<uint8_t> bytes;
    const Win32Error error = files_.GetDirectoryChanges(directory_.Get(), &bytes);
    if (error == kErrorSuccess) {
      EXPECT_TRUE(ParseFileNotifyRecords(bytes, records));
    }
    return error;
  }
  // Reads, re-arming after each, until wanted has arrived in order or 3 s passed.
  Records Until(const Records& wanted) {
    Records all;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!InOrder(all, wanted) && std::chrono::steady_clock::now() < deadline) {
      Records some;
      const Win32Error error = Collect(&some, 500);
      if (error == kWaitTimeout) continue;
      EXPECT_EQ(error, kErrorSuccess);
      all.insert(all.end(), some.begin(), some.end());
      EXPECT_EQ(Arm(), kErrorSuccess);
    }
    return all;
  }
  // Whether the armed read stays pending for a while.
  bool Quiet() { return objects_.WaitForSingleObject(event_.Get(), 300) == kWaitTimeout; }
  ScopedFile& Directory() { return directory_; }
  Handle Event() const { return event_.Get(); }

 private:
  FileSystem& files_;
  NamedObjects& objects_;
  bool subtree_;
  uint32_t filter_;
  uint32_t bytes_;
  ScopedFile directory_;
  ScopedObject event_;
};

template <typename Backend>
class DirectoryChangesContractTest : public ::testing::Test {
 protected:
  FileSystem& Fs() { return backend_.Files(); }
  std::u16string At(std::u16string_view name) { return backend_.Folder() + u"\\" + std::u16string(name); }
  Watch WatchFolder(bool subtree, uint32_t filter, uint32_t bufferBytes = 4096) {
    return Watch(Fs(), backend_.Objects(), backend_.Folder(), subtree, filter, bufferBytes);
  }
  void Write(std::u16string_view name, std::string_view bytes, uint32_t disposition = kCreateAlways) {
    ScopedFile file;
    ASSERT_EQ(Fs().CreateFile(At(name), kGenericWrite, 0, disposition, kFileAttributeNormal, file.Receive(Fs())),
              kErrorSuccess);
    uint32_t written = 0;
    ASSERT_EQ(Fs().WriteFile(file.Get(), {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, &written),
              kErrorSuccess);
  }

  Backend backend_;
};

TYPED_TEST_SUITE_P(DirectoryChangesContractTest);

TYPED_TEST_P(DirectoryChangesContractTest, AddModifyRenameAndRemoveEachNameTheEntry) {
  Watch watch = this->WatchFolder(false, kNames | kFileNotifyChangeLastWrite);
  ASSERT_EQ(watch.Arm(), kErrorSuccess);
  this->Write(u"Run Me.lnk", "one");
  EXPECT_PRED2(InOrder, watch.Until(Added(u"Run Me.lnk")), Added(u"Run Me.lnk"));

  this->Write(u"Run Me.lnk", "two and more", kOpenExisting);
  const Records modified{{kFileActionModified, u"Run Me.lnk"}};
  EXPECT_PRED2(InOrder, watch.Until(modified), modified);

  ASSERT_EQ(this->Fs().MoveFileEx(this->At(u"Run Me.lnk"), this->At(u"Renamed.lnk"), 0), kErrorSuccess);
  const Records renamed{{kFileActionRenamedOldName, u"Run Me.lnk"}, {kFileActionRenamedNewName, u"Renamed.lnk"}};
  EXPECT_PRED2(InOrder, watch.Until(renamed), renamed);

  ASSERT_EQ(this->Fs().DeleteFile(this->At(u"Renamed.lnk")), kErrorSuccess);
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"Folder")), kErrorSuccess);
  ASSERT_EQ(this->Fs().RemoveDirectory(this->At(u"Folder")), kErrorSuccess);
  const Records removed{{kFileActionRemoved, u"Renamed.lnk"},
                        {kFileActionAdded, u"Folder"},
                        {kFileActionRemoved, u"Folder"}};
  EXPECT_PRED2(InOrder, watch.Until(removed), removed);
}

TYPED_TEST_P(DirectoryChangesContractTest, OnlyASubtreeWatchSeesDeeperEntriesNamedFromTheFolder) {
  Watch deep = this->WatchFolder(true, kFileNotifyChangeFileName);
  Watch flat = this->WatchFolder(false, kFileNotifyChangeFileName);
  ASSERT_EQ(deep.Arm(), kErrorSuccess);
  ASSERT_EQ(flat.Arm(), kErrorSuccess);
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"Tasks")), kErrorSuccess);
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"Tasks\\Vendor")), kErrorSuccess);
  this->Write(u"Tasks\\Vendor\\Update", "<Task/>");
  const Records deeper = Added(u"Tasks\\Vendor\\Update");
  EXPECT_PRED2(InOrder, deep.Until(deeper), deeper);
  EXPECT_TRUE(flat.Quiet());
  // The flat watch still sees its own level.
  this->Write(u"top.txt", "");
  const Records top = Added(u"top.txt");
  EXPECT_PRED2(InOrder, flat.Until(top), top);
}

TYPED_TEST_P(DirectoryChangesContractTest, ASubtreeWatchCoversFoldersThatExistedBeforeIt) {
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "a subtree watch covers every folder below, also those made before it "
                          "(Wine 8 watches only the folders made after the watch began)");
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"Tasks")), kErrorSuccess);
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"Tasks\\Vendor")), kErrorSuccess);
  Watch deep = this->WatchFolder(true, kFileNotifyChangeFileName);
  ASSERT_EQ(deep.Arm(), kErrorSuccess);
  this->Write(u"Tasks\\Vendor\\Update", "<Task/>");
  const Records deeper = Added(u"Tasks\\Vendor\\Update");
  EXPECT_PRED2(InOrder, deep.Until(deeper), deeper);
}

TYPED_TEST_P(DirectoryChangesContractTest, TheFilterLeavesOutOtherKindsOfChange) {
  this->Write(u"existing.txt", "x");
  Watch directories = this->WatchFolder(false, kFileNotifyChangeDirName);
  ASSERT_EQ(directories.Arm(), kErrorSuccess);
  this->Write(u"file.txt", "");
  this->Write(u"existing.txt", "changed", kOpenExisting);
  EXPECT_TRUE(directories.Quiet());
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"Sub")), kErrorSuccess);
  Records records;
  ASSERT_EQ(directories.Collect(&records), kErrorSuccess);
  EXPECT_EQ(records, Added(u"Sub"));
}

// Changes made while no read is armed wait for the next one, up to the buffer size
// of the first arm; past it they are dropped and the next read says so, and the
// watch goes on after that.
TYPED_TEST_P(DirectoryChangesContractTest, ChangesBetweenReadsAreKeptUntilTheBufferOverflows) {
  Watch watch = this->WatchFolder(false, kFileNotifyChangeFileName, 128);
  ASSERT_EQ(watch.Arm(), kErrorSuccess);
  this->Write(u"first", "");
  EXPECT_PRED2(InOrder, watch.Until(Added(u"first")), Added(u"first"));
  // Until() armed again; collect that read with the next change, then leave none armed.
  this->Write(u"second", "");
  Records records;
  ASSERT_EQ(watch.Collect(&records), kErrorSuccess);
  this->Write(u"kept", "");
  ASSERT_EQ(watch.Arm(), kErrorSuccess);
  EXPECT_PRED2(InOrder, watch.Until(Added(u"kept")), Added(u"kept"));

  ASSERT_EQ(watch.Collect(&records, 300), kWaitTimeout);  // the re-armed read waits
  for (int i = 0; i < 20; ++i) this->Write(u"a-rather-long-file-name-" + std::u16string(1, u'a' + i), "");
  Win32Error error = kErrorSuccess;
  // The first of them may complete the armed read alone; the rest overflow.
  for (int reads = 0; reads < 3 && (error = watch.Collect(&records)) == kErrorSuccess; ++reads) {
    ASSERT_EQ(watch.Arm(), kErrorSuccess);
  }
  EXPECT_EQ(error, kErrorNotifyEnumDir);
  ASSERT_EQ(watch.Arm(), kErrorSuccess);
  this->Write(u"after", "");
  EXPECT_PRED2(InOrder, watch.Until(Added(u"after")), Added(u"after"));
}

TYPED_TEST_P(DirectoryChangesContractTest, OneReadAtATimeAndMisuseIsRefused) {
  FileSystem& fs = this->Fs();
  ScopedFile missing;
  EXPECT_EQ(fs.OpenDirectoryForChanges(this->At(u"none"), missing.Receive(fs)), kErrorFileNotFound);
  EXPECT_EQ(fs.OpenDirectoryForChanges(this->At(u"none\\deeper"), missing.Receive(fs)), kErrorPathNotFound);

  Watch watch = this->WatchFolder(false, kFileNotifyChangeFileName);
  const Handle directory = watch.Directory().Get();
  std::vector<uint8_t> bytes;
  EXPECT_EQ(fs.GetDirectoryChanges(directory, &bytes), kErrorInvalidParameter);  // nothing armed
  EXPECT_EQ(fs.ReadDirectoryChanges(directory, 4096, false, 0, watch.Event()), kErrorInvalidParameter);
  ASSERT_EQ(watch.Arm(), kErrorSuccess);
  EXPECT_EQ(fs.GetDirectoryChanges(directory, &bytes), kErrorIoIncomplete);
  EXPECT_EQ(watch.Arm(), kErrorInvalidParameter);
  EXPECT_EQ(fs.GetDirectoryChanges(0xBAD0, &bytes), kErrorInvalidHandle);
}

// Closing the handle ends the pending read: nothing reaches its event afterwards,
// and the handle is gone.
TYPED_TEST_P(DirectoryChangesContractTest, ClosingTheHandleCancelsThePendingRead) {
  Watch watch = this->WatchFolder(true, kNames);
  ASSERT_EQ(watch.Arm(), kErrorSuccess);
  const Handle directory = watch.Directory().Get();
  ASSERT_EQ(this->Fs().CloseFile(watch.Directory().Release()), kErrorSuccess);
  ASSERT_EQ(this->backend_.Objects().ResetEvent(watch.Event()), kErrorSuccess);
  this->Write(u"late.txt", "");
  EXPECT_TRUE(watch.Quiet());
  std::vector<uint8_t> bytes;
  EXPECT_EQ(this->Fs().GetDirectoryChanges(directory, &bytes), kErrorInvalidHandle);
}

REGISTER_TYPED_TEST_SUITE_P(DirectoryChangesContractTest, AddModifyRenameAndRemoveEachNameTheEntry,
                            OnlyASubtreeWatchSeesDeeperEntriesNamedFromTheFolder,
                            ASubtreeWatchCoversFoldersThatExistedBeforeIt,
                            TheFilterLeavesOutOtherKindsOfChange,
                            ChangesBetweenReadsAreKeptUntilTheBufferOverflows,
                            OneReadAtATimeAndMisuseIsRefused, ClosingTheHandleCancelsThePendingRead);

}  // namespace DirectoryChangesContract
