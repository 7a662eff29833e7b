#pragma once
// Platform::FileSystem over kernel32's file calls. Alternate data streams are
// reached as Windows reaches them, through "path:stream" names.

#include <map>
#include <memory>
#include <mutex>

#include "platform/file_system.h"

namespace Win32 {

class FileSystem final : public Platform::FileSystem {
 public:
  using Handle = Platform::Handle;
  using Win32Error = Platform::Win32Error;

  FileSystem();
  ~FileSystem() override;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  Win32Error CreateFile(std::u16string_view path, uint32_t access, uint32_t share,
                        uint32_t disposition, uint32_t flags, Handle* file) override;
  Win32Error ReadFile(Handle file, std::span<uint8_t> buffer, uint32_t* read) override;
  Win32Error WriteFile(Handle file, std::span<const uint8_t> data, uint32_t* written) override;
  Win32Error SetFilePointer(Handle file, int64_t distance, uint32_t method,
                            uint64_t* position) override;
  Win32Error GetFileSize(Handle file, uint64_t* size) override;
  Win32Error FlushFileBuffers(Handle file) override;
  Win32Error SetDeleteOnClose(Handle file, bool deleteFile) override;
  Win32Error CloseFile(Handle file) override;
  Win32Error GetFileAttributesEx(std::u16string_view path,
                                 Platform::FileAttributeData* data) override;
  Win32Error SetFileAttributes(std::u16string_view path, uint32_t attributes) override;
  Win32Error SetFileTime(std::u16string_view path, Platform::FileTime creation,
                         Platform::FileTime lastAccess, Platform::FileTime lastWrite) override;
  Win32Error FindFirstFile(std::u16string_view pattern, Handle* find,
                           Platform::FindData* data) override;
  Win32Error FindNextFile(Handle find, Platform::FindData* data) override;
  Win32Error FindClose(Handle find) override;
  Win32Error CreateDirectory(std::u16string_view path) override;
  Win32Error RemoveDirectory(std::u16string_view path) override;
  Win32Error DeleteFile(std::u16string_view path) override;
  Win32Error MoveFileEx(std::u16string_view from, std::u16string_view to,
                        uint32_t flags) override;
  Win32Error GetFileSecurity(std::u16string_view path, Platform::FileSecurity* security) override;
  Win32Error SetFileSecurity(std::u16string_view path, const Platform::FileSecurity& security) override;
  Win32Error GetLongPathName(std::u16string_view path, uint32_t capacity,
                             std::u16string* longPath, uint32_t* required) override;
  Win32Error GetFullPathName(std::u16string_view path, uint32_t capacity,
                             std::u16string* fullPath, size_t* filePart,
                             uint32_t* required) override;
  Win32Error QueryDosDevice(std::u16string_view deviceName, uint32_t capacity,
                            std::u16string* target) override;
  std::optional<std::string> HostPath(std::u16string_view path) override;

  // Directory change notifications (file_changes_win32.cpp).
  Win32Error OpenDirectoryForChanges(std::u16string_view path, Handle* directory) override;
  Win32Error ReadDirectoryChanges(Handle directory, uint32_t bufferBytes, bool watchSubtree,
                                  uint32_t filter, Handle event) override;
  Win32Error GetDirectoryChanges(Handle directory, std::vector<uint8_t>* records) override;

 private:
  struct DirectoryRead;
  // The read of directory, or null for a handle that was not opened for changes.
  DirectoryRead* FindRead(Handle directory);
  // A handle opened for changes is about to close: its pending read ends first.
  void ForgetRead(Handle directory);
  // Cancels a pending read and waits until the system has let go of its buffer.
  static void EndRead(Handle directory, DirectoryRead& read);

  std::mutex readsMutex_;
  std::map<Handle, std::unique_ptr<DirectoryRead>> reads_;
};

}  // namespace Win32
