#pragma once
// Key paths of regedit files ("HKEY_LOCAL_MACHINE\SOFTWARE\x") to store paths
// below \REGISTRY ("MACHINE\SOFTWARE\x"), shared by the importer and the exporter.

#include <string>
#include <string_view>

namespace Emulated {

// HKEY_CURRENT_USER (HKCU) stands for HKU\<currentUserSid>. False, with problem set,
// for an unknown root or a key name that the registry would refuse.
bool RegeditKeyToStorePath(std::u16string_view visiblePath, std::u16string_view currentUserSid,
                           std::u16string* storePath, std::u16string* problem);

}  // namespace Emulated
