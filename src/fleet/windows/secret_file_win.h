#pragma once
// Whether a file holding a secret is closed to everyone but SYSTEM and the
// Administrators, as a credentials file of a service running as SYSTEM must be.

#include <string>

namespace Fleet {

// True when the file's owner is SYSTEM or the Administrators and no entry of its
// DACL lets any other account read it (a missing DACL lets everyone). Otherwise
// false, with why: "<path> can be read by <account>" or why it could not be checked.
bool OnlyAdministratorsCanRead(const std::string& path, std::string* why);

}  // namespace Fleet
