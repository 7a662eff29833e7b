#pragma once
// The environment block a process of the machine sees: the machine-wide variables
// of a Windows 10 installation on the system drive (the configuration overrides and
// adds), then the variables of the process owner's profile.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/emulated/machine/machine_config.h"

namespace Emulated {

using EnvironmentBlock = std::vector<std::pair<std::u16string, std::u16string>>;

// The profile folder of an account: a configured user's profilePath, the well-known
// service accounts' folders under the Windows directory, and for an unknown account
// the folder Windows would give it under C:\Users.
std::u16string ProfilePathOf(const MachineConfig& config, std::u16string_view sid);

// Every variable for a process owned by ownerSid, owner's account name and domain
// given (as the process list knows them).
EnvironmentBlock BuildEnvironment(const MachineConfig& config, std::u16string_view ownerSid,
                                  std::u16string_view userName, std::u16string_view domain);

// Names compare ignoring ASCII case.
std::optional<std::u16string> FindVariable(const EnvironmentBlock& block, std::u16string_view name);

// ExpandEnvironmentStrings' substitution: %NAME% of a known variable becomes its value;
// an unknown %NAME% and a "%" without a closing one stay as written.
std::u16string ExpandVariables(std::u16string_view text, const EnvironmentBlock& block);

}  // namespace Emulated
