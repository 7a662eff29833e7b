#pragma once
// How a process's image is named to the outside: in device form for
// GetProcessImageFileName, by file name alone in a toolhelp snapshot.

#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated/machine/machine_config.h"
#include "platform/emulated/processes/process_list.h"

namespace Emulated {

// C:\Windows\explorer.exe -> \Device\HarddiskVolume2\Windows\explorer.exe with the
// machine's drive mapping. The System process has no image file, and gives an empty
// name, as Windows does. nullopt when the drive letter is not mapped.
std::optional<std::u16string> ImageDeviceName(const MachineConfig& config,
                                              std::u16string_view imagePath);

// The exeFile of a snapshot entry. The two pseudo-processes carry the names the
// toolhelp snapshot gives them: "[System Process]" for 0 and "System" for 4.
std::u16string SnapshotExeName(const ProcessRecord& record);

}  // namespace Emulated
