#pragma once
// The file actions of a scenario (create, write, stream, rename, delete, copy),
// played through the acting process's view so that the minifilter reports every
// step in its name, the way the same calls on Windows would be reported.

#include <string>

#include "platform/file_system.h"
#include "sim/scenario.h"

namespace Sim {

// False with a message when the machine refused the action.
bool PlayFileAction(Platform::FileSystem& files, const ScenarioAction& action, std::string* problem);

}  // namespace Sim
