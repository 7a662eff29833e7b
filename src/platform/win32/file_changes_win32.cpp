// ReadDirectoryChangesW behind the seam: the adapter owns each handle's OVERLAPPED
// and record buffer, because the system writes into them until the read completes
// or is cancelled, long after the call that armed it has returned.
#include <vector>

#include "platform/win32/file_system_win32.h"
#include "platform/win32/win32_text.h"

namespace Win32 {

using Platform::Win32Error;

struct FileSystem::DirectoryRead {
  OVERLAPPED overlapped{};
  std::vector<DWORD> buffer;  // DWORD-aligned, as the records must be
  bool pending = false;       // armed and not yet collected
};

FileSystem::FileSystem() = default;

// A read still pending would write into freed memory: end them all. The handles
// themselves are their owners' to close.
FileSystem::~FileSystem() {
  for (auto& [directory, read] : reads_) EndRead(directory, *read);
}

FileSystem::DirectoryRead* FileSystem::FindRead(Handle directory) {
  auto it = reads_.find(directory);
  return it == reads_.end() ? nullptr : it->second.get();
}

void FileSystem::ForgetRead(Handle directory) {
  std::lock_guard lock(readsMutex_);
  auto it = reads_.find(directory);
  if (it == reads_.end()) return;
  EndRead(directory, *it->second);
  reads_.erase(it);
}

// The wait polls the completion state rather than the event: the event is the
// caller's, and another thread may be waiting on it (and taking it) at this moment.
void FileSystem::EndRead(Handle directory, DirectoryRead& read) {
  if (!read.pending) return;
  CancelIoEx(ToHandle(directory), &read.overlapped);
  while (!HasOverlappedIoCompleted(&read.overlapped)) Sleep(1);
  read.pending = false;
}

Win32Error FileSystem::OpenDirectoryForChanges(std::u16string_view path, Handle* directory) {
  const HANDLE opened = CreateFileW(Wide(path).c_str(), FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return LastError();
  *directory = FromHandle(opened);
  std::lock_guard lock(readsMutex_);
  reads_[*directory] = std::make_unique<DirectoryRead>();
  return ERROR_SUCCESS;
}

Win32Error FileSystem::ReadDirectoryChanges(Handle directory, uint32_t bufferBytes,
                                            bool watchSubtree, uint32_t filter, Handle event) {
  std::lock_guard lock(readsMutex_);
  DirectoryRead* read = FindRead(directory);
  if (read == nullptr) return ERROR_INVALID_HANDLE;
  if (read->pending || bufferBytes == 0 || filter == 0 || event == 0) {
    return ERROR_INVALID_PARAMETER;
  }
  read->buffer.assign((bufferBytes + 3) / 4, 0);
  read->overlapped = OVERLAPPED{};
  read->overlapped.hEvent = ToHandle(event);
  if (!::ReadDirectoryChangesW(ToHandle(directory), read->buffer.data(), bufferBytes,
                               watchSubtree, filter, nullptr, &read->overlapped, nullptr)) {
    return LastError();
  }
  read->pending = true;
  return ERROR_SUCCESS;
}

// Windows reports a buffer that overflowed as a success with no bytes; the seam
// names it ERROR_NOTIFY_ENUM_DIR, as the call does on some file systems.
Win32Error FileSystem::GetDirectoryChanges(Handle directory, std::vector<uint8_t>* records) {
  std::lock_guard lock(readsMutex_);
  DirectoryRead* read = FindRead(directory);
  if (read == nullptr) return ERROR_INVALID_HANDLE;
  if (!read->pending) return ERROR_INVALID_PARAMETER;
  DWORD bytes = 0;
  if (!GetOverlappedResult(ToHandle(directory), &read->overlapped, &bytes, FALSE)) {
    const Win32Error error = LastError();
    if (error != ERROR_IO_INCOMPLETE) read->pending = false;
    return error;
  }
  read->pending = false;
  if (bytes == 0) return ERROR_NOTIFY_ENUM_DIR;
  const auto* begin = reinterpret_cast<const uint8_t*>(read->buffer.data());
  records->assign(begin, begin + bytes);
  return ERROR_SUCCESS;
}

}  // namespace Win32
