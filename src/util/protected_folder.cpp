#include "util/protected_folder.h"

namespace VyrUtilities {

using namespace Platform;

namespace {

// GENERIC_ALL in an entry means full control as much as the file rights spelt out.
constexpr uint32_t kGenericAll = 0x10000000;

bool IsSystemOrAdministrators(std::u16string_view sid) { return sid == kLocalSystemSid || sid == kAdministratorsSid; }

bool GrantsFullControl(const AccessEntry& entry) {
  return entry.type == kAccessAllowedAceType && (entry.flags & kInheritedAce) == 0 &&
         ((entry.mask & kFileAllAccess) == kFileAllAccess || (entry.mask & kGenericAll) != 0);
}

}  // namespace

FileSecurity ProtectedFolderSecurity() {
  constexpr uint8_t kPassedOn = kObjectInheritAce | kContainerInheritAce;
  return {kAdministratorsSid,
          {{kAccessAllowedAceType, kPassedOn, kFileAllAccess, kLocalSystemSid},
           {kAccessAllowedAceType, kPassedOn, kFileAllAccess, kAdministratorsSid}},
          true};
}

bool IsProtectedFolderSecurity(const FileSecurity& security) {
  if (!IsSystemOrAdministrators(security.ownerSid) || !security.daclProtected) return false;
  bool system = false, administrators = false;
  for (const AccessEntry& entry : security.dacl) {
    if (!GrantsFullControl(entry) || !IsSystemOrAdministrators(entry.sid)) return false;
    (entry.sid == kLocalSystemSid ? system : administrators) = true;
  }
  return system && administrators;
}

FolderProtection ProtectFolder(System& system, std::u16string_view path, Win32Error* error) {
  FileSecurity current;
  *error = system.Files().GetFileSecurity(path, &current);
  if (*error != kErrorSuccess) return FolderProtection::kFailed;
  if (IsProtectedFolderSecurity(current)) return FolderProtection::kAlreadyProtected;
  *error = system.Files().SetFileSecurity(path, ProtectedFolderSecurity());
  return *error == kErrorSuccess ? FolderProtection::kReset : FolderProtection::kFailed;
}

}  // namespace VyrUtilities
