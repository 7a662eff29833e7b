// The actions of a scenario that a process performs, through its own view of the
// machine, so that every change reaches the minifilter in its name.

#include "platform/emulated/processes/process_control.h"
#include "platform/text_encoding.h"
#include "sim/file_actions.h"
#include "sim/reg_command.h"
#include "sim/scenario_player.h"

namespace Sim {
namespace {

using Platform::Handle;
using Platform::Win32Error;

bool RegDeleteValues(Platform::Registry& registry, Handle key, const ScenarioAction& a,
                     std::string* problem) {
  std::vector<std::u16string> names;
  if (a.target == ValueTarget::kAllValues) {
    std::u16string name;
    for (uint32_t i = 0; registry.EnumValue(key, i, 16384, &name, nullptr, nullptr, 0, nullptr) ==
                         Platform::kErrorSuccess;
         ++i)
      names.push_back(name);
  } else {
    names.push_back(a.target == ValueTarget::kNamed ? a.valueName : u"");
  }
  for (const std::u16string& name : names) {
    const Win32Error rc = registry.DeleteValue(key, name);
    if (rc != Platform::kErrorSuccess) {
      *problem = ActionFailed("deleting the value", rc);
      return false;
    }
  }
  return true;
}

bool PlayRegistry(Platform::Registry& registry, const ScenarioAction& a, std::string* problem) {
  uint32_t root = 0;
  std::u16string subKey;
  SplitRegistryRoot(a.keyPath, &root, &subKey);
  if (a.kind == ActionKind::kRegDelete && a.target == ValueTarget::kKey) {
    const Win32Error rc = registry.DeleteTree(root, subKey);
    if (rc != Platform::kErrorSuccess) *problem = ActionFailed("deleting the key", rc);
    return rc == Platform::kErrorSuccess;
  }
  Handle key = 0;
  const Win32Error opened = a.kind == ActionKind::kRegAdd
      ? registry.CreateKey(root, subKey, 0, Platform::kKeyAllAccess, &key, nullptr)
      : registry.OpenKey(root, subKey, Platform::kKeyAllAccess, &key);
  if (opened != Platform::kErrorSuccess) {
    *problem = ActionFailed("opening the key", opened);
    return false;
  }
  bool ok = true;
  if (a.kind == ActionKind::kRegDelete) {
    ok = RegDeleteValues(registry, key, a, problem);
  } else if (a.target != ValueTarget::kKey) {
    const Win32Error rc = registry.SetValue(key, a.valueName, a.valueType, a.data);
    ok = rc == Platform::kErrorSuccess;
    if (!ok) *problem = ActionFailed("setting the value", rc);
  }
  registry.CloseKey(key);
  return ok;
}

std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? path : path.substr(0, slash);
}

// A scenario names its threads the way an image names its processes, so that a
// later "thread exit" can refer to them; the id must be free, as Windows ids are.
uint32_t CreateThreadWithId(Emulated::Machine& machine, Emulated::Actor creator, uint32_t id) {
  Emulated::ProcessList& table = machine.ProcessTable();
  if (id == 0 || id % 4 != 0 || table.Find(id) || table.FindThreadOwner(id)) return 0;
  table.AddThread(creator.processId, id);
  machine.Activity().ThreadCreated(creator, id);
  return id;
}

bool PlayProcesses(Emulated::Machine& machine, const Emulated::ProcessRecord& actor,
                   const ScenarioAction& a, std::string* problem, std::string* note) {
  const Emulated::Actor creator{a.processId, a.threadId};
  uint32_t id = 0;
  switch (a.kind) {
    case ActionKind::kProcessStart: {
      Emulated::ProcessLaunch launch{creator, a.image, a.owner.empty() ? actor.ownerSid : a.owner,
                                     a.parent, a.fixedId, FolderOf(a.image), u""};
      id = Emulated::StartProcess(machine, launch);
      if (id != 0) *note = "process " + std::to_string(id) + " started";
      else *problem = "process id " + std::to_string(a.fixedId.value_or(0)) + " is taken";
      return id != 0;
    }
    case ActionKind::kProcessExit:
      if (!Emulated::ExitProcess(machine, a.subjectId)) *problem = "no process " + std::to_string(a.subjectId);
      return problem->empty();
    case ActionKind::kThreadCreate:
      id = a.fixedId ? CreateThreadWithId(machine, creator, *a.fixedId) : Emulated::CreateThread(machine, creator, a.processId);
      if (id == 0) {
        *problem = "thread id " + std::to_string(a.fixedId.value_or(0)) + " is taken";
        return false;
      }
      *note = "thread " + std::to_string(id) + " created in process " + std::to_string(a.processId);
      return id != 0;
    default:
      if (!Emulated::ExitThread(machine, a.subjectId)) *problem = "no thread " + std::to_string(a.subjectId);
      return problem->empty();
  }
}

}  // namespace

std::string ActionFailed(const char* what, Platform::Win32Error code) {
  return std::string(what) + " failed with error " + std::to_string(code);
}

bool PlayProcessAction(Emulated::Machine& machine, const ScenarioAction& action,
                       std::string* problem, std::string* note) {
  const auto actor = machine.ProcessTable().Find(action.processId);
  if (!actor) {
    *problem = "process " + std::to_string(action.processId) + " does not run; line skipped";
    return false;
  }
  Platform::System& view = machine.Process(action.processId, action.threadId);
  switch (action.kind) {
    case ActionKind::kRegAdd:
    case ActionKind::kRegDelete:
      return PlayRegistry(view.Registry(), action, problem);
    case ActionKind::kFileCreate:
    case ActionKind::kFileWrite:
    case ActionKind::kFileRename:
    case ActionKind::kFileDelete:
    case ActionKind::kFileStream:
    case ActionKind::kFileCopy:
      return PlayFileAction(view.Files(), action, problem);
    case ActionKind::kFileHold: {
      const Win32Error rc =
          Emulated::HoldFile(machine, {action.processId, action.threadId}, action.path, action.share);
      if (rc != Platform::kErrorSuccess) *problem = ActionFailed("opening the file to hold", rc);
      return rc == Platform::kErrorSuccess;
    }
    default:
      return PlayProcesses(machine, *actor, action, problem, note);
  }
}

}  // namespace Sim
