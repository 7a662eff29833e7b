#include "engine/notification_units.h"

#include <map>
#include <tuple>

#include "engine/check_findings.h"
#include "engine/load_point_engine.h"
#include "families/common/scan_rules.h"
#include "families/file_extensions/file_extensions.h"
#include "families/services/service_scan.h"
#include "families/startup_folders/startup_folders.h"
#include "families/settings/system_settings.h"
#include "families/tasks/task_scan.h"
#include "fileinfo/profile_folders.h"
#include "util/path_routines.h"
#include "util/text_routines.h"
#include "platform/scoped_handle.h"

using Families::CheckedClassKey;
using Families::FileExtensionCheckedKeys;
using Families::ReadAs;
using Families::ScanControlSetServices;
using Families::ScanLocation;
using Families::ScanNetworkProviders;
using Families::ScanScope;
using Families::ScanStartupFolder;
using Families::ScanTasks;
using Families::ScannerStep;
using Families::SettingScope;
using Families::StepWatch;
using Families::SystemSettingDefinition;
using Families::SystemSettingTable;
using Families::TasksFolder;
using FileInfo::ListProfileFolders;
using FileInfo::ProfilesRoot;
using FileInfo::UserStartupSuffix;
using enum Intake::LoadPointType;

namespace Engine {

namespace {

// Values read from the key itself need only the key; the other ways of reading
// look into subkeys.
bool ReadsSubkeys(ReadAs readAs) {
  return readAs != ReadAs::kValues && readAs != ReadAs::kNamedValue && readAs != ReadAs::kList;
}

std::u16string MachineKeyPath(const ScanLocation& location) {
  return location.wow64 ? Wow64Path(location.key) : std::u16string(location.key);
}

// Collects units under their key; units of one key keep the rescan's order.
class WatchList {
 public:
  void Add(Platform::Handle root, std::u16string path, bool subtree, ReReadUnit unit) {
    const auto id = std::make_tuple(root, path, subtree);
    auto [found, added] = index_.emplace(id, plans_.size());
    if (added) plans_.push_back({root, std::move(path), subtree, {}});
    plans_[found->second].units.push_back(std::move(unit));
  }
  std::vector<WatchPlan> Take() { return std::move(plans_); }

 private:
  std::map<std::tuple<Platform::Handle, std::u16string, bool>, size_t> index_;
  std::vector<WatchPlan> plans_;
};

ReReadUnit LocationUnit(ScanScope scope, const ScanLocation& location, const std::u16string& owner) {
  return {scope, &location, owner, location.wow64, {{static_cast<int32_t>(location.type), owner}}};
}

void AddStepWatch(WatchList& list, const StepWatch& watch, const std::u16string& owner,
                  std::u16string path) {
  ReReadUnit unit{watch.reread, nullptr, owner, watch.wow64, {}};
  for (uint32_t type : watch.types) unit.rows.emplace_back(static_cast<int32_t>(type), owner);
  list.Add(Platform::kHkeyLocalMachine, std::move(path), true, std::move(unit));
}

// The keys a whole-family step declares: per control set, each control set's keys in
// turn; else the machine's.
void AddStepWatches(WatchList& list, const ScannerStep& step,
                    const std::vector<std::u16string>& controlSets) {
  for (const std::u16string& controlSet : controlSets) {
    for (const StepWatch& watch : step.watches) {
      if (!watch.perControlSet) continue;
      AddStepWatch(list, watch, controlSet, u"SYSTEM\\" + controlSet + u"\\" + watch.key);
    }
  }
  for (const StepWatch& watch : step.watches) {
    if (!watch.perControlSet) AddStepWatch(list, watch, u"", watch.key);
  }
}

// The keys the settings and file-extension checks read: those of the settings that
// a registry event reports, and the handlers of ".exe" and "exefile" (below
// "SOFTWARE\Classes" for the machine, at the top of a user's classes hive). Any
// change there re-reads both checks, which are small.
void AddChecks(WatchList& list, Platform::Handle root, const std::u16string& prefix,
               const std::u16string& classesPrefix, SettingScope scope) {
  const ReReadUnit unit{ScanScope::kChecks, nullptr, u"", 0, {}};
  for (const SystemSettingDefinition& setting : SystemSettingTable()) {
    if (setting.scope == scope && setting.matcherCode != 0) {
      list.Add(root, prefix + setting.keyPath, false, unit);
    }
  }
  for (const CheckedClassKey& checked : FileExtensionCheckedKeys()) {
    list.Add(root, classesPrefix + checked.key, checked.subtree, unit);
  }
}

}  // namespace

std::vector<WatchPlan> MachineKeyWatches(const std::vector<std::u16string>& controlSets) {
  WatchList list;
  for (const ScannerStep& step : ScannerTable()) {
    switch (step.scope) {
      case ScanScope::kMachine:
        for (const ScanLocation& location : step.locations) {
          list.Add(Platform::kHkeyLocalMachine, MachineKeyPath(location),
                   ReadsSubkeys(location.readAs), LocationUnit(step.scope, location, u""));
        }
        break;
      case ScanScope::kPerControlSet:
        for (const std::u16string& controlSet : controlSets) {
          for (const ScanLocation& location : step.locations) {
            list.Add(Platform::kHkeyLocalMachine, u"SYSTEM\\" + controlSet + u"\\" + location.key,
                     ReadsSubkeys(location.readAs), LocationUnit(step.scope, location, controlSet));
          }
        }
        break;
      default:  // users: per hive; helper objects: their own watchers; folders: folder
                // watches; the whole-family steps: the keys they declare
        AddStepWatches(list, step, controlSets);
        break;
    }
  }
  AddChecks(list, Platform::kHkeyLocalMachine, u"", u"SOFTWARE\\Classes\\", SettingScope::kMachine);
  return list.Take();
}

std::vector<WatchPlan> UserKeyWatches(const std::u16string& sid) {
  WatchList list;
  for (const ScannerStep& step : ScannerTable()) {
    if (step.scope != ScanScope::kUserHives) continue;
    for (const ScanLocation& location : step.locations) {
      list.Add(Platform::kHkeyUsers, sid + u"\\" + location.key, ReadsSubkeys(location.readAs),
               LocationUnit(step.scope, location, sid));
    }
  }
  AddChecks(list, Platform::kHkeyUsers, sid + u"\\", sid + u"_Classes\\", SettingScope::kUser);
  return list.Take();
}

std::vector<WatchPlan> FolderWatches(Platform::System& system) {
  std::vector<WatchPlan> plans;
  const auto add = [&plans](std::u16string folder, ReReadUnit unit) {
    if (folder.empty()) return;
    unit.folder = folder;
    plans.push_back({0, std::move(folder), unit.scope != ScanScope::kStartupFolders, {std::move(unit)}});
  };
  add(VyrUtilities::GetSpecialFolder(system, Platform::kCsidlCommonStartup),
      {ScanScope::kStartupFolders, nullptr, u"", 0, {{static_cast<int32_t>(kCommonStartupType), u""}}});
  const std::u16string root = ProfilesRoot(system);
  const std::u16string suffix = UserStartupSuffix(system);
  for (const std::u16string& name : ListProfileFolders(system)) {
    // The "All Users" profile holds the common folder, watched above as such.
    if (VyrUtilities::EqualsIgnoreCase(name, u"All Users")) continue;
    add(root + u"\\" + name + suffix,
        {ScanScope::kStartupFolders, nullptr, name, 0, {{static_cast<int32_t>(kUserStartupType), name}}});
  }
  for (bool wow64 : {false, true}) {
    const uint32_t type = wow64 ? kWow64TaskType : kNativeTaskType;
    add(TasksFolder(system, wow64), {wow64 ? ScanScope::kTasksWow64 : ScanScope::kTasksNative,
                                     nullptr, u"", wow64, {{static_cast<int32_t>(type), u""}}});
  }
  return plans;
}

WatchPlan ClassServerWatch(std::u16string_view serverPath, int32_t loadPointKey) {
  const std::u16string_view classKey = serverPath.substr(0, serverPath.rfind(u'\\'));
  const std::u16string_view classText = classKey.substr(classKey.rfind(u'\\') + 1);
  const bool wow64 = classKey.find(u"\\Wow6432Node\\") != std::u16string_view::npos;
  ReReadUnit unit{ScanScope::kClassServers, nullptr, std::u16string(classText), wow64, {}, u"", {loadPointKey}};
  return {Platform::kHkeyLocalMachine, std::u16string(classKey), true, {std::move(unit)}};
}

void ReReadUnitEntries(LoadPointEngine& engine, const ReReadUnit& unit) {
  Platform::Registry& registry = engine.System().Registry();
  switch (unit.scope) {
    case ScanScope::kMachine:
      ScanLocationEntries(engine, *unit.location, Platform::kHkeyLocalMachine,
                          MachineKeyPath(*unit.location), u"");
      break;
    case ScanScope::kPerControlSet:
      ScanLocationEntries(engine, *unit.location, Platform::kHkeyLocalMachine,
                          u"SYSTEM\\" + unit.owner + u"\\" + unit.location->key, unit.owner);
      break;
    case ScanScope::kUserHives: {
      Platform::ScopedKey hive;
      if (registry.OpenKey(Platform::kHkeyUsers, unit.owner, Platform::kKeyRead,
                           hive.Receive(registry)) == Platform::kErrorSuccess) {
        ScanLocationEntries(engine, *unit.location, hive.Get(), unit.location->key, unit.owner);
      }
      break;
    }
    case ScanScope::kServices:
      ScanControlSetServices(engine, unit.owner);
      break;
    case ScanScope::kNetworkProviders:
      ScanNetworkProviders(engine, unit.owner);
      break;
    case ScanScope::kTasksWow64:
    case ScanScope::kTasksNative:
      ScanTasks(engine, 0, unit.wow64);
      break;
    case ScanScope::kStartupFolders:
      ScanStartupFolder(engine, unit.folder, static_cast<uint32_t>(unit.rows.at(0).first), unit.owner);
      break;
    case ScanScope::kClassServers:
      ReReadClassServer(engine, unit);
      break;
    case ScanScope::kChecks:
      ReReadChecks(engine);
      break;
    case ScanScope::kBrowserHelperObjects:
      break;
  }
}

}  // namespace Engine
