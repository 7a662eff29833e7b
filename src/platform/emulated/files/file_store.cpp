#include "platform/emulated/files/file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/emulated/files/file_directory.h"
#include "platform/emulated/files/file_metadata.h"
#include "platform/emulated/machine/machine.h"
#include "platform/text_encoding.h"

namespace Emulated {

using namespace Platform;
namespace fs = std::filesystem;

namespace {

// What a write or a truncation counts as for the change filters.
constexpr uint32_t kWriteClass = kFileNotifyChangeSize | kFileNotifyChangeLastWrite;

constexpr uint32_t kKeptAttributes =
    kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive;

bool CreateHostFile(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

FileStore::FileStore(Machine& machine)
    : machine_(machine), drives_(machine.Config().drives), sink_(&machine.Activity()) {}

FileStore::~FileStore() {
  for (auto& [handle, open] : opens_) {
    if (open.fd >= 0) ::close(open.fd);
  }
}

void FileStore::ReportActivityTo(ActivitySink* sink) {
  std::lock_guard lock(mutex_);
  sink_ = sink;
}

Handle FileStore::NextHandle() {
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  return handle;
}

OpenFile* FileStore::FindOpen(Handle file) {
  auto it = opens_.find(file);
  return it == opens_.end() ? nullptr : &it->second;
}

std::vector<const OpenFile*> FileStore::OpensOf(const fs::path& data) const {
  std::vector<const OpenFile*> opens;
  for (const auto& [handle, open] : opens_) {
    if (open.data == data) opens.push_back(&open);
  }
  return opens;
}

Win32Error FileStore::CreateFile(Actor actor, std::u16string_view path, uint32_t access,
                                 uint32_t share, uint32_t disposition, uint32_t flags,
                                 Handle* file) {
  if (file == nullptr || disposition < kCreateNew || disposition > kTruncateExisting) {
    return kErrorInvalidParameter;
  }
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  return Open(actor, resolved, access, share, disposition, flags, file);
}

Win32Error FileStore::CheckReadSharing(std::u16string_view path) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  const fs::path data = resolved.stream.empty() ? resolved.host : StreamPath(resolved.host, resolved.stream);
  std::error_code ignored;
  if (!resolved.exists || !fs::exists(data, ignored)) return kErrorFileNotFound;
  if (deletePending_.count(data) != 0) return kErrorAccessDenied;
  return SharingAllows(OpensOf(data), kGenericRead, kFileShareRead) ? kErrorSuccess : kErrorSharingViolation;
}

Win32Error FileStore::Open(Actor actor, const ResolvedPath& path, uint32_t access, uint32_t share,
                           uint32_t disposition, uint32_t flags, Handle* file) {
  const bool stream = !path.stream.empty();
  const bool directory = path.exists && path.isDirectory && !stream;
  if (directory && (flags & kFileFlagBackupSemantics) == 0) return kErrorAccessDenied;
  const fs::path data = stream ? StreamPath(path.host, path.stream) : path.host;
  std::error_code ignored;
  const bool exists = stream ? path.exists && fs::exists(data, ignored) : path.exists;
  if (deletePending_.count(data) != 0) return kErrorAccessDenied;
  if (exists && disposition == kCreateNew) return kErrorFileExists;
  if (!exists && (disposition == kOpenExisting || disposition == kTruncateExisting)) {
    return kErrorFileNotFound;
  }
  const auto info = exists ? ReadAttributeData(path.host) : std::nullopt;
  if (info && (info->attributes & kFileAttributeReadonly) && (access & kGenericWrite)) {
    return kErrorAccessDenied;
  }
  const uint32_t effectiveAccess = access | ((flags & kFileFlagDeleteOnClose) ? kDelete : 0);
  if (!SharingAllows(OpensOf(data), effectiveAccess, share)) return kErrorSharingViolation;

  bool created = false;
  if (!exists) {
    if (Win32Error error = CreateData(actor, path, flags, &created)) return error;
  }
  OpenFile open{nextFileObject_, data, path.host, FileDrives::DevicePath(path), stream,
                directory, effectiveAccess, share, (flags & kFileFlagDeleteOnClose) != 0};
  const bool truncate = exists && (disposition == kCreateAlways || disposition == kTruncateExisting);
  if (!directory) {
    if (Win32Error error = OpenHostData(open, truncate)) return error;
  }
  nextFileObject_ += 0x100;
  *file = NextHandle();
  OpenFile& stored = opens_[*file] = std::move(open);
  if (created) sink_->FileCreated(actor, stored.fileObject, stored.devicePath, false);
  if (stored.deleteOnCloseFlag) sink_->FileDeleteOnClose(actor, stored.fileObject, stored.devicePath, true);
  return kErrorSuccess;
}

// A stream of a file that does not exist yet brings the file into being too, as on
// NTFS. New files carry the archive bit besides the attributes asked for.
Win32Error FileStore::CreateData(Actor actor, const ResolvedPath& path, uint32_t flags, bool* created) {
  if (!path.exists) {
    FileMetadata metadata;
    metadata.security = CreatedSecurity(actor, path, false);
    metadata.attributes = (flags & kKeptAttributes) | kFileAttributeArchive;
    metadata.creationTime = machine_.Time().NowUtc();
    metadata.shortName = NewShortName(path.host.parent_path(),
                                      Utf8ToUtf16(path.host.filename().string()));
    if (!CreateHostFile(path.host)) return kErrorAccessDenied;
    WriteMetadata(path.host, metadata);
    TouchWriteTime(path.host);
    NotifyChange(path.host, kFileActionAdded, NameClass(false));
  }
  if (!path.stream.empty()) {
    const fs::path data = StreamPath(path.host, path.stream);
    if (!CreateHostFile(data)) return kErrorAccessDenied;
  }
  *created = true;
  return kErrorSuccess;
}

Win32Error FileStore::OpenHostData(OpenFile& open, bool truncate) {
  open.fd = ::open(open.data.c_str(), O_RDWR | O_CLOEXEC);
  if (open.fd < 0) open.fd = ::open(open.data.c_str(), O_RDONLY | O_CLOEXEC);
  if (open.fd < 0) return kErrorAccessDenied;
  // The lock comes before truncating: a refused writer must not have touched the file.
  if (!TakeHostLock(open.fd, open.access, open.share)) {
    ::close(open.fd);
    return kErrorSharingViolation;
  }
  if (truncate && ::ftruncate(open.fd, 0) == 0) {
    TouchWriteTime(open.data);
    if (!open.isStream) NotifyChange(open.entry, kFileActionModified, kWriteClass);
  }
  return kErrorSuccess;
}

void FileStore::TouchWriteTime(const fs::path& data) {
  std::error_code ignored;
  fs::last_write_time(data, FromFileTime(machine_.Time().NowUtc()), ignored);
}

Win32Error FileStore::ReadFile(Handle file, std::span<uint8_t> buffer, uint32_t* read) {
  std::lock_guard lock(mutex_);
  OpenFile* open = FindOpen(file);
  if (open == nullptr) return kErrorInvalidHandle;
  if (open->fd < 0 || (open->access & kGenericRead) == 0) return kErrorAccessDenied;
  const ssize_t count = ::pread(open->fd, buffer.data(), buffer.size(), static_cast<off_t>(open->position));
  if (count < 0) return kErrorInvalidFunction;
  open->position += static_cast<uint64_t>(count);
  if (read != nullptr) *read = static_cast<uint32_t>(count);
  return kErrorSuccess;
}

Win32Error FileStore::WriteFile(Actor actor, Handle file, std::span<const uint8_t> data,
                                uint32_t* written) {
  std::lock_guard lock(mutex_);
  OpenFile* open = FindOpen(file);
  if (open == nullptr) return kErrorInvalidHandle;
  if (open->fd < 0 || (open->access & kGenericWrite) == 0) return kErrorAccessDenied;
  sink_->FileWriteStarted(actor, open->fileObject, open->devicePath);
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t count = ::pwrite(open->fd, data.data() + done, data.size() - done,
                                   static_cast<off_t>(open->position + done));
    if (count <= 0) break;
    done += static_cast<size_t>(count);
  }
  open->position += done;
  TouchWriteTime(open->data);
  if (!open->isStream) NotifyChange(open->entry, kFileActionModified, kWriteClass);
  sink_->FileWriteFinished(actor, open->fileObject, open->devicePath);
  if (done < data.size()) return kErrorNotEnoughMemory;
  if (written != nullptr) *written = static_cast<uint32_t>(done);
  return kErrorSuccess;
}

Win32Error FileStore::SetFilePointer(Handle file, int64_t distance, uint32_t method,
                                     uint64_t* position) {
  std::lock_guard lock(mutex_);
  OpenFile* open = FindOpen(file);
  if (open == nullptr) return kErrorInvalidHandle;
  if (open->fd < 0) return kErrorAccessDenied;
  struct stat info {};
  int64_t base = 0;
  if (method == kFileCurrent) {
    base = static_cast<int64_t>(open->position);
  } else if (method == kFileEnd) {
    if (::fstat(open->fd, &info) != 0) return kErrorInvalidHandle;
    base = info.st_size;
  } else if (method != kFileBegin) {
    return kErrorInvalidParameter;
  }
  // ERROR_NEGATIVE_SEEK on Windows; the seam has no number for it.
  if (base + distance < 0) return kErrorInvalidParameter;
  open->position = static_cast<uint64_t>(base + distance);
  if (position != nullptr) *position = open->position;
  return kErrorSuccess;
}

Win32Error FileStore::GetFileSize(Handle file, uint64_t* size) {
  std::lock_guard lock(mutex_);
  OpenFile* open = FindOpen(file);
  if (open == nullptr) return kErrorInvalidHandle;
  struct stat info {};
  if (open->fd < 0 || ::fstat(open->fd, &info) != 0) return kErrorInvalidHandle;
  if (size != nullptr) *size = static_cast<uint64_t>(info.st_size);
  return kErrorSuccess;
}

// Every write already reaches the host kernel, where other processes see it; an
// fsync per call would make the log (flushed at every line) crawl for nothing the
// emulation needs.
Win32Error FileStore::FlushFileBuffers(Handle file) {
  std::lock_guard lock(mutex_);
  if (FindOpen(file) == nullptr) return kErrorInvalidHandle;
  ++diskFlushes_;
  return kErrorSuccess;
}

uint64_t FileStore::DiskFlushCount() {
  std::lock_guard lock(mutex_);
  return diskFlushes_;
}

Win32Error FileStore::SetDeleteOnClose(Actor actor, Handle file, bool deleteFile) {
  std::lock_guard lock(mutex_);
  OpenFile* open = FindOpen(file);
  if (open == nullptr) return kErrorInvalidHandle;
  if ((open->access & kDelete) == 0) return kErrorAccessDenied;
  if (deleteFile) {
    const auto info = ReadAttributeData(open->entry);
    if (info && (info->attributes & kFileAttributeReadonly)) return kErrorAccessDenied;
    if (open->isDirectory && !ListDirectory(open->entry).empty()) return kErrorDirNotEmpty;
  }
  MarkDeletePending(*open, deleteFile);
  sink_->FileDeleteOnClose(actor, open->fileObject, open->devicePath, deleteFile);
  return kErrorSuccess;
}

// The disposition belongs to the file, not to the handle: the last setter wins.
void FileStore::MarkDeletePending(OpenFile& open, bool deleteFile) {
  if (deleteFile) {
    deletePending_.insert(open.data);
  } else {
    deletePending_.erase(open.data);
  }
}

Win32Error FileStore::CloseFile(Actor actor, Handle file) {
  std::lock_guard lock(mutex_);
  return Close(actor, file);
}

Win32Error FileStore::Close(Actor actor, Handle file) {
  auto it = opens_.find(file);
  if (it == opens_.end()) return kErrorInvalidHandle;
  OpenFile open = std::move(it->second);
  opens_.erase(it);
  watches_.Closed(file);
  if (open.fd >= 0) ::close(open.fd);
  if (open.deleteOnCloseFlag) MarkDeletePending(open, true);
  sink_->FileClosed(actor, open.fileObject, open.devicePath);
  RemoveIfPending(open);
  return kErrorSuccess;
}

// A file marked for deletion goes when its last handle closes; a file takes its
// streams and metadata along, a stream only itself.
void FileStore::RemoveIfPending(const OpenFile& closed) {
  if (!OpensOf(closed.data).empty() || deletePending_.erase(closed.data) == 0) return;
  std::error_code ignored;
  if (!closed.isStream) {
    for (const auto& companion : CompanionPaths(closed.entry)) fs::remove(companion, ignored);
  }
  fs::remove(closed.data, ignored);
  if (!closed.isStream) NotifyChange(closed.entry, kFileActionRemoved, NameClass(closed.isDirectory));
}

}  // namespace Emulated
