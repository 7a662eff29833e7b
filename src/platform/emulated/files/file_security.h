#pragma once
// Owners and DACLs of the machine's files, as NTFS keeps them: each entry has its
// own descriptor, made when it is created from the creator's account and what its
// folder passes on (object-inherit entries to files, container-inherit entries to
// folders). An entry that never had one (placed in an image folder from outside)
// has what its folders pass on and the Administrators group as its owner; a drive
// root passes on SYSTEM and Administrators full control and Users read access, as
// a Windows system drive does.
//
// The machine keeps and reports descriptors; it does not check access against them.

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "platform/file_system.h"

namespace Emulated {

// What a drive root passes on to everything below it.
Platform::FileSecurity DriveRootSecurity();

// The entries of parent that a new (or inheriting) child takes, flagged inherited.
std::vector<Platform::AccessEntry> InheritedFrom(const Platform::FileSecurity& parent, bool directory);

// The descriptor of a new entry created by ownerSid below a folder whose descriptor
// is parent.
Platform::FileSecurity NewEntrySecurity(const Platform::FileSecurity& parent, std::u16string_view ownerSid,
                                        bool directory);

// requested as it is stored: its explicit entries, then (unless protected) what
// parent passes on.
Platform::FileSecurity AppliedSecurity(const Platform::FileSecurity& requested,
                                       const Platform::FileSecurity& parent, bool directory);

// Gives every entry below folder that keeps a descriptor of its own and is not
// protected what its folder now passes on. folderSecurity is the folder's own.
void PropagateInheritance(const std::filesystem::path& folder, const Platform::FileSecurity& folderSecurity);

}  // namespace Emulated
