#pragma once
// What every Platform::FileSystem backend must do, stated as Windows does it. A
// backend instantiates the suite with a fixture type that has
//   Platform::FileSystem& Files();
//   std::u16string Folder();   // an empty writable directory, "X:\...\" without the
//                              // final backslash; the fixture removes it afterwards

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "platform/scoped_handle.h"
#include "platform/contract/wine_difference.h"

namespace FileSystemContract {

using namespace Platform;

template <typename Backend>
class FileSystemContractTest : public ::testing::Test {
 protected:
  FileSystem& Fs() { return backend_.Files(); }
  std::u16string At(std::u16string_view name) { return backend_.Folder() + u"\\" + std::u16string(name); }

  Win32Error Open(std::u16string_view name, uint32_t access, uint32_t share, uint32_t disposition,
                  ScopedFile* file, uint32_t flags = kFileAttributeNormal) {
    return Fs().CreateFile(At(name), access, share, disposition, flags, file->Receive(Fs()));
  }
  void Write(std::u16string_view name, std::string_view bytes) {
    ScopedFile file;
    ASSERT_EQ(Open(name, kGenericWrite, 0, kCreateAlways, &file), kErrorSuccess);
    uint32_t written = 0;
    ASSERT_EQ(Fs().WriteFile(file.Get(), {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                             &written),
              kErrorSuccess);
    EXPECT_EQ(written, bytes.size());
  }
  std::string Read(std::u16string_view name) {
    ScopedFile file;
    if (Open(name, kGenericRead, kFileShareRead, kOpenExisting, &file) != kErrorSuccess) return "<none>";
    std::vector<uint8_t> buffer(4096);
    uint32_t read = 0;
    EXPECT_EQ(Fs().ReadFile(file.Get(), buffer, &read), kErrorSuccess);
    return std::string(buffer.begin(), buffer.begin() + read);
  }
  // Names that FindFirstFile lists for pattern, or the error of the first call.
  std::vector<std::u16string> List(std::u16string_view pattern, Win32Error* error = nullptr) {
    std::vector<std::u16string> names;
    ScopedFind find;
    FindData data;
    const Win32Error first = Fs().FindFirstFile(At(pattern), find.Receive(Fs()), &data);
    if (error != nullptr) *error = first;
    if (first != kErrorSuccess) return names;
    do {
      names.push_back(data.fileName);
    } while (Fs().FindNextFile(find.Get(), &data) == kErrorSuccess);
    EXPECT_EQ(Fs().FindNextFile(find.Get(), &data), kErrorNoMoreFiles);
    return names;
  }

  Backend backend_;
};

TYPED_TEST_SUITE_P(FileSystemContractTest);

TYPED_TEST_P(FileSystemContractTest, WritesReadsSeeksAndSizes) {
  this->Write(u"data.bin", "hello world");
  EXPECT_EQ(this->Read(u"data.bin"), "hello world");
  ScopedFile file;
  ASSERT_EQ(this->Open(u"data.bin", kGenericRead | kGenericWrite, 0, kOpenExisting, &file), kErrorSuccess);
  uint64_t size = 0, position = 0;
  EXPECT_EQ(this->Fs().GetFileSize(file.Get(), &size), kErrorSuccess);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(this->Fs().SetFilePointer(file.Get(), -5, kFileEnd, &position), kErrorSuccess);
  EXPECT_EQ(position, 6u);
  uint32_t written = 0;
  const std::string tail = "WORLD!";
  EXPECT_EQ(this->Fs().WriteFile(file.Get(), {reinterpret_cast<const uint8_t*>(tail.data()), tail.size()}, &written),
            kErrorSuccess);
  EXPECT_EQ(this->Fs().FlushFileBuffers(file.Get()), kErrorSuccess);
  file.Reset();
  EXPECT_EQ(this->Read(u"data.bin"), "hello WORLD!");

  ScopedFile other;
  EXPECT_EQ(this->Open(u"data.bin", kGenericWrite, 0, kCreateNew, &other), kErrorFileExists);
  EXPECT_EQ(this->Open(u"missing.bin", kGenericRead, 0, kOpenExisting, &other), kErrorFileNotFound);
  EXPECT_EQ(this->Open(u"nodir\\x.bin", kGenericRead, 0, kOpenExisting, &other), kErrorPathNotFound);
  this->Write(u"data.bin", "");
  EXPECT_EQ(this->Read(u"data.bin"), "");
}

TYPED_TEST_P(FileSystemContractTest, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
  this->Write(u"MixedCase.Txt", "x");
  EXPECT_EQ(this->Read(u"mixedcase.TXT"), "x");
  this->Write(u"MIXEDCASE.TXT", "y");  // the same file, overwritten
  EXPECT_EQ(this->List(u"*"), (std::vector<std::u16string>{u".", u"..", u"MixedCase.Txt"}));
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"SubDir")), kErrorSuccess);
  EXPECT_EQ(this->Fs().CreateDirectory(this->At(u"subdir")), kErrorAlreadyExists);
  this->Write(u"SUBDIR\\Inner.txt", "z");
  EXPECT_EQ(this->List(u"subdir\\*.TXT"), (std::vector<std::u16string>{u"Inner.txt"}));
}

TYPED_TEST_P(FileSystemContractTest, FindFirstFileMatchesWildcardsAndReportsAttributes) {
  this->Write(u"a.txt", "12345");
  this->Write(u"b.log", "");
  this->Write(u"abc", "");
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"dir")), kErrorSuccess);
  ASSERT_EQ(this->Fs().SetFileAttributes(this->At(u"b.log"), kFileAttributeHidden), kErrorSuccess);

  EXPECT_EQ(this->List(u"*.txt"), (std::vector<std::u16string>{u"a.txt"}));
  EXPECT_EQ(this->List(u"a??"), (std::vector<std::u16string>{u"abc"}));
  EXPECT_EQ(this->List(u"abc.*"), (std::vector<std::u16string>{u"abc"}));
  EXPECT_EQ(this->List(u"*.*").size(), 6u);
  Win32Error error = kErrorSuccess;
  EXPECT_TRUE(this->List(u"*.none", &error).empty());
  EXPECT_EQ(error, kErrorFileNotFound);
  this->List(u"nodir\\*", &error);
  EXPECT_EQ(error, kErrorPathNotFound);

  ScopedFind find;
  FindData data;
  ASSERT_EQ(this->Fs().FindFirstFile(this->At(u"A.TXT"), find.Receive(this->Fs()), &data), kErrorSuccess);
  EXPECT_EQ(data.fileName, u"a.txt");
  EXPECT_EQ(data.info.size, 5u);
  EXPECT_EQ(data.info.attributes & kFileAttributeDirectory, 0u);
  EXPECT_NE(data.info.lastWriteTime, 0u);
  ASSERT_EQ(this->Fs().FindFirstFile(this->At(u"dir"), find.Receive(this->Fs()), &data), kErrorSuccess);
  EXPECT_NE(data.info.attributes & kFileAttributeDirectory, 0u);
  FileAttributeData info;
  ASSERT_EQ(this->Fs().GetFileAttributesEx(this->At(u"b.log"), &info), kErrorSuccess);
  EXPECT_NE(info.attributes & kFileAttributeHidden, 0u);
  EXPECT_EQ(this->Fs().GetFileAttributesEx(this->At(u"none"), &info), kErrorFileNotFound);
}

TYPED_TEST_P(FileSystemContractTest, ShareModesAreEnforcedBetweenHandles) {
  this->Write(u"log.txt", "");
  ScopedFile writer, other;
  ASSERT_EQ(this->Open(u"log.txt", kGenericWrite, kFileShareRead, kOpenAlways, &writer), kErrorSuccess);
  EXPECT_EQ(this->Open(u"log.txt", kGenericWrite, kFileShareRead | kFileShareWrite, kOpenExisting, &other),
            kErrorSharingViolation);
  // A reader must share writing with the writer that is already there.
  EXPECT_EQ(this->Open(u"log.txt", kGenericRead, kFileShareRead, kOpenExisting, &other),
            kErrorSharingViolation);
  EXPECT_EQ(this->Open(u"log.txt", kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting, &other),
            kErrorSuccess);
  EXPECT_EQ(this->Fs().DeleteFile(this->At(u"log.txt")), kErrorSharingViolation);
  writer.Reset();
  other.Reset();
  EXPECT_EQ(this->Fs().DeleteFile(this->At(u"log.txt")), kErrorSuccess);
  EXPECT_EQ(this->Fs().DeleteFile(this->At(u"log.txt")), kErrorFileNotFound);
}

TYPED_TEST_P(FileSystemContractTest, StreamsAreContentOfTheFileAndNeverListed) {
  this->Write(u"tool.exe", "MZ");
  this->Write(u"tool.exe:Brumevale.URL", "https://example.test/tool.exe");
  EXPECT_EQ(this->Read(u"tool.exe:brumevale.url"), "https://example.test/tool.exe");
  EXPECT_EQ(this->Read(u"tool.exe"), "MZ");
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "an alternate data stream belongs to its file: FindFirstFile never lists it "
                          "and MoveFileEx moves it with the file (Wine keeps it as a file of its own)");
  EXPECT_EQ(this->List(u"*"), (std::vector<std::u16string>{u".", u"..", u"tool.exe"}));
  ASSERT_EQ(this->Fs().MoveFileEx(this->At(u"tool.exe"), this->At(u"renamed.exe"), 0), kErrorSuccess);
  EXPECT_EQ(this->Read(u"renamed.exe:Brumevale.URL"), "https://example.test/tool.exe");
  ASSERT_EQ(this->Fs().DeleteFile(this->At(u"renamed.exe")), kErrorSuccess);
  this->Write(u"renamed.exe", "");
  EXPECT_EQ(this->Read(u"renamed.exe:Brumevale.URL"), "<none>");
}

TYPED_TEST_P(FileSystemContractTest, MovesRenamesAndRemovesDirectories) {
  this->Write(u"one.txt", "1");
  this->Write(u"two.txt", "2");
  EXPECT_EQ(this->Fs().MoveFileEx(this->At(u"one.txt"), this->At(u"two.txt"), 0), kErrorAlreadyExists);
  EXPECT_EQ(this->Fs().MoveFileEx(this->At(u"one.txt"), this->At(u"two.txt"), kMoveFileReplaceExisting),
            kErrorSuccess);
  EXPECT_EQ(this->Read(u"two.txt"), "1");
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "MoveFileEx to a name that differs only in case renames the file to that "
                          "case (Wine keeps the old case)");
  EXPECT_EQ(this->Fs().MoveFileEx(this->At(u"two.txt"), this->At(u"TWO.TXT"), 0), kErrorSuccess);
  EXPECT_EQ(this->List(u"two*"), (std::vector<std::u16string>{u"TWO.TXT"}));
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"d")), kErrorSuccess);
  this->Write(u"d\\f", "");
  EXPECT_EQ(this->Fs().RemoveDirectory(this->At(u"d")), kErrorDirNotEmpty);
  EXPECT_EQ(this->Fs().DeleteFile(this->At(u"d")), kErrorAccessDenied);
  ASSERT_EQ(this->Fs().DeleteFile(this->At(u"d\\f")), kErrorSuccess);
  EXPECT_EQ(this->Fs().RemoveDirectory(this->At(u"d")), kErrorSuccess);
}

TYPED_TEST_P(FileSystemContractTest, FullLongAndDevicePathNames) {
  std::u16string full;
  size_t filePart = 0;
  uint32_t required = 0;
  const std::u16string folder = this->backend_.Folder();
  ASSERT_EQ(this->Fs().GetFullPathName(folder + u"/a/./b/../c.txt", 260, &full, &filePart, &required),
            kErrorSuccess);
  EXPECT_EQ(full, folder + u"\\a\\c.txt");
  EXPECT_EQ(full.substr(filePart), u"c.txt");
  EXPECT_EQ(required, full.size() + 1);
  std::u16string untouched = u"keep";
  EXPECT_EQ(this->Fs().GetFullPathName(folder + u"\\a\\c.txt", static_cast<uint32_t>(full.size()), &untouched,
                                       &filePart, &required),
            kErrorInsufficientBuffer);
  EXPECT_EQ(untouched, u"keep");
  EXPECT_EQ(required, full.size() + 1);

  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"Long Directory Name")), kErrorSuccess);
  this->Write(u"Long Directory Name\\x.txt", "");
  ScopedFind find;
  FindData data;
  ASSERT_EQ(this->Fs().FindFirstFile(this->At(u"Long Directory Name"), find.Receive(this->Fs()), &data),
            kErrorSuccess);
  if (!data.alternateFileName.empty()) {  // 8.3 names may be off on a real volume
    std::u16string longPath;
    ASSERT_EQ(this->Fs().GetLongPathName(this->At(data.alternateFileName + u"\\x.txt"), 260, &longPath, &required),
              kErrorSuccess);
    EXPECT_EQ(longPath, this->At(u"Long Directory Name\\x.txt"));
  }
  std::u16string longPath;
  EXPECT_EQ(this->Fs().GetLongPathName(this->At(u"nothing.txt"), 260, &longPath, &required), kErrorFileNotFound);

  std::u16string device;
  ASSERT_EQ(this->Fs().QueryDosDevice(folder.substr(0, 2), 260, &device), kErrorSuccess);
  EXPECT_EQ(device.rfind(u"\\Device\\", 0), 0u);
  EXPECT_EQ(this->Fs().QueryDosDevice(folder.substr(0, 2), 4, &device), kErrorInsufficientBuffer);
}

// A folder's own protected DACL replaces what its parent passed on, reaches the
// files already in it and is what new files take; an unprotected DACL takes the
// parent's entries in again after its own.
TYPED_TEST_P(FileSystemContractTest, OwnerAndDaclAreKeptAndPassedOnToTheFilesBelow) {
  FileSecurity security;
  EXPECT_EQ(this->Fs().GetFileSecurity(this->At(u"missing"), &security), kErrorFileNotFound);
  ASSERT_EQ(this->Fs().CreateDirectory(this->At(u"guarded")), kErrorSuccess);
  this->Write(u"guarded\\old.txt", "x");
  ASSERT_EQ(this->Fs().GetFileSecurity(this->At(u"guarded"), &security), kErrorSuccess);
  EXPECT_EQ(security.ownerSid.substr(0, 4), u"S-1-");
  EXPECT_FALSE(security.daclProtected) << "a new folder takes what its parent passes on";
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "a file keeps the owner and DACL set on it; Wine 8 accepts SetNamedSecurityInfo "
                          "and keeps nothing, reporting what it derives from the Unix owner and mode");
  constexpr uint8_t kBoth = kObjectInheritAce | kContainerInheritAce;
  const FileSecurity wanted{security.ownerSid,
                            {{kAccessAllowedAceType, kBoth, kFileAllAccess, kLocalSystemSid},
                             {kAccessAllowedAceType, kBoth, kFileAllAccess, kAdministratorsSid}},
                            true};
  ASSERT_EQ(this->Fs().SetFileSecurity(this->At(u"guarded"), wanted), kErrorSuccess);
  ASSERT_EQ(this->Fs().GetFileSecurity(this->At(u"guarded"), &security), kErrorSuccess);
  EXPECT_EQ(security.ownerSid, wanted.ownerSid);
  EXPECT_TRUE(security.daclProtected);
  EXPECT_EQ(security.dacl, wanted.dacl);

  this->Write(u"guarded\\new.txt", "y");
  const std::vector<AccessEntry> passedOn{{kAccessAllowedAceType, kInheritedAce, kFileAllAccess, kLocalSystemSid},
                                          {kAccessAllowedAceType, kInheritedAce, kFileAllAccess, kAdministratorsSid}};
  for (const char16_t* name : {u"guarded\\old.txt", u"guarded\\new.txt"}) {
    ASSERT_EQ(this->Fs().GetFileSecurity(this->At(name), &security), kErrorSuccess);
    EXPECT_EQ(security.dacl, passedOn) << Utf16ToUtf8(name);
    EXPECT_FALSE(security.daclProtected);
  }
  const AccessEntry readers{kAccessAllowedAceType, 0, kFileGenericReadExecute, kUsersSid};
  ASSERT_EQ(this->Fs().SetFileSecurity(this->At(u"guarded\\new.txt"), {wanted.ownerSid, {readers}, false}),
            kErrorSuccess);
  ASSERT_EQ(this->Fs().GetFileSecurity(this->At(u"guarded\\new.txt"), &security), kErrorSuccess);
  std::vector<AccessEntry> expected{readers};
  expected.insert(expected.end(), passedOn.begin(), passedOn.end());
  EXPECT_EQ(security.dacl, expected);
}

REGISTER_TYPED_TEST_SUITE_P(FileSystemContractTest, WritesReadsSeeksAndSizes,
                            NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith,
                            FindFirstFileMatchesWildcardsAndReportsAttributes,
                            ShareModesAreEnforcedBetweenHandles,
                            StreamsAreContentOfTheFileAndNeverListed,
                            MovesRenamesAndRemovesDirectories, FullLongAndDevicePathNames,
                            OwnerAndDaclAreKeptAndPassedOnToTheFilesBelow);

}  // namespace FileSystemContract
