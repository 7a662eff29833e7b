#pragma once
// The "reg add" and "reg delete" lines of a scenario, in the syntax of Windows'
// reg.exe: reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f],
// reg delete KEY [/v NAME | /ve | /va] [/f].

#include <string>
#include <vector>

#include "sim/scenario.h"

namespace Sim {

// words start after "reg". Fills the registry fields of action; false with a
// message on a malformed command.
bool ParseRegCommand(const std::vector<std::string>& words, ScenarioAction* action,
                     std::string* error);

// "HKLM\Software\x" split into its predefined root and the path below it.
bool SplitRegistryRoot(std::u16string_view keyPath, uint32_t* root, std::u16string* subKey);

}  // namespace Sim
