#include "scans/full_scan.h"

#include <algorithm>
#include <array>

#include "database/load_point_database.h"
#include "engine/change_record.h"
#include "engine/load_point_engine.h"
#include "platform/scoped_handle.h"
#include "scans/scan_rules.h"
#include "scans/scan_snapshot.h"
#include "scans/scanner_table.h"
#include "util/text_routines.h"

namespace {

// Types whose USER_ID is the SID of a user hive.
constexpr std::array<uint32_t, 8> kPerUserTypes = {3, 4, 6, 14, 38, 46, 49, 56};
// Startup-folder entries: their handlers treat "found again" as a change.
constexpr uint32_t kCommonStartupFolderType = 27;
constexpr uint32_t kUserStartupFolderType = 28;

LoadPointDatabase* OpenDatabase(LoadPointEngine& engine) {
  LoadPointDatabase* database = engine.Database();
  return database != nullptr && database->IsOpen() ? database : nullptr;
}

bool IsPerUserType(int32_t type) {
  return std::find(kPerUserTypes.begin(), kPerUserTypes.end(), static_cast<uint32_t>(type)) !=
         kPerUserTypes.end();
}

void RebuildUserLists(LoadPointEngine& engine) {
  Platform::System& system = engine.System();
  engine.UserHives().clear();
  engine.UserClassesHives().clear();
  for (const std::u16string& name : SubkeyNames(system, Platform::kHkeyUsers)) {
    if (IsUserSid(name)) {
      engine.UserHives().insert(name);
    } else if (IsUserClassesHive(name)) {
      engine.UserClassesHives().insert(name);
    }
  }
  engine.Users().clear();
  LoadProfileTable(system, engine.Users());
}

// Rows of a user whose hive is not loaded cannot be seen by this scan, so they are
// not expected and therefore never removed.
void FillPendingKeys(LoadPointEngine& engine, LoadPointDatabase& database) {
  LoadPointRows rows;
  database.RequestLoadPointEntries(rows, true);
  for (uint32_t row = 0; row < rows.Count(); ++row) {
    uint32_t loaded = 1;
    if (IsPerUserType(rows.LP_TYPE(row)) &&
        FindProfile(engine.Users(), rows.USER_ID(row), &loaded) && loaded == 0) {
      continue;
    }
    engine.ScanState().pendingKeys.insert(rows.KEY(row));
  }
}

void RecordRemoval(LoadPointDatabase& database, const LoadPointRows& row) {
  const int32_t key = row.KEY(0);
  database.DeleteLoadPoint(key);
  const int32_t eventKey = database.AddChangeEventEntry(u"", key, 0, kEventLoadPointRemoved);
  ExtendedEventData removed;
  removed.changeEventKey = eventKey;
  removed.extendedEventType = kExtendedDeleted;
  removed.SetParam(0, VyrUtilities::IntToText(row.LP_TYPE(0), 10));
  removed.SetParam(1, row.ENTRY_NAME(0));
  removed.SetParam(2, row.USER_ID(0));
  removed.SetParam(4, row.COMMAND_LINE(0));
  database.AddExtendedEventEntry(removed);
}


// The row the identity lookup returns first, read into row; null when there is none.
ScanSnapshot::Row* FindStoredRow(LoadPointDatabase& database, int32_t type,
                                 const std::u16string& userId, const std::u16string& entryName,
                                 ScanSnapshot::Row& row) {
  LoadPointRows rows;
  if (database.FindLoadPointEntry(type, userId, entryName, rows) != 1) return nullptr;
  row = {rows.KEY(0), rows.COMMAND_LINE(0), rows.DISPLAY_NAME(0)};
  return &row;
}

// Writes a command line or display name that differs from the stored one other than
// in letter case; 2 when one was written, else 1. stored follows what the database
// holds: a failed update leaves it as it was.
int32_t UpdateStoredRow(LoadPointDatabase& database, ScanSnapshot::Row& stored,
                        const std::u16string& commandLine, const std::u16string& displayName) {
  int32_t result = 1;
  if (!VyrUtilities::EqualsIgnoreCase(stored.commandLine, commandLine)) {
    if (database.UpdateLoadPointEntry(stored.key, commandLine) == 1) stored.commandLine = commandLine;
    result = 2;
  }
  if (!VyrUtilities::EqualsIgnoreCase(stored.displayName, displayName)) {
    if (database.UpdateLoadPointDisplayName(stored.key, displayName) == 1) {
      stored.displayName = displayName;
    }
    result = 2;
  }
  return result;
}

}  // namespace

int32_t FullLoadPointScan(LoadPointEngine& engine, int32_t startFlag) {
  BeginFullScan(engine);
  RunScannerTable(engine, startFlag);
  EndFullScan(engine);
  return 1;
}

void BeginFullScan(LoadPointEngine& engine) {
  FullScanState& state = engine.ScanState();
  RebuildUserLists(engine);
  state.pendingKeys.clear();
  state.snapshot.reset();
  if (LoadPointDatabase* database = OpenDatabase(engine)) {
    FillPendingKeys(engine, *database);
    database->BeginTransaction();
    // Read inside the exclusive transaction, so no other writer can change the
    // table between this read and the scan's lookups.
    auto snapshot = std::make_shared<ScanSnapshot>();
    if (snapshot->Load(*database)) state.snapshot = std::move(snapshot);
  }
  state.active = 1;
  state.changed = 0;
}

void EndFullScan(LoadPointEngine& engine) {
  FullScanState& state = engine.ScanState();
  LoadPointDatabase* database = OpenDatabase(engine);
  if (database != nullptr) {
    for (int32_t key : state.pendingKeys) {  // the set is ordered: ascending keys
      LoadPointRows row;
      if (database->FindLoadPointEntry(key, row) == 1) RecordRemoval(*database, row);
    }
    database->EndTransaction();
  }
  state.pendingKeys.clear();
  state.snapshot.reset();
  state.active = 0;
  if (state.changed == 1 && database != nullptr) {
    database->AddChangeEventEntry(u"", 0, 0, kEventRescanChanged);
  }
}

int32_t ReconcileLoadPoint(LoadPointEngine& engine, uint32_t type, const std::u16string& userId,
                           const std::u16string& entryName, const std::u16string& commandLine,
                           const std::u16string& displayName, int32_t* outKey) {
  LoadPointDatabase* database = OpenDatabase(engine);
  if (database == nullptr || entryName.empty()) return 1;
  FullScanState& state = engine.ScanState();
  const auto lpType = static_cast<int32_t>(type);
  ScanSnapshot* snapshot = state.active == 1 ? state.snapshot.get() : nullptr;
  ScanSnapshot::Row direct;
  ScanSnapshot::Row* stored = snapshot != nullptr
                                  ? snapshot->Find(lpType, userId, entryName)
                                  : FindStoredRow(*database, lpType, userId, entryName, direct);
  int32_t result = 1;
  if (stored != nullptr) {
    if (outKey != nullptr) *outKey = stored->key;
    result = UpdateStoredRow(*database, *stored, commandLine, displayName);
    if (result == 1 && state.active == 0) {
      result = type == kCommonStartupFolderType || type == kUserStartupFolderType ? 2 : 6;
    }
    if (state.active == 1) state.pendingKeys.erase(stored->key);
  } else {
    const int32_t key =
        database->AddLoadPointEntry(lpType, userId, entryName, commandLine, displayName);
    if (outKey != nullptr) *outKey = key;
    // A failed insert left no row, so a later sighting must try again.
    if (snapshot != nullptr && key != -1) {
      snapshot->Add(lpType, userId, entryName, {key, commandLine, displayName});
    }
    result = 5;
  }
  if ((result == 2 || result == 5) && state.active == 1) state.changed = 1;
  return result;
}

int32_t RecordChangeEvent(LoadPointEngine& engine, const std::u16string& eventTime,
                          int32_t targetKey, int32_t processKey, uint32_t eventType,
                          ExtendedEventData* extendedData) {
  LoadPointDatabase* database = OpenDatabase(engine);
  if (database == nullptr) return 0;
  database->BeginTransaction();
  const int32_t eventKey = database->AddChangeEventEntry(eventTime, targetKey, processKey,
                                                         static_cast<int32_t>(eventType));
  if (eventKey > 0) {
    if (eventType == kEventSystemSettingChanged) {
      database->UpdateSystemSettingEntry(targetKey, eventKey);
    } else if (eventType == kEventFileExtensionSet) {
      database->UpdateFileExtensionEntry(targetKey, eventKey);
    } else if (eventType != kEventFileExtensionDeleted) {
      // A deleted file-extension entry has no row left to link.
      database->UpdateLoadPointEntry(targetKey, eventKey);
    }
    if (extendedData != nullptr && extendedData->extendedEventType != 0) {
      extendedData->changeEventKey = eventKey;
      extendedData->SetParam(3, VyrUtilities::IntToText(processKey, 10));
      database->AddExtendedEventEntry(*extendedData);
    }
  }
  database->EndTransaction();
  return eventKey;
}
