#pragma once
// What a change notification makes the service re-read. The rescan's own steps are
// cut into units (one location in one control set or user hive, or one whole family
// such as a control set's services), and the units are grouped by the registry key
// whose notification must re-read them. A notification re-reads exactly the units
// of its key, with the scan routines the full rescan runs.

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/scanner_table.h"
#include "platform/system.h"

namespace Engine {

class LoadPointEngine;

struct ReReadUnit {
  Families::ScanScope scope;
  const Families::ScanLocation* location = nullptr;  // null for a whole-family scope
  std::u16string owner;                    // the control set or the user's SID; empty for the machine
  bool wow64 = 0;                       // the tasks' view
  // The rows the unit reads: (LP_TYPE, USER_ID). Only these can be removed by it.
  std::vector<std::pair<int32_t, std::u16string>> rows;
  std::u16string folder;  // kStartupFolders: the one folder read
  // kClassServers: the load points that name the class (owner: the class's text).
  std::vector<int32_t> loadPointKeys;
};

struct WatchPlan {
  Platform::Handle root;  // HKEY_LOCAL_MACHINE or HKEY_USERS; 0 for a folder
  std::u16string path;    // below root, or the folder's full path
  bool subtree;           // locations read from subkeys need the whole subtree
  std::vector<ReReadUnit> units;
};

// Every key to watch for the machine's control sets and the given user hives (SIDs).
// Helper objects are left out: their own watchers cover them.
std::vector<WatchPlan> MachineKeyWatches(const std::vector<std::u16string>& controlSets);
std::vector<WatchPlan> UserKeyWatches(const std::u16string& sid);
// The common and every profile's startup folder, and the task folders.
std::vector<WatchPlan> FolderWatches(Platform::System& system);

// The watch on a class that a scan follows for a load point: serverPath is the
// class's server key below HKEY_LOCAL_MACHINE (...\CLSID\<class>\InProcServer32).
// The whole class key is watched, its name as well as its server. The scans read a
// class through HKEY_CLASSES_ROOT, which for the service is the machine's classes:
// the key is watched there, in the view (native or 32-bit) the location names.
WatchPlan ClassServerWatch(std::u16string_view serverPath, int32_t loadPointKey);

// Reads one unit and reconciles what it finds, inside a pass that the caller opened.
void ReReadUnitEntries(LoadPointEngine& engine, const ReReadUnit& unit);
// The re-read of a class unit (engine/class_server_reread.cpp).
void ReReadClassServer(LoadPointEngine& engine, const ReReadUnit& unit);

}  // namespace Engine
