#pragma once
// 8.3 short names as the Windows file system makes them for long names:
// "Program Files" -> "PROGRA~1", "Program Files (x86)" -> "PROGRA~2" beside it.

#include <functional>
#include <string>
#include <string_view>

namespace Emulated {

// True when name is already a valid 8.3 name ignoring case ("Desktop", "ntuser.dat");
// such names get no separate short name, as on NTFS.
bool IsShortNameCompliant(std::u16string_view name);

// The short name for longName, choosing the lowest tail "~N" for which taken(candidate)
// is false. taken receives upper-case candidates.
std::u16string MakeShortName(std::u16string_view longName,
                             const std::function<bool(std::u16string_view)>& taken);

}  // namespace Emulated
