#pragma once
// Loading regedit files into the machine's registry, the way the machine images keep
// their hives (SOFTWARE.reg, SYSTEM.reg, NTUSER.reg, UsrClass.reg).
//
// A file is read completely first: a malformed one changes nothing and error gets
// "<fileName>:<line>: <what is wrong>". Loading is not activity of any process; no
// driver record results. Keys named through HKEY_CURRENT_USER land in
// HKU\<currentUserSid>.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/emulated/regedit/regedit_parse.h"

namespace Emulated {

class RegistryStore;

inline constexpr std::u16string_view kRegeditDefaultUser = u".DEFAULT";

bool ImportRegedit(RegistryStore& store, std::span<const uint8_t> bytes,
                   std::u16string_view fileName, std::u16string* error,
                   std::u16string_view currentUserSid = kRegeditDefaultUser,
                   const RegeditKeyCheck& check = {});

// The same for a host file; the file name in messages is the path's last part.
bool ImportRegeditFile(RegistryStore& store, const std::string& hostPath, std::u16string* error,
                       std::u16string_view currentUserSid = kRegeditDefaultUser,
                       const RegeditKeyCheck& check = {});

}  // namespace Emulated
