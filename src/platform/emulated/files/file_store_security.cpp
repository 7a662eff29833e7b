// The security half of FileStore: every entry's owner and DACL.
#include "platform/emulated/files/file_directory.h"
#include "platform/emulated/files/file_metadata.h"
#include "platform/emulated/files/file_security.h"
#include "platform/emulated/files/file_store.h"
#include "platform/emulated/machine/machine.h"

namespace Emulated {

using namespace Platform;

namespace {

std::u16string ParentPath(std::u16string_view path) {
  const size_t separator = path.rfind(u'\\');
  return std::u16string(path.substr(0, separator == 2 ? 3 : separator));
}

}  // namespace

FileSecurity FileStore::EffectiveSecurity(const ResolvedPath& path) {
  if (path.isRoot) return DriveRootSecurity();
  if (auto stored = CurrentMetadata(path.host).security) return *stored;
  ResolvedPath parent;
  if (drives_.Resolve(ParentPath(path.longPath), &parent) != kErrorSuccess) return DriveRootSecurity();
  return NewEntrySecurity(EffectiveSecurity(parent), kAdministratorsSid, path.isDirectory);
}

FileSecurity FileStore::CreatedSecurity(Actor actor, const ResolvedPath& path, bool directory) {
  const auto process = machine_.ProcessTable().Find(actor.processId);
  const std::u16string owner = process && !process->ownerSid.empty() ? process->ownerSid : kAdministratorsSid;
  ResolvedPath parent;
  const FileSecurity folder = drives_.Resolve(ParentPath(path.longPath), &parent) == kErrorSuccess
                                  ? EffectiveSecurity(parent)
                                  : DriveRootSecurity();
  return NewEntrySecurity(folder, owner, directory);
}

Win32Error FileStore::GetFileSecurity(std::u16string_view path, FileSecurity* security) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.exists || !resolved.stream.empty()) return kErrorFileNotFound;
  if (security != nullptr) *security = EffectiveSecurity(resolved);
  return kErrorSuccess;
}

// A drive root keeps the descriptor every drive starts with.
Win32Error FileStore::SetFileSecurity(std::u16string_view path, const FileSecurity& security) {
  std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (Win32Error error = drives_.Resolve(path, &resolved)) return error;
  if (!resolved.exists || !resolved.stream.empty()) return kErrorFileNotFound;
  if (resolved.isRoot || security.ownerSid.empty()) return kErrorAccessDenied;
  ResolvedPath parent;
  drives_.Resolve(ParentPath(resolved.longPath), &parent);
  FileMetadata metadata = CurrentMetadata(resolved.host);
  metadata.security = AppliedSecurity(security, EffectiveSecurity(parent), resolved.isDirectory);
  if (!WriteMetadata(resolved.host, metadata)) return kErrorAccessDenied;
  if (resolved.isDirectory) PropagateInheritance(resolved.host, *metadata.security);
  NotifyChange(resolved.host, kFileActionModified, kFileNotifyChangeSecurity);
  return kErrorSuccess;
}

}  // namespace Emulated
