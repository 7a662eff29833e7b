// RunScannerTable: walks the steps of the scanner table over the machine, its
// control sets and its users, and runs the class step of the start-up scan.
// Between two locations it lets the notified re-reads in (notified_reread.cpp).

#include "database/load_point_database.h"
#include "engine/full_scan.h"
#include "engine/load_point_engine.h"
#include "engine/scanner_table.h"
#include "families/browser/browser_helper_objects.h"
#include "families/common/class_indirection.h"
#include "families/common/scan_rules.h"
#include "families/services/service_scan.h"
#include "families/startup_folders/startup_folders.h"
#include "families/tasks/task_scan.h"
#include "fileinfo/user_identity.h"
#include "ledger/rescan_pass.h"
#include "platform/scoped_handle.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Families::ClassFrom;
using Families::IsClassExtension;
using Families::ReadAs;
using Families::RefreshIndirection;
using Families::ScanBrowserHelperObjects;
using Families::ScanControlSetServices;
using Families::ScanLocation;
using Families::ScanNetworkProviders;
using Families::ScanScope;
using Families::ScanStartupFolders;
using Families::ScanTasks;
using Families::ScannerStep;
using FileInfo::IsUserSid;
using Ledger::FullScanStopping;

using VyrUtilities::SubkeyNames;

namespace Engine {

namespace {

// Refreshes the Indirection row and class watch of every stored row of the
// location's type. Extensions that run a script or program name no class.
void RefreshClassesOfType(LoadPointEngine& engine, const ScanLocation& location) {
  LoadPointDatabase* database = engine.Database();
  if (database == nullptr || !database->IsOpen()) return;
  LoadPointRows rows;
  database->RequestLoadPointEntries(static_cast<int32_t>(location.type), rows);
  for (uint32_t row = 0; row < rows.Count(); ++row) {
    if (FullScanStopping(engine)) return;
    if (location.readAs == ReadAs::kExtensions && !IsClassExtension(rows.DISPLAY_NAME(row))) {
      continue;
    }
    const std::u16string classText = location.classFrom == ClassFrom::kEntryName
                                         ? rows.ENTRY_NAME(row)
                                         : rows.COMMAND_LINE(row);
    RefreshIndirection(engine, classText, rows.KEY(row), rows.INDIRECTION_KEY(row),
                       location.matcherCode, location.wow64);
  }
}

// The class step follows a location's scan only at start-up, and for extensions
// only when the pass found one that names a class.
void RefreshClassesAfterScan(LoadPointEngine& engine, const ScanLocation& location,
                             int32_t startFlag, int32_t classEntries) {
  if (startFlag == 0 || location.classFrom == ClassFrom::kNone) return;
  if (location.readAs == ReadAs::kExtensions && classEntries == 0) return;
  RefreshClassesOfType(engine, location);
}

std::u16string MachineKeyPath(const ScanLocation& location) {
  return location.wow64 ? Wow64Path(location.key) : std::u16string(location.key);
}

void ScanMachine(LoadPointEngine& engine, std::span<const ScanLocation> locations,
                 int32_t startFlag) {
  for (const ScanLocation& location : locations) {
    engine.ReReadDuringRescan();
    if (FullScanStopping(engine)) return;
    const int32_t classEntries = ScanLocationEntries(
        engine, location, Platform::kHkeyLocalMachine, MachineKeyPath(location), u"");
    RefreshClassesAfterScan(engine, location, startFlag, classEntries);
  }
}

void ScanControlSets(LoadPointEngine& engine, std::span<const ScanLocation> locations) {
  for (const std::u16string& controlSet : engine.ControlSets()) {
    for (const ScanLocation& location : locations) {
      engine.ReReadDuringRescan();
      if (FullScanStopping(engine)) return;
      ScanLocationEntries(engine, location, Platform::kHkeyLocalMachine,
                          u"SYSTEM\\" + controlSet + u"\\" + location.key, controlSet);
    }
  }
}

// Every loaded user hive, each location in turn; the class step runs once for all
// users, since it covers every stored row of the type anyway.
void ScanUserHives(LoadPointEngine& engine, std::span<const ScanLocation> locations,
                   int32_t startFlag) {
  Platform::System& system = engine.System();
  Platform::Registry& registry = system.Registry();
  std::vector<int32_t> classEntries(locations.size(), 0);
  for (const std::u16string& sid : SubkeyNames(system, Platform::kHkeyUsers)) {
    if (!IsUserSid(sid)) continue;
    if (FullScanStopping(engine)) return;
    Platform::ScopedKey hive;
    if (registry.OpenKey(Platform::kHkeyUsers, sid, Platform::kKeyRead, hive.Receive(registry)) !=
        Platform::kErrorSuccess) {
      continue;
    }
    for (size_t i = 0; i < locations.size(); ++i) {
      engine.ReReadDuringRescan();
      classEntries[i] += ScanLocationEntries(engine, locations[i], hive.Get(), locations[i].key, sid);
    }
  }
  for (size_t i = 0; i < locations.size(); ++i) {
    RefreshClassesAfterScan(engine, locations[i], startFlag, classEntries[i]);
  }
}

void RunStep(LoadPointEngine& engine, const ScannerStep& step, int32_t startFlag) {
  switch (step.scope) {
    case ScanScope::kMachine:
      ScanMachine(engine, step.locations, startFlag);
      break;
    case ScanScope::kPerControlSet:
      ScanControlSets(engine, step.locations);
      break;
    case ScanScope::kUserHives:
      ScanUserHives(engine, step.locations, startFlag);
      break;
    case ScanScope::kNetworkProviders:
      for (const std::u16string& controlSet : engine.ControlSets()) {
        engine.ReReadDuringRescan();
        ScanNetworkProviders(engine, controlSet);
      }
      break;
    case ScanScope::kServices:
      for (const std::u16string& controlSet : engine.ControlSets()) {
        engine.ReReadDuringRescan();
        ScanControlSetServices(engine, controlSet);
      }
      break;
    case ScanScope::kTasksWow64:
      ScanTasks(engine, startFlag, true);
      break;
    case ScanScope::kTasksNative:
      ScanTasks(engine, startFlag, false);
      break;
    case ScanScope::kBrowserHelperObjects:
      ScanBrowserHelperObjects(engine, startFlag, 0);
      break;
    case ScanScope::kStartupFolders:
      ScanStartupFolders(engine);
      break;
    case ScanScope::kClassServers:
    case ScanScope::kChecks:
      break;
  }
}

}  // namespace

void RunScannerTable(LoadPointEngine& engine, int32_t startFlag) {
  for (const ScannerStep& step : ScannerTable()) {
    engine.ReReadDuringRescan();
    if (FullScanStopping(engine)) return;
    RunStep(engine, step, startFlag);
  }
}

}  // namespace Engine
