// The rename half of FileStore's name space, with long names and host paths.
#include "platform/emulated/files/file_directory.h"
#include "platform/emulated/files/file_metadata.h"
#include "platform/emulated/files/file_path.h"
#include "platform/emulated/files/file_store.h"
#include "platform/text_encoding.h"

namespace Emulated {

using namespace Platform;
namespace fs = std::filesystem;

// The entry moves with its companions; the name keeps the case given for the target,
// and the 8.3 name is made anew for the new name, as NTFS does on a rename.
Win32Error FileStore::Rename(Actor actor, const ResolvedPath& from, const ResolvedPath& to,
                             Handle source) {
  const std::u16string expanded = to.expandedPath;
  const std::u16string newName = expanded.substr(expanded.rfind(u'\\') + 1);
  const fs::path newHost = to.host.parent_path() / Utf16ToUtf8(newName);
  std::error_code error;
  const bool replaced = to.exists && to.host != from.host;
  if (replaced) {
    for (const auto& companion : CompanionPaths(to.host)) fs::remove(companion, error);
    fs::remove(to.host, error);
  }
  FileMetadata metadata = CurrentMetadata(from.host);
  metadata.shortName = NewShortName(newHost.parent_path(), newName);
  MoveHostEntry(from.host, newHost);
  if (!fs::exists(newHost, error)) return kErrorAccessDenied;
  WriteMetadata(newHost, metadata);

  std::u16string parent = to.longPath.substr(0, to.longPath.rfind(u'\\'));
  const std::u16string target = u"\\??\\" + parent + u"\\" + newName;
  const OpenFile& open = opens_.at(source);
  sink_->FileRenamed(actor, open.fileObject, open.devicePath, target);
  NotifyRename(from.host, newHost, from.isDirectory, replaced ? to.host : fs::path());
  return kErrorSuccess;
}

// A rename within one folder is an old-name / new-name pair; a move to another
// folder is a removal here and an addition there, as NTFS reports them. A replaced
// target is reported removed first.
void FileStore::NotifyRename(const fs::path& from, const fs::path& to, bool directory,
                             const fs::path& replaced) {
  const uint32_t names = NameClass(directory);
  std::vector<DirectoryWatchList::EntryChange> changes;
  if (!replaced.empty()) changes.push_back({replaced, kFileActionRemoved, NameClass(false)});
  if (from.parent_path() == to.parent_path()) {
    changes.push_back({from, kFileActionRenamedOldName, names});
    changes.push_back({to, kFileActionRenamedNewName, names});
  } else {
    changes.push_back({from, kFileActionRemoved, names});
    changes.push_back({to, kFileActionAdded, names});
  }
  NotifyChanges(changes);
}

void FileStore::MoveHostEntry(const fs::path& from, const fs::path& to) {
  const std::string oldName = from.filename().string();
  const std::string newName = to.filename().string();
  std::error_code error;
  for (const auto& companion : CompanionPaths(from)) {
    const std::string suffix = companion.filename().string().substr(oldName.size());
    fs::rename(companion, to.parent_path() / (newName + suffix), error);
  }
  fs::rename(from, to, error);
  // Handles open on the entry follow it, as file objects do.
  for (auto& [handle, open] : opens_) {
    if (open.entry != from) continue;
    const std::string suffix = open.data.filename().string().substr(oldName.size());
    open.entry = to;
    open.data = to.parent_path() / (newName + suffix);
  }
}

Win32Error FileStore::GetLongPathName(std::u16string_view path, std::u16string* longPath) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.exists) return kErrorFileNotFound;
  *longPath = resolved.expandedPath;
  return kErrorSuccess;
}

// A path whose folders do not exist yet still has a host place (SQLite may create
// the file); only a path on no drive has none.
std::optional<std::string> FileStore::HostPath(std::u16string_view path) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (drives_.Resolve(path, &resolved) == kErrorSuccess) {
    const fs::path host =
        resolved.stream.empty() ? resolved.host : StreamPath(resolved.host, resolved.stream);
    return host.string();
  }
  char16_t letter = 0;
  const auto components = SplitDrivePath(path, &letter);
  if (!components || !drives_.DeviceName(letter)) return std::nullopt;
  ResolvedPath root;
  if (drives_.Resolve(std::u16string(1, letter) + u":\\", &root) != kErrorSuccess) return std::nullopt;
  fs::path host = root.host;
  for (const auto& component : *components) host /= Utf16ToUtf8(component);
  return host.string();
}

}  // namespace Emulated
