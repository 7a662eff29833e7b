#include "platform/emulated/files/file_view.h"

#include "platform/emulated/files/file_path.h"
#include "platform/emulated/files/file_store.h"
#include "platform/emulated/machine/machine.h"

namespace Emulated {

using namespace Platform;

namespace {

// The seam's capacity rule: a result of N characters needs N + 1.
Win32Error Deliver(const std::u16string& result, uint32_t capacity, std::u16string* out,
                   uint32_t* required) {
  const uint32_t needed = static_cast<uint32_t>(result.size() + 1);
  if (required != nullptr) *required = needed;
  if (capacity < needed) return kErrorInsufficientBuffer;
  if (out != nullptr) *out = result;
  return kErrorSuccess;
}

}  // namespace

Actor FileView::Acting() {
  const uint32_t thread = context_.threadId != 0 ? context_.threadId
                                                 : machine_.CurrentThreadId(context_.processId);
  return Actor{context_.processId, thread};
}

std::u16string FileView::Full(std::u16string_view path) {
  const auto process = machine_.ProcessTable().Find(context_.processId);
  const std::u16string current = process && !process->currentDirectory.empty()
                                     ? process->currentDirectory
                                     : std::u16string(kDefaultCurrentDirectory);
  return NormalizeFullPath(path, current).value_or(u"");
}

Win32Error FileView::CreateFile(std::u16string_view path, uint32_t access, uint32_t share,
                                uint32_t disposition, uint32_t flags, Handle* file) {
  const Actor actor = Acting();
  return machine_.FileState().CreateFile(actor, Full(path), access, share, disposition, flags, file);
}

Win32Error FileView::ReadFile(Handle file, std::span<uint8_t> buffer, uint32_t* read) {
  return machine_.FileState().ReadFile(file, buffer, read);
}

Win32Error FileView::WriteFile(Handle file, std::span<const uint8_t> data, uint32_t* written) {
  const Actor actor = Acting();
  return machine_.FileState().WriteFile(actor, file, data, written);
}

Win32Error FileView::SetFilePointer(Handle file, int64_t distance, uint32_t method,
                                    uint64_t* position) {
  return machine_.FileState().SetFilePointer(file, distance, method, position);
}

Win32Error FileView::GetFileSize(Handle file, uint64_t* size) {
  return machine_.FileState().GetFileSize(file, size);
}

Win32Error FileView::FlushFileBuffers(Handle file) {
  return machine_.FileState().FlushFileBuffers(file);
}

Win32Error FileView::SetDeleteOnClose(Handle file, bool deleteFile) {
  const Actor actor = Acting();
  return machine_.FileState().SetDeleteOnClose(actor, file, deleteFile);
}

Win32Error FileView::CloseFile(Handle file) {
  const Actor actor = Acting();
  return machine_.FileState().CloseFile(actor, file);
}

Win32Error FileView::GetFileAttributesEx(std::u16string_view path, FileAttributeData* data) {
  return machine_.FileState().GetFileAttributesEx(Full(path), data);
}

Win32Error FileView::SetFileAttributes(std::u16string_view path, uint32_t attributes) {
  return machine_.FileState().SetFileAttributes(Full(path), attributes);
}

Win32Error FileView::SetFileTime(std::u16string_view path, FileTime creation, FileTime lastAccess,
                                 FileTime lastWrite) {
  return machine_.FileState().SetFileTime(Full(path), creation, lastAccess, lastWrite);
}

// The pattern's last component is kept as written: normalising would strip the
// trailing dots of "*." patterns and turn "dir\" into "dir".
Win32Error FileView::FindFirstFile(std::u16string_view pattern, Handle* find, FindData* data) {
  const size_t separator = pattern.find_last_of(u"\\/");
  const std::u16string_view last =
      separator == std::u16string_view::npos ? pattern : pattern.substr(separator + 1);
  std::u16string folder = Full(separator == std::u16string_view::npos
                                   ? std::u16string_view(u".")
                                   : pattern.substr(0, separator + 1));
  if (folder.empty()) return kErrorPathNotFound;
  if (folder.back() != u'\\') folder += u'\\';
  return machine_.FileState().FindFirstFile(folder + std::u16string(last), find, data);
}

Win32Error FileView::FindNextFile(Handle find, FindData* data) {
  return machine_.FileState().FindNextFile(find, data);
}

Win32Error FileView::FindClose(Handle find) { return machine_.FileState().FindClose(find); }

Win32Error FileView::CreateDirectory(std::u16string_view path) {
  const Actor actor = Acting();
  return machine_.FileState().CreateDirectory(actor, Full(path));
}

Win32Error FileView::RemoveDirectory(std::u16string_view path) {
  const Actor actor = Acting();
  return machine_.FileState().RemoveDirectory(actor, Full(path));
}

Win32Error FileView::DeleteFile(std::u16string_view path) {
  const Actor actor = Acting();
  return machine_.FileState().DeleteFile(actor, Full(path));
}

Win32Error FileView::MoveFileEx(std::u16string_view from, std::u16string_view to, uint32_t flags) {
  const Actor actor = Acting();
  return machine_.FileState().MoveFileEx(actor, Full(from), Full(to), flags);
}

Win32Error FileView::GetFileSecurity(std::u16string_view path, FileSecurity* security) {
  return machine_.FileState().GetFileSecurity(Full(path), security);
}

Win32Error FileView::SetFileSecurity(std::u16string_view path, const FileSecurity& security) {
  return machine_.FileState().SetFileSecurity(Full(path), security);
}

Win32Error FileView::GetLongPathName(std::u16string_view path, uint32_t capacity,
                                     std::u16string* longPath, uint32_t* required) {
  std::u16string result;
  if (Win32Error error = machine_.FileState().GetLongPathName(Full(path), &result)) return error;
  return Deliver(result, capacity, longPath, required);
}

Win32Error FileView::GetFullPathName(std::u16string_view path, uint32_t capacity,
                                     std::u16string* fullPath, size_t* filePart,
                                     uint32_t* required) {
  const std::u16string full = Full(path);
  if (full.empty()) return kErrorInvalidName;
  if (Win32Error error = Deliver(full, capacity, fullPath, required)) return error;
  if (filePart != nullptr) {
    *filePart = full.back() == u'\\' ? full.size() : full.rfind(u'\\') + 1;
  }
  return kErrorSuccess;
}

// QueryDosDevice answers a list of names ending in two terminators, so a target of
// N characters needs N + 2, as on Windows.
Win32Error FileView::QueryDosDevice(std::u16string_view deviceName, uint32_t capacity,
                                    std::u16string* target) {
  if (deviceName.size() != 2 || deviceName[1] != u':') return kErrorFileNotFound;
  const auto device = machine_.FileState().Drives().DeviceName(deviceName[0]);
  if (!device) return kErrorFileNotFound;
  if (capacity < device->size() + 2) return kErrorInsufficientBuffer;
  if (target != nullptr) *target = *device;
  return kErrorSuccess;
}

std::optional<std::string> FileView::HostPath(std::u16string_view path) {
  const std::u16string full = Full(path);
  if (full.empty()) return std::nullopt;
  return machine_.FileState().HostPath(full);
}

Win32Error FileView::OpenDirectoryForChanges(std::u16string_view path, Handle* directory) {
  const Actor actor = Acting();
  return machine_.FileState().OpenDirectoryForChanges(actor, Full(path), directory);
}

Win32Error FileView::ReadDirectoryChanges(Handle directory, uint32_t bufferBytes,
                                          bool watchSubtree, uint32_t filter, Handle event) {
  return machine_.FileState().ReadDirectoryChanges(directory, bufferBytes, watchSubtree, filter,
                                                   event);
}

Win32Error FileView::GetDirectoryChanges(Handle directory, std::vector<uint8_t>* records) {
  return machine_.FileState().GetDirectoryChanges(directory, records);
}

}  // namespace Emulated
