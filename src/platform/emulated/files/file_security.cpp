#include "platform/emulated/files/file_security.h"

#include "platform/emulated/files/file_directory.h"
#include "platform/emulated/files/file_metadata.h"

namespace Emulated {

using namespace Platform;

FileSecurity DriveRootSecurity() {
  constexpr uint8_t kBoth = kObjectInheritAce | kContainerInheritAce;
  return {kAdministratorsSid,
          {{kAccessAllowedAceType, kBoth, kFileAllAccess, kLocalSystemSid},
           {kAccessAllowedAceType, kBoth, kFileAllAccess, kAdministratorsSid},
           {kAccessAllowedAceType, kBoth, kFileGenericReadExecute, kUsersSid}},
          true};
}

// A file takes the object-inherit entries and keeps none of the inherit flags; a
// folder takes the container-inherit entries (and those that only object-inherit,
// to pass them on to its files) with their flags.
std::vector<AccessEntry> InheritedFrom(const FileSecurity& parent, bool directory) {
  std::vector<AccessEntry> inherited;
  for (const AccessEntry& entry : parent.dacl) {
    const uint8_t inheritable = entry.flags & (kObjectInheritAce | kContainerInheritAce);
    if (inheritable == 0) continue;
    if (!directory && (entry.flags & kObjectInheritAce) == 0) continue;
    AccessEntry copy = entry;
    copy.flags = kInheritedAce | (directory ? inheritable : 0);
    inherited.push_back(std::move(copy));
  }
  return inherited;
}

FileSecurity NewEntrySecurity(const FileSecurity& parent, std::u16string_view ownerSid, bool directory) {
  return {std::u16string(ownerSid), InheritedFrom(parent, directory), false};
}

FileSecurity AppliedSecurity(const FileSecurity& requested, const FileSecurity& parent, bool directory) {
  FileSecurity applied{requested.ownerSid, {}, requested.daclProtected};
  for (const AccessEntry& entry : requested.dacl) {
    if ((entry.flags & kInheritedAce) == 0) applied.dacl.push_back(entry);
  }
  if (!requested.daclProtected) {
    for (AccessEntry& entry : InheritedFrom(parent, directory)) applied.dacl.push_back(std::move(entry));
  }
  return applied;
}

void PropagateInheritance(const std::filesystem::path& folder, const FileSecurity& folderSecurity) {
  for (const DirectoryEntry& child : ListDirectory(folder)) {
    const bool directory = (child.info.attributes & kFileAttributeDirectory) != 0;
    FileMetadata metadata = CurrentMetadata(child.host);
    FileSecurity effective;
    if (metadata.security) {
      if (!metadata.security->daclProtected) {
        metadata.security = AppliedSecurity(*metadata.security, folderSecurity, directory);
        WriteMetadata(child.host, metadata);
      }
      effective = *metadata.security;
    } else {
      effective = NewEntrySecurity(folderSecurity, kAdministratorsSid, directory);
    }
    if (directory) PropagateInheritance(child.host, effective);
  }
}

}  // namespace Emulated
