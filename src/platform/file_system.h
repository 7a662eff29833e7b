#pragma once
// Files as the core reaches them: CreateFile, ReadFile, WriteFile, FindFirstFile,
// GetFileAttributesEx, GetLongPathName, GetFullPathName, QueryDosDevice and friends.
//
// Contract, shared by every backend:
// - Paths are Windows paths ("C:\dir\file.txt"); names compare ignoring the case of
//   A to Z only and keep the case they were created with.
// - "path:stream" names an alternate data stream of a file. Streams never appear in
//   directory listings.
// - Capacities count characters including the terminator (a result of N characters
//   needs N + 1); a result that does not fit returns kErrorInsufficientBuffer and
//   the needed capacity in *required where the call has one.
// - Outputs are left untouched on failure. Every call is safe from any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace Platform {

// WIN32_FILE_ATTRIBUTE_DATA.
struct FileAttributeData {
  uint32_t attributes = 0;
  FileTime creationTime = 0;
  FileTime lastAccessTime = 0;
  FileTime lastWriteTime = 0;
  uint64_t size = 0;
};

// WIN32_FIND_DATA.
struct FindData {
  FileAttributeData info;
  std::u16string fileName;
  std::u16string alternateFileName;  // the 8.3 name, empty when the name already is one
};

// Well-known accounts of a security descriptor, as SID texts.
inline constexpr char16_t kLocalSystemSid[] = u"S-1-5-18";
inline constexpr char16_t kAdministratorsSid[] = u"S-1-5-32-544";
inline constexpr char16_t kUsersSid[] = u"S-1-5-32-545";
inline constexpr char16_t kEveryoneSid[] = u"S-1-1-0";

// ACE types and flags, and the file rights the system grants.
inline constexpr uint8_t kAccessAllowedAceType = 0;
inline constexpr uint8_t kAccessDeniedAceType = 1;
inline constexpr uint8_t kObjectInheritAce = 0x1;
inline constexpr uint8_t kContainerInheritAce = 0x2;
inline constexpr uint8_t kInheritedAce = 0x10;
inline constexpr uint32_t kFileAllAccess = 0x1F01FF;
inline constexpr uint32_t kFileGenericReadExecute = 0x1200A9;

// One entry of a DACL: an access-allowed or access-denied ACE (other types keep
// their type number and say nothing more).
struct AccessEntry {
  uint8_t type = kAccessAllowedAceType;
  uint8_t flags = 0;
  uint32_t mask = 0;
  std::u16string sid;
  bool operator==(const AccessEntry&) const = default;
};

// The owner and the DACL of a file or directory's security descriptor. A null DACL
// (no protection at all) reads as one entry granting everyone full access.
struct FileSecurity {
  std::u16string ownerSid;
  std::vector<AccessEntry> dacl;
  bool daclProtected = false;  // SE_DACL_PROTECTED: nothing is inherited from the parent
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // CreateFile. access: kGenericRead, kGenericWrite and/or kDelete; share: kFileShare*;
  // disposition: kCreateNew ... kTruncateExisting; flags: kFileAttribute* and
  // kFileFlagDeleteOnClose. Conflicting sharing gives kErrorSharingViolation.
  virtual Win32Error CreateFile(std::u16string_view path, uint32_t access, uint32_t share,
                                uint32_t disposition, uint32_t flags, Handle* file) = 0;
  virtual Win32Error ReadFile(Handle file, std::span<uint8_t> buffer, uint32_t* read) = 0;
  virtual Win32Error WriteFile(Handle file, std::span<const uint8_t> data,
                               uint32_t* written) = 0;
  virtual Win32Error SetFilePointer(Handle file, int64_t distance, uint32_t method,
                                    uint64_t* position) = 0;
  virtual Win32Error GetFileSize(Handle file, uint64_t* size) = 0;
  virtual Win32Error FlushFileBuffers(Handle file) = 0;
  // SetFileInformationByHandle(FileDispositionInfo): mark or unmark for deletion at
  // the last close.
  virtual Win32Error SetDeleteOnClose(Handle file, bool deleteFile) = 0;
  virtual Win32Error CloseFile(Handle file) = 0;

  virtual Win32Error GetFileAttributesEx(std::u16string_view path, FileAttributeData* data) = 0;
  virtual Win32Error SetFileAttributes(std::u16string_view path, uint32_t attributes) = 0;
  virtual Win32Error SetFileTime(std::u16string_view path, FileTime creation,
                                 FileTime lastAccess, FileTime lastWrite) = 0;

  // FindFirstFile / FindNextFile / FindClose. The last component of pattern may hold
  // "*" and "?". No match: kErrorFileNotFound; end of listing: kErrorNoMoreFiles.
  virtual Win32Error FindFirstFile(std::u16string_view pattern, Handle* find,
                                   FindData* data) = 0;
  virtual Win32Error FindNextFile(Handle find, FindData* data) = 0;
  virtual Win32Error FindClose(Handle find) = 0;

  virtual Win32Error CreateDirectory(std::u16string_view path) = 0;
  virtual Win32Error RemoveDirectory(std::u16string_view path) = 0;
  virtual Win32Error DeleteFile(std::u16string_view path) = 0;
  virtual Win32Error MoveFileEx(std::u16string_view from, std::u16string_view to,
                                uint32_t flags) = 0;

  // GetNamedSecurityInfo(SE_FILE_OBJECT, OWNER | DACL): the entries in their order,
  // inherited ones flagged kInheritedAce. A missing path: kErrorFileNotFound.
  virtual Win32Error GetFileSecurity(std::u16string_view path, FileSecurity* security) = 0;
  // SetNamedSecurityInfo(SE_FILE_OBJECT, OWNER | DACL | PROTECTED_DACL or
  // UNPROTECTED_DACL): the owner and the explicit entries (entries flagged
  // kInheritedAce are left out); a protected DACL drops what the parent passed on,
  // an unprotected one takes it in again. Children that inherit are updated.
  virtual Win32Error SetFileSecurity(std::u16string_view path, const FileSecurity& security) = 0;

  // GetLongPathName: expands 8.3 components; the file must exist.
  virtual Win32Error GetLongPathName(std::u16string_view path, uint32_t capacity,
                                     std::u16string* longPath, uint32_t* required) = 0;
  // GetFullPathName: absolute path against the current directory, "." and ".."
  // resolved, "/" turned into "\". filePart receives the index of the file-name part
  // (the length when there is none).
  virtual Win32Error GetFullPathName(std::u16string_view path, uint32_t capacity,
                                     std::u16string* fullPath, size_t* filePart,
                                     uint32_t* required) = 0;
  // QueryDosDevice for a drive ("C:"): the NT device name, such as
  // \Device\HarddiskVolume2.
  virtual Win32Error QueryDosDevice(std::u16string_view deviceName, uint32_t capacity,
                                    std::u16string* target) = 0;

  // Directory change notifications, as ReadDirectoryChangesW gives them on a handle
  // opened with FILE_LIST_DIRECTORY and FILE_FLAG_BACKUP_SEMANTICS |
  // FILE_FLAG_OVERLAPPED (every sharing granted). A backend without them answers
  // kErrorInvalidFunction, as a file system without them does on Windows.
  //
  // - OpenDirectoryForChanges: a missing folder is kErrorFileNotFound (its parent
  //   missing: kErrorPathNotFound). CloseFile closes the handle and cancels a pending
  //   read; the read's buffer stays the backend's until then.
  // - ReadDirectoryChanges arms one overlapped read: it resets event (a manual-reset
  //   event is the safe kind) and signals it when the read completes. The first arm
  //   of a handle starts its watch: changes made while no read is armed are kept, up
  //   to bufferBytes of records, and complete the next arm at once. Arm with the same
  //   subtree flag, filter and size every time. One read at a time: arming while one
  //   is pending or its result is not collected is kErrorInvalidParameter, and so is
  //   a zero filter, size or event.
  // - GetDirectoryChanges collects the read: kErrorIoIncomplete while it is pending
  //   (arm nothing then); kErrorSuccess with the FILE_NOTIFY_INFORMATION records
  //   (file_notify_records.h parses them); kErrorNotifyEnumDir when the changes did
  //   not fit the buffer and were dropped (the caller re-reads the folder). Either
  //   way the read is over: arm again for the next changes. Nothing armed:
  //   kErrorInvalidParameter.
  virtual Win32Error OpenDirectoryForChanges(std::u16string_view path, Handle* directory) {
    (void)path, (void)directory;
    return kErrorInvalidFunction;
  }
  virtual Win32Error ReadDirectoryChanges(Handle directory, uint32_t bufferBytes,
                                          bool watchSubtree, uint32_t filter, Handle event) {
    (void)directory, (void)bufferBytes, (void)watchSubtree, (void)filter, (void)event;
    return kErrorInvalidFunction;
  }
  virtual Win32Error GetDirectoryChanges(Handle directory, std::vector<uint8_t>* records) {
    (void)directory, (void)records;
    return kErrorInvalidFunction;
  }

  // Where a program that needs a host path (SQLite) finds the file: UTF-8, or
  // nothing when the path is on no drive.
  virtual std::optional<std::string> HostPath(std::u16string_view path) = 0;
};

}  // namespace Platform
