// The directory change notifications of FileStore: handles opened for them, the
// reads armed on them, and the changes the rest of the store reports.
#include "platform/emulated/files/file_store.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/object_table.h"

namespace Emulated {

using namespace Platform;

namespace {

// FILE_LIST_DIRECTORY: for a directory the right to list it, for a file
// FILE_READ_DATA; neither takes part in the sharing checks of the store.
constexpr uint32_t kFileListDirectory = 0x1;
constexpr uint32_t kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;

}  // namespace

// A file opens as well (FILE_LIST_DIRECTORY is FILE_READ_DATA there), as on
// Windows; arming a read on it then fails.
Win32Error FileStore::OpenDirectoryForChanges(Actor actor, std::u16string_view path,
                                              Handle* directory) {
  if (directory == nullptr) return kErrorInvalidParameter;
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (Win32Error error = Open(actor, resolved, kFileListDirectory, kShareAll, kOpenExisting,
                              kFileFlagBackupSemantics, directory)) {
    return error;
  }
  if (resolved.isDirectory && resolved.stream.empty()) watches_.Opened(*directory, resolved.host);
  return kErrorSuccess;
}

Win32Error FileStore::ReadDirectoryChanges(Handle directory, uint32_t bufferBytes,
                                           bool watchSubtree, uint32_t filter, Handle event) {
  std::lock_guard lock(mutex_);
  if (FindOpen(directory) == nullptr) return kErrorInvalidHandle;
  if (!watches_.Has(directory) || watches_.Busy(directory) || bufferBytes == 0 || filter == 0 ||
      event == 0) {
    return kErrorInvalidParameter;
  }
  // The system resets the event as the read begins.
  if (Win32Error error = machine_.ObjectState().ResetEvent(event)) return error;
  bool complete = false;
  if (Win32Error error = watches_.Arm(directory, bufferBytes, watchSubtree, filter, event, &complete)) {
    return error;
  }
  if (complete) machine_.ObjectState().SetEvent(event);
  return kErrorSuccess;
}

Win32Error FileStore::GetDirectoryChanges(Handle directory, std::vector<uint8_t>* records) {
  std::lock_guard lock(mutex_);
  if (FindOpen(directory) == nullptr) return kErrorInvalidHandle;
  return watches_.Collect(directory, records);
}

void FileStore::NotifyChange(const std::filesystem::path& entry, uint32_t action,
                             uint32_t filterClass) {
  const DirectoryWatchList::EntryChange change{entry, action, filterClass};
  NotifyChanges({&change, 1});
}

void FileStore::NotifyChanges(std::span<const DirectoryWatchList::EntryChange> changes) {
  std::vector<Handle> events;
  watches_.Changed(changes, &events);
  for (Handle event : events) machine_.ObjectState().SetEvent(event);
}

uint32_t FileStore::NameClass(bool directory) {
  return directory ? kFileNotifyChangeDirName : kFileNotifyChangeFileName;
}

}  // namespace Emulated
