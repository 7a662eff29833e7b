#pragma once
// FileSystem of one process of the emulated machine: makes every path full against
// the process's current directory, applies the callers' buffer capacities and names
// the acting thread; the machine's FileStore does the rest.

#include "platform/emulated/machine/activity_sink.h"
#include "platform/emulated/machine/view_context.h"
#include "platform/file_system.h"

namespace Emulated {

class Machine;

class FileView : public Platform::FileSystem {
 public:
  FileView(Machine& machine, ViewContext context) : machine_(machine), context_(context) {}

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
  Win32Error SetFileTime(std::u16string_view path, FileTime creation, FileTime lastAccess,
                         FileTime lastWrite) override;
  Win32Error FindFirstFile(std::u16string_view pattern, Handle* find,
                           Platform::FindData* data) override;
  Win32Error FindNextFile(Handle find, Platform::FindData* data) override;
  Win32Error FindClose(Handle find) override;
  Win32Error CreateDirectory(std::u16string_view path) override;
  Win32Error RemoveDirectory(std::u16string_view path) override;
  Win32Error DeleteFile(std::u16string_view path) override;
  Win32Error MoveFileEx(std::u16string_view from, std::u16string_view to, uint32_t flags) override;
  Win32Error GetFileSecurity(std::u16string_view path, Platform::FileSecurity* security) override;
  Win32Error SetFileSecurity(std::u16string_view path, const Platform::FileSecurity& security) override;
  Win32Error GetLongPathName(std::u16string_view path, uint32_t capacity, std::u16string* longPath,
                             uint32_t* required) override;
  Win32Error GetFullPathName(std::u16string_view path, uint32_t capacity, std::u16string* fullPath,
                             size_t* filePart, uint32_t* required) override;
  Win32Error QueryDosDevice(std::u16string_view deviceName, uint32_t capacity,
                            std::u16string* target) override;
  std::optional<std::string> HostPath(std::u16string_view path) override;
  Win32Error OpenDirectoryForChanges(std::u16string_view path, Handle* directory) override;
  Win32Error ReadDirectoryChanges(Handle directory, uint32_t bufferBytes, bool watchSubtree,
                                  uint32_t filter, Handle event) override;
  Win32Error GetDirectoryChanges(Handle directory, std::vector<uint8_t>* records) override;

 private:
  Actor Acting();
  // The full form of path; empty when it has none.
  std::u16string Full(std::u16string_view path);

  Machine& machine_;
  ViewContext context_;
};

}  // namespace Emulated
