// The name space half of FileStore: attributes, listings, directories, deletion
// and the start of a move.
#include <unistd.h>

#include "platform/emulated/files/file_directory.h"
#include "platform/emulated/files/file_metadata.h"
#include "platform/emulated/files/file_path.h"
#include "platform/emulated/files/file_store.h"
#include "platform/emulated/machine/machine.h"
#include "platform/text_encoding.h"

namespace Emulated {

using namespace Platform;
namespace fs = std::filesystem;

namespace {

// ERROR_NOT_SAME_DEVICE: MoveFileEx without MOVEFILE_COPY_ALLOWED across drives.
constexpr Win32Error kErrorNotSameDevice = 17;
// A drive's root reports itself hidden and system, as NTFS roots do.
constexpr uint32_t kDriveRootAttributes =
    kFileAttributeDirectory | kFileAttributeHidden | kFileAttributeSystem;
constexpr uint32_t kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;

std::u16string LastComponent(std::u16string_view path) {
  const size_t separator = path.rfind(u'\\');
  return std::u16string(separator == std::u16string_view::npos ? path : path.substr(separator + 1));
}

std::u16string ParentOf(std::u16string_view path) {
  const size_t separator = path.rfind(u'\\');
  if (separator == std::u16string_view::npos) return u"";
  return std::u16string(path.substr(0, separator == 2 ? 3 : separator));
}

std::optional<FileAttributeData> AttributesOf(const ResolvedPath& path) {
  auto info = ReadAttributeData(path.host);
  if (info && path.isRoot) info->attributes = kDriveRootAttributes;
  return info;
}

}  // namespace

Win32Error FileStore::GetFileAttributesEx(std::u16string_view path, FileAttributeData* data) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.exists) return kErrorFileNotFound;
  // Read by the walk a moment ago, under the same lock.
  auto info = resolved.info ? resolved.info : AttributesOf(resolved);
  if (!info) return kErrorFileNotFound;
  if (!resolved.stream.empty()) {
    std::error_code error;
    const uint64_t size = fs::file_size(StreamPath(resolved.host, resolved.stream), error);
    if (error) return kErrorFileNotFound;
    info->size = size;
  }
  if (data != nullptr) *data = *info;
  return kErrorSuccess;
}

Win32Error FileStore::SetFileAttributes(std::u16string_view path, uint32_t attributes) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.exists || !resolved.stream.empty()) return kErrorFileNotFound;
  if (resolved.isRoot) return kErrorAccessDenied;
  FileMetadata metadata = CurrentMetadata(resolved.host);
  metadata.attributes = attributes & ~(kFileAttributeDirectory | kFileAttributeNormal);
  if (!WriteMetadata(resolved.host, metadata)) return kErrorAccessDenied;
  NotifyChange(resolved.host, kFileActionModified, kFileNotifyChangeAttributes);
  return kErrorSuccess;
}

// Zero leaves a time as it is, as a NULL pointer does on Windows. The host keeps
// one modification time, which stands for both the write and the access time.
Win32Error FileStore::SetFileTime(std::u16string_view path, FileTime creation,
                                  FileTime lastAccess, FileTime lastWrite) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.exists || resolved.isRoot) return kErrorFileNotFound;
  (void)lastAccess;
  if (creation != 0) {
    FileMetadata metadata = CurrentMetadata(resolved.host);
    metadata.creationTime = creation;
    WriteMetadata(resolved.host, metadata);
  }
  if (lastWrite != 0) {
    std::error_code error;
    fs::last_write_time(resolved.host, FromFileTime(lastWrite), error);
    if (error) return kErrorAccessDenied;
  }
  const uint32_t changed = (creation != 0 ? kFileNotifyChangeCreation : 0) |
                           (lastAccess != 0 ? kFileNotifyChangeLastAccess : 0) |
                           (lastWrite != 0 ? kFileNotifyChangeLastWrite : 0);
  if (changed != 0) NotifyChange(resolved.host, kFileActionModified, changed);
  return kErrorSuccess;
}

Win32Error FileStore::FindFirstFile(std::u16string_view pattern, Handle* find, FindData* data) {
  if (find == nullptr || data == nullptr) return kErrorInvalidParameter;
  const std::u16string name = LastComponent(pattern);
  if (name.empty()) return kErrorFileNotFound;
  if (name.find(u':') != std::u16string::npos) return kErrorInvalidName;
  std::lock_guard lock(mutex_);
  ResolvedPath folder;
  if (Win32Error error = drives_.Resolve(ParentOf(pattern), &folder)) return error;
  if (!folder.exists) return kErrorPathNotFound;
  if (!folder.isDirectory) return kErrorDirectory;
  std::vector<FindData> candidates;
  // Every directory but a root lists itself and its parent first, as NTFS does.
  if (!folder.isRoot) {
    ResolvedPath parent;
    drives_.Resolve(ParentOf(folder.longPath), &parent);
    candidates.push_back({*AttributesOf(folder), u".", u""});
    candidates.push_back({AttributesOf(parent).value_or(FileAttributeData{}), u"..", u""});
  }
  for (auto& entry : ListDirectory(folder.host)) {
    candidates.push_back({entry.info, entry.longName, entry.shortName});
  }
  // The 8.3 name takes part in the match as on Windows ("*.htm" finds "x.html").
  Listing listing;
  for (auto& candidate : candidates) {
    const bool wild = HasWildcards(name);
    auto matches = [&](const std::u16string& text) {
      return !text.empty() && (wild ? MatchesWildcard(name, text) : EqualsIgnoreAsciiCase(name, text));
    };
    if (matches(candidate.fileName) || matches(candidate.alternateFileName)) {
      listing.entries.push_back(std::move(candidate));
    }
  }
  if (listing.entries.empty()) return kErrorFileNotFound;
  *data = listing.entries[0];
  listing.next = 1;
  *find = NextHandle();
  listings_[*find] = std::move(listing);
  return kErrorSuccess;
}

Win32Error FileStore::FindNextFile(Handle find, FindData* data) {
  std::lock_guard lock(mutex_);
  auto it = listings_.find(find);
  if (it == listings_.end()) return kErrorInvalidHandle;
  Listing& listing = it->second;
  if (listing.next >= listing.entries.size()) return kErrorNoMoreFiles;
  if (data != nullptr) *data = listing.entries[listing.next];
  ++listing.next;
  return kErrorSuccess;
}

Win32Error FileStore::FindClose(Handle find) {
  std::lock_guard lock(mutex_);
  return listings_.erase(find) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

Win32Error FileStore::CreateDirectory(Actor actor, std::u16string_view path) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.stream.empty()) return kErrorInvalidName;
  if (resolved.exists) return kErrorAlreadyExists;
  FileMetadata metadata;
  metadata.creationTime = machine_.Time().NowUtc();
  metadata.shortName = NewShortName(resolved.host.parent_path(),
                                    Utf8ToUtf16(resolved.host.filename().string()));
  metadata.security = CreatedSecurity(actor, resolved, true);
  std::error_code error;
  if (!fs::create_directory(resolved.host, error)) return kErrorAccessDenied;
  WriteMetadata(resolved.host, metadata);
  const uint64_t fileObject = nextFileObject_;
  nextFileObject_ += 0x100;
  const std::u16string device = FileDrives::DevicePath(resolved);
  sink_->FileCreated(actor, fileObject, device, true);
  sink_->FileClosed(actor, fileObject, device);
  NotifyChange(resolved.host, kFileActionAdded, NameClass(true));
  return kErrorSuccess;
}

Win32Error FileStore::RemoveDirectory(Actor actor, std::u16string_view path) {
  std::lock_guard lock(mutex_);
  return RemoveEntry(actor, path, true);
}

Win32Error FileStore::DeleteFile(Actor actor, std::u16string_view path) {
  std::lock_guard lock(mutex_);
  return RemoveEntry(actor, path, false);
}

// As Windows does it: open for deletion, sharing everything, mark, close. Other
// handles that share deletion keep the file alive until they close.
Win32Error FileStore::RemoveEntry(Actor actor, std::u16string_view path, bool directory) {
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.exists) return kErrorFileNotFound;
  const bool isDirectory = resolved.isDirectory && resolved.stream.empty();
  if (directory && !isDirectory) return kErrorDirectory;
  if (!directory && isDirectory) return kErrorAccessDenied;
  if (resolved.isRoot) return kErrorAccessDenied;
  Handle handle = 0;
  Win32Error error = Open(actor, resolved, kDelete, kShareAll, kOpenExisting,
                          kFileFlagBackupSemantics, &handle);
  if (error) return error;
  OpenFile& open = opens_.at(handle);
  const auto info = ReadAttributeData(open.entry);
  if (info && (info->attributes & kFileAttributeReadonly)) {
    error = kErrorAccessDenied;
  } else if (isDirectory && !ListDirectory(open.entry).empty()) {
    error = kErrorDirNotEmpty;
  } else {
    MarkDeletePending(open, true);
    sink_->FileDeleteOnClose(actor, open.fileObject, open.devicePath, true);
  }
  Close(actor, handle);
  return error;
}

Win32Error FileStore::MoveFileEx(Actor actor, std::u16string_view from, std::u16string_view to,
                                 uint32_t flags) {
  std::lock_guard lock(mutex_);
  ResolvedPath source, target;
  if (Win32Error error = drives_.Resolve(from, &source)) return error;
  if (!source.exists) return kErrorFileNotFound;
  if (Win32Error error = drives_.Resolve(to, &target)) return error;
  if (!source.stream.empty() || !target.stream.empty() || source.isRoot) return kErrorInvalidParameter;
  if (source.letter != target.letter) return kErrorNotSameDevice;
  const bool sameEntry = target.exists && target.host == source.host;
  if (target.exists && !sameEntry) {
    if ((flags & kMoveFileReplaceExisting) == 0) return kErrorAlreadyExists;
    if (target.isDirectory || !OpensOf(target.host).empty()) return kErrorAccessDenied;
  }
  Handle handle = 0;
  if (Win32Error error = Open(actor, source, kDelete, kShareAll, kOpenExisting,
                              kFileFlagBackupSemantics, &handle)) {
    return error;
  }
  const Win32Error error = Rename(actor, source, target, handle);
  Close(actor, handle);
  return error;
}

}  // namespace Emulated
