#pragma once
// The drives of the machine: files on host folders, attributes, times, streams,
// sharing, and the life of every file object as the kernel would report it.
//
// Paths reaching the store are full paths ("C:\dir\name[:stream]"); the per-process
// view makes them so against the process's current directory. Every call takes the
// store's one lock, and reports activity with it held.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/machine/activity_sink.h"
#include "platform/emulated/files/file_drives.h"
#include "platform/emulated/files/file_sharing.h"
#include "platform/emulated/files/file_watches.h"
#include "platform/file_system.h"

namespace Emulated {

class Machine;

class FileStore {
 public:
  using Win32Error = Platform::Win32Error;
  using Handle = Platform::Handle;

  explicit FileStore(Machine& machine);
  ~FileStore();
  FileStore(const FileStore&) = delete;
  FileStore& operator=(const FileStore&) = delete;

  // Reports go to the machine's minifilter; a test may watch them instead.
  void ReportActivityTo(ActivitySink* sink);
  const FileDrives& Drives() const { return drives_; }

  // Handles (file_store.cpp).
  Win32Error CreateFile(Actor actor, std::u16string_view path, uint32_t access, uint32_t share,
                        uint32_t disposition, uint32_t flags, Handle* file);
  Win32Error ReadFile(Handle file, std::span<uint8_t> buffer, uint32_t* read);
  Win32Error WriteFile(Actor actor, Handle file, std::span<const uint8_t> data, uint32_t* written);
  Win32Error SetFilePointer(Handle file, int64_t distance, uint32_t method, uint64_t* position);
  Win32Error GetFileSize(Handle file, uint64_t* size);
  Win32Error FlushFileBuffers(Handle file);
  // How many FlushFileBuffers calls reached the disk: each one is a disk-cache flush
  // on NTFS, the dearest thing a writer can ask for.
  uint64_t DiskFlushCount();
  Win32Error SetDeleteOnClose(Actor actor, Handle file, bool deleteFile);
  Win32Error CloseFile(Actor actor, Handle file);
  // What CreateFile(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) would answer now,
  // without opening: how the trust provider and the version reader open the files
  // they read, so that a file another process holds without sharing reads is as
  // closed to them as on Windows (ERROR_SHARING_VIOLATION).
  Win32Error CheckReadSharing(std::u16string_view path);

  // The name space (file_store_names.cpp).
  Win32Error GetFileAttributesEx(std::u16string_view path, Platform::FileAttributeData* data);
  Win32Error SetFileAttributes(std::u16string_view path, uint32_t attributes);
  Win32Error SetFileTime(std::u16string_view path, Platform::FileTime creation,
                         Platform::FileTime lastAccess, Platform::FileTime lastWrite);
  Win32Error FindFirstFile(std::u16string_view pattern, Handle* find, Platform::FindData* data);
  Win32Error FindNextFile(Handle find, Platform::FindData* data);
  Win32Error FindClose(Handle find);
  Win32Error CreateDirectory(Actor actor, std::u16string_view path);
  Win32Error RemoveDirectory(Actor actor, std::u16string_view path);
  Win32Error DeleteFile(Actor actor, std::u16string_view path);
  Win32Error MoveFileEx(Actor actor, std::u16string_view from, std::u16string_view to,
                        uint32_t flags);
  // The path with its 8.3 components expanded; the entry must exist.
  Win32Error GetLongPathName(std::u16string_view path, std::u16string* longPath);

  // Owners and DACLs (file_store_security.cpp).
  Win32Error GetFileSecurity(std::u16string_view path, Platform::FileSecurity* security);
  Win32Error SetFileSecurity(std::u16string_view path, const Platform::FileSecurity& security);
  std::optional<std::string> HostPath(std::u16string_view path);

  // Directory change notifications (file_store_changes.cpp).
  Win32Error OpenDirectoryForChanges(Actor actor, std::u16string_view path, Handle* directory);
  Win32Error ReadDirectoryChanges(Handle directory, uint32_t bufferBytes, bool watchSubtree,
                                  uint32_t filter, Handle event);
  Win32Error GetDirectoryChanges(Handle directory, std::vector<uint8_t>* records);

 private:
  struct Listing {
    std::vector<Platform::FindData> entries;
    size_t next = 0;
  };

  // With mutex_ held.
  Win32Error Open(Actor actor, const ResolvedPath& path, uint32_t access, uint32_t share,
                  uint32_t disposition, uint32_t flags, Handle* file);
  Win32Error CreateData(Actor actor, const ResolvedPath& path, uint32_t flags, bool* created);
  Win32Error OpenHostData(OpenFile& open, bool truncate);
  Win32Error Close(Actor actor, Handle file);
  void MarkDeletePending(OpenFile& open, bool deleteFile);
  void RemoveIfPending(const OpenFile& closed);
  std::vector<const OpenFile*> OpensOf(const std::filesystem::path& data) const;
  OpenFile* FindOpen(Handle file);
  Handle NextHandle();
  void TouchWriteTime(const std::filesystem::path& data);
  // Tells the watches of a change of entry and signals the reads it completes. The
  // object table takes no lock of ours, so signalling with mutex_ held is safe.
  void NotifyChange(const std::filesystem::path& entry, uint32_t action, uint32_t filterClass);
  void NotifyChanges(std::span<const DirectoryWatchList::EntryChange> changes);
  void NotifyRename(const std::filesystem::path& from, const std::filesystem::path& to,
                    bool directory, const std::filesystem::path& replaced);
  // The name change of an added or removed entry, by its kind.
  static uint32_t NameClass(bool directory);
  Win32Error RemoveEntry(Actor actor, std::u16string_view path, bool directory);
  Win32Error Rename(Actor actor, const ResolvedPath& from, const ResolvedPath& to, Handle source);
  void MoveHostEntry(const std::filesystem::path& from, const std::filesystem::path& to);
  // The descriptor path has now, stored or passed on by its folders.
  Platform::FileSecurity EffectiveSecurity(const ResolvedPath& path);
  // The descriptor of an entry the actor creates at path.
  Platform::FileSecurity CreatedSecurity(Actor actor, const ResolvedPath& path, bool directory);

  Machine& machine_;
  FileDrives drives_;
  ActivitySink* sink_;
  std::mutex mutex_;
  std::map<Handle, OpenFile> opens_;
  std::map<Handle, Listing> listings_;
  std::set<std::filesystem::path> deletePending_;
  DirectoryWatchList watches_;
  Handle nextHandle_ = 0x10000;
  uint64_t nextFileObject_ = 0xFFFFC00000001000ull;
  uint64_t diskFlushes_ = 0;
};

}  // namespace Emulated
