#include "platform/win32/file_system_win32.h"

#include <algorithm>
#include <vector>

#include "platform/text_encoding.h"
#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::Win32Error;

Win32Error Result(BOOL ok) { return ok ? ERROR_SUCCESS : LastError(); }

Platform::FileAttributeData AttributeData(DWORD attributes, const FILETIME& created,
                                          const FILETIME& accessed, const FILETIME& written,
                                          DWORD sizeHigh, DWORD sizeLow) {
  return {attributes, FromFileTime(created), FromFileTime(accessed), FromFileTime(written),
          (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow};
}

Platform::FindData FindDataOf(const WIN32_FIND_DATAW& found) {
  return {AttributeData(found.dwFileAttributes, found.ftCreationTime, found.ftLastAccessTime,
                        found.ftLastWriteTime, found.nFileSizeHigh, found.nFileSizeLow),
          FromWide(found.cFileName), FromWide(found.cAlternateFileName)};
}

}  // namespace

Win32Error FileSystem::CreateFile(std::u16string_view path, uint32_t access, uint32_t share,
                                  uint32_t disposition, uint32_t flags, Handle* file) {
  const HANDLE opened = CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition,
                                    flags, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return LastError();
  *file = FromHandle(opened);
  return ERROR_SUCCESS;
}

Win32Error FileSystem::ReadFile(Handle file, std::span<uint8_t> buffer, uint32_t* read) {
  DWORD count = 0;
  const BOOL ok = ::ReadFile(ToHandle(file), buffer.data(), static_cast<DWORD>(buffer.size()),
                             &count, nullptr);
  if (ok) *read = count;
  return Result(ok);
}

Win32Error FileSystem::WriteFile(Handle file, std::span<const uint8_t> data, uint32_t* written) {
  DWORD count = 0;
  const BOOL ok = ::WriteFile(ToHandle(file), data.data(), static_cast<DWORD>(data.size()),
                              &count, nullptr);
  if (ok) *written = count;
  return Result(ok);
}

Win32Error FileSystem::SetFilePointer(Handle file, int64_t distance, uint32_t method,
                                      uint64_t* position) {
  LARGE_INTEGER move{}, moved{};
  move.QuadPart = distance;
  const BOOL ok = SetFilePointerEx(ToHandle(file), move, &moved, method);
  if (ok && position != nullptr) *position = static_cast<uint64_t>(moved.QuadPart);
  return Result(ok);
}

Win32Error FileSystem::GetFileSize(Handle file, uint64_t* size) {
  LARGE_INTEGER answer{};
  const BOOL ok = GetFileSizeEx(ToHandle(file), &answer);
  if (ok) *size = static_cast<uint64_t>(answer.QuadPart);
  return Result(ok);
}

Win32Error FileSystem::FlushFileBuffers(Handle file) {
  return Result(::FlushFileBuffers(ToHandle(file)));
}

Win32Error FileSystem::SetDeleteOnClose(Handle file, bool deleteFile) {
  // Its one member is spelt through the character-set macro removed above.
  FILE_DISPOSITION_INFO disposition{deleteFile};
  return Result(SetFileInformationByHandle(ToHandle(file), FileDispositionInfo, &disposition,
                                           sizeof disposition));
}

Win32Error FileSystem::CloseFile(Handle file) {
  ForgetRead(file);
  return Result(CloseHandle(ToHandle(file)));
}

Win32Error FileSystem::GetFileAttributesEx(std::u16string_view path,
                                           Platform::FileAttributeData* data) {
  WIN32_FILE_ATTRIBUTE_DATA found{};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &found)) {
    return LastError();
  }
  *data = AttributeData(found.dwFileAttributes, found.ftCreationTime, found.ftLastAccessTime,
                        found.ftLastWriteTime, found.nFileSizeHigh, found.nFileSizeLow);
  return ERROR_SUCCESS;
}

Win32Error FileSystem::SetFileAttributes(std::u16string_view path, uint32_t attributes) {
  return Result(SetFileAttributesW(Wide(path).c_str(), attributes));
}

// SetFileTime takes a handle: the path is opened for the attribute write alone
// (directories need backup semantics to be opened at all). A time of 0 is left as
// it is, as a null FILETIME pointer does.
Win32Error FileSystem::SetFileTime(std::u16string_view path, Platform::FileTime creation,
                                   Platform::FileTime lastAccess, Platform::FileTime lastWrite) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  const FILETIME times[3] = {ToFileTime(creation), ToFileTime(lastAccess), ToFileTime(lastWrite)};
  const BOOL ok = ::SetFileTime(file, creation ? &times[0] : nullptr,
                                lastAccess ? &times[1] : nullptr, lastWrite ? &times[2] : nullptr);
  const Win32Error result = Result(ok);
  CloseHandle(file);
  return result;
}

Win32Error FileSystem::FindFirstFile(std::u16string_view pattern, Handle* find,
                                     Platform::FindData* data) {
  WIN32_FIND_DATAW found{};
  const HANDLE opened = FindFirstFileW(Wide(pattern).c_str(), &found);
  if (opened == INVALID_HANDLE_VALUE) return LastError();
  *find = FromHandle(opened);
  *data = FindDataOf(found);
  return ERROR_SUCCESS;
}

Win32Error FileSystem::FindNextFile(Handle find, Platform::FindData* data) {
  WIN32_FIND_DATAW found{};
  if (!FindNextFileW(ToHandle(find), &found)) return LastError();
  *data = FindDataOf(found);
  return ERROR_SUCCESS;
}

Win32Error FileSystem::FindClose(Handle find) { return Result(::FindClose(ToHandle(find))); }

Win32Error FileSystem::CreateDirectory(std::u16string_view path) {
  return Result(CreateDirectoryW(Wide(path).c_str(), nullptr));
}

Win32Error FileSystem::RemoveDirectory(std::u16string_view path) {
  return Result(RemoveDirectoryW(Wide(path).c_str()));
}

Win32Error FileSystem::DeleteFile(std::u16string_view path) {
  return Result(DeleteFileW(Wide(path).c_str()));
}

Win32Error FileSystem::MoveFileEx(std::u16string_view from, std::u16string_view to,
                                  uint32_t flags) {
  return Result(MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags));
}

Win32Error FileSystem::GetLongPathName(std::u16string_view path, uint32_t capacity,
                                       std::u16string* longPath, uint32_t* required) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  const DWORD answer = GetLongPathNameW(Wide(path).c_str(), buffer.data(), capacity);
  return DeliverSized(answer, buffer, capacity, longPath, required);
}

Win32Error FileSystem::GetFullPathName(std::u16string_view path, uint32_t capacity,
                                       std::u16string* fullPath, size_t* filePart,
                                       uint32_t* required) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  wchar_t* namePart = nullptr;
  const DWORD answer = GetFullPathNameW(Wide(path).c_str(), capacity, buffer.data(), &namePart);
  const Win32Error result = DeliverSized(answer, buffer, capacity, fullPath, required);
  if (result == ERROR_SUCCESS && filePart != nullptr) {
    *filePart = namePart != nullptr ? static_cast<size_t>(namePart - buffer.data()) : answer;
  }
  return result;
}

// QueryDosDevice answers a list of targets; the first is the current one.
Win32Error FileSystem::QueryDosDevice(std::u16string_view deviceName, uint32_t capacity,
                                      std::u16string* target) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  const DWORD answer = QueryDosDeviceW(Wide(deviceName).c_str(), buffer.data(), capacity);
  if (answer == 0) return LastError();
  *target = FromWide(buffer.c_str());
  return ERROR_SUCCESS;
}

// SQLite's Windows build takes UTF-8 file names and opens them with the W calls.
std::optional<std::string> FileSystem::HostPath(std::u16string_view path) {
  return Platform::Utf16ToUtf8(path);
}

}  // namespace Win32
