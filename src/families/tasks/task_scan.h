#pragma once
// Scheduled tasks as load points: the task cache names each task (a GUID subkey whose
// "Path" names the task), the XML file below the tasks folder says what it runs.
// Type 64 for the native task cache, 65 for the WOW64 one.

#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "intake/location_codes.h"
#include "platform/system.h"

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Matcher code of the class watch of a COM-handler task, native and WOW64 alike.
inline constexpr Intake::MatcherCode kTaskClassMatcherCode = Intake::kTaskCacheCode;

// One task file being examined; local to one call.
struct TaskDefinition {
  pugi::xml_document document;
  int32_t enabled = 0;     // 1 when Task/Settings/Enabled reads "true" in any case
  // 1 when it reads "false": a task switched off. A task without the element is not
  // enabled either, but nothing says it was switched off.
  int32_t disabled = 0;
  int32_t comHandler = 0;  // 1 when the action that counts is a ComHandler
  std::u16string command;  // Exec/Command, or ComHandler/ClassId
  std::u16string arguments;
  std::u16string commandLine;  // command [+ " " + arguments]; empty for a COM handler
};

// The task-cache key below HKEY_LOCAL_MACHINE and the tasks folder for wow64.
std::u16string TaskCacheKeyPath(bool wow64);
std::u16string TasksFolder(Platform::System& system, bool wow64);

// Reads filePath (a path on the machine) through the platform's file system. 1 when
// the file was read and has a root element "Task", else 0. task must be fresh.
int32_t ParseTaskXml(Platform::System& system, TaskDefinition& task,
                     const std::u16string& filePath);

// The rescan step for one task cache: every enabled task that parses is reconciled;
// with startFlag 1 a COM-handler task also gets its class watch and Indirection row.
// Returns the number of tasks reconciled.
int32_t ScanTasks(Ledger::LedgerContext& context, int32_t startFlag, bool wow64);

}  // namespace Families
