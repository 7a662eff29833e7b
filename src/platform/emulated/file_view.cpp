#include "platform/emulated/file_view.h"

#include "platform/emulated/machine.h"

namespace Emulated {

using namespace Platform;

Win32Error FileView::CreateFile(std::u16string_view path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags, Handle* file) { return Platform::kErrorNotSupported; }

Win32Error FileView::ReadFile(Handle file, std::span<uint8_t> buffer, uint32_t* read) { return Platform::kErrorNotSupported; }

Win32Error FileView::WriteFile(Handle file, std::span<const uint8_t> data, uint32_t* written) { return Platform::kErrorNotSupported; }

Win32Error FileView::SetFilePointer(Handle file, int64_t distance, uint32_t method, uint64_t* position) { return Platform::kErrorNotSupported; }

Win32Error FileView::GetFileSize(Handle file, uint64_t* size) { return Platform::kErrorNotSupported; }

Win32Error FileView::FlushFileBuffers(Handle file) { return Platform::kErrorNotSupported; }

Win32Error FileView::SetDeleteOnClose(Handle file, bool deleteFile) { return Platform::kErrorNotSupported; }

Win32Error FileView::CloseFile(Handle file) { return Platform::kErrorNotSupported; }

Win32Error FileView::GetFileAttributesEx(std::u16string_view path, FileAttributeData* data) { return Platform::kErrorNotSupported; }

Win32Error FileView::SetFileAttributes(std::u16string_view path, uint32_t attributes) { return Platform::kErrorNotSupported; }

Win32Error FileView::SetFileTime(std::u16string_view path, FileTime creation, FileTime lastAccess, FileTime lastWrite) { return Platform::kErrorNotSupported; }

Win32Error FileView::FindFirstFile(std::u16string_view pattern, Handle* find, FindData* data) { return Platform::kErrorNotSupported; }

Win32Error FileView::FindNextFile(Handle find, FindData* data) { return Platform::kErrorNotSupported; }

Win32Error FileView::FindClose(Handle find) { return Platform::kErrorNotSupported; }

Win32Error FileView::CreateDirectory(std::u16string_view path) { return Platform::kErrorNotSupported; }

Win32Error FileView::RemoveDirectory(std::u16string_view path) { return Platform::kErrorNotSupported; }

Win32Error FileView::DeleteFile(std::u16string_view path) { return Platform::kErrorNotSupported; }

Win32Error FileView::MoveFileEx(std::u16string_view from, std::u16string_view to, uint32_t flags) { return Platform::kErrorNotSupported; }

Win32Error FileView::GetLongPathName(std::u16string_view path, uint32_t capacity, std::u16string* longPath, uint32_t* required) { return Platform::kErrorNotSupported; }

Win32Error FileView::GetFullPathName(std::u16string_view path, uint32_t capacity, std::u16string* fullPath, size_t* filePart, uint32_t* required) { return Platform::kErrorNotSupported; }

Win32Error FileView::QueryDosDevice(std::u16string_view deviceName, uint32_t capacity, std::u16string* target) { return Platform::kErrorNotSupported; }

std::optional<std::string> FileView::HostPath(std::u16string_view path) { return std::nullopt; }

}  // namespace Emulated
