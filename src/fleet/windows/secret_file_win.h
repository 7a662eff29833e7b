#pragma once
// Whether a file holding a secret is closed to everyone but SYSTEM and the
// Administrators, as a credentials file of a service running as SYSTEM must be.

#include <string>

#include "platform/win32/win32_api.h"

namespace Fleet {

// True when owner is SYSTEM or the Administrators and no entry of dacl lets any
// other account read (a missing DACL lets everyone). Otherwise false, with why:
// "<path> can be read by <account>", "<path> is owned by <account>, ...".
bool ClosedToOthers(const std::string& path, PSID owner, PACL dacl, std::string* why);

// ClosedToOthers for the file's own owner and DACL; false also when they cannot be read.
bool OnlyAdministratorsCanRead(const std::string& path, std::string* why);

// The refusal of a secret file that others can read, as the exporter reports it.
std::string SecretFileRefusal(const std::string& why);

}  // namespace Fleet
