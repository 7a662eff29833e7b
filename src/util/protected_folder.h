#pragma once
// The descriptor the product's data and log folders carry: owned by the
// Administrators group, full control for SYSTEM and the Administrators passed on to
// everything below, nothing taken from the parent and nothing for anyone else. The
// common application-data folder above them lets every user create and read files;
// the database holds command lines, download addresses and owners, and a file a
// user placed there (a database made in advance, a hot journal) would be read as
// the service's own.

#include <string_view>

#include "platform/system.h"

namespace VyrUtilities {

Platform::FileSecurity ProtectedFolderSecurity();

// Whether security is the protected descriptor or one as strict: owner SYSTEM or
// the Administrators, a protected DACL of allow entries for exactly SYSTEM and the
// Administrators, each with full control.
bool IsProtectedFolderSecurity(const Platform::FileSecurity& security);

enum class FolderProtection { kAlreadyProtected, kReset, kFailed };

// Gives the existing folder at path the protected descriptor unless it already has
// one as strict. *error receives the failure's code.
FolderProtection ProtectFolder(Platform::System& system, std::u16string_view path, Platform::Win32Error* error);

}  // namespace VyrUtilities
