#include "ledger/load_point_ledger.h"

#include "database/load_point_database.h"
#include "intake/location_codes.h"
#include "ledger/change_record.h"
#include "ledger/found_change.h"
#include "ledger/load_point_state.h"
#include "ledger/ledger_context.h"
#include "ledger/live_batch.h"
#include "ledger/scan_snapshot.h"
#include "util/text_routines.h"

using Database::ChangeOrigin;
using Database::ExtendedEventData;
using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Database::LoadPointStateChange;
using enum Intake::LoadPointType;

namespace Ledger {

namespace {

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
Reconciled UpdateStoredRow(LoadPointDatabase& database, ScanSnapshot::Row& stored,
                           const std::u16string& commandLine, const std::u16string& displayName) {
  Reconciled result = Reconciled::kUnchanged;
  if (!VyrUtilities::EqualsIgnoreCase(stored.commandLine, commandLine)) {
    if (database.UpdateLoadPointEntry(stored.key, commandLine) == 1) stored.commandLine = commandLine;
    result = Reconciled::kChanged;
  }
  if (!VyrUtilities::EqualsIgnoreCase(stored.displayName, displayName)) {
    if (database.UpdateLoadPointDisplayName(stored.key, displayName) == 1) {
      stored.displayName = displayName;
    }
    result = Reconciled::kChanged;
  }
  return result;
}

// A re-read that is not the baseline names each row it adds or changes with an event
// of its own. A departure from the documented rescan, which records one summary
// event and leaves the row pointing at its last live event: that pointer then
// credited an offline change to the process that made the one before.
void NameFinding(LedgerContext& context, LoadPointDatabase& database, Reconciled result,
                 FoundChange change) {
  const FullScanState& state = context.ScanState();
  if (state.active != 1 || state.findingOrigin == ChangeOrigin::kDriver) return;
  if ((result != Reconciled::kChanged && result != Reconciled::kAdded) || change.loadPointKey <= 0) {
    return;
  }
  change.eventType = result == Reconciled::kAdded ? kEventLoadPointAdded : kEventLoadPointChanged;
  if (result == Reconciled::kAdded) {
    change.stateChange = ReturnStateChange(database, change.lpType, change.userId,
                                           {change.entryName, change.displayName});
  }
  RecordFoundChange(database, change, state.findingOrigin);
}

}  // namespace

LoadPointDatabase* OpenLoadPointDatabase(LedgerContext& context) {
  LoadPointDatabase* database = context.Database();
  return database != nullptr && database->IsOpen() ? database : nullptr;
}

Reconciled ReconcileLoadPoint(LedgerContext& context, uint32_t type, const std::u16string& userId,
                           const std::u16string& entryName, const std::u16string& commandLine,
                           const std::u16string& displayName, int32_t* outKey) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr || entryName.empty()) return Reconciled::kUnchanged;
  FullScanState& state = context.ScanState();
  const auto lpType = static_cast<int32_t>(type);
  ScanSnapshot* snapshot = state.active == 1 ? state.snapshot.get() : nullptr;
  ScanSnapshot::Row direct;
  ScanSnapshot::Row* stored = snapshot != nullptr
                                  ? snapshot->Find(lpType, userId, entryName)
                                  : FindStoredRow(*database, lpType, userId, entryName, direct);
  Reconciled result = Reconciled::kUnchanged;
  FoundChange finding{0, 0, type, entryName, userId, commandLine, u"", displayName, u""};
  if (stored != nullptr) {
    if (outKey != nullptr) *outKey = stored->key;
    finding.loadPointKey = stored->key;
    finding.oldValue = stored->commandLine;
    finding.oldDisplayName = stored->displayName;
    result = UpdateStoredRow(*database, *stored, commandLine, displayName);
    if (result == Reconciled::kUnchanged && state.active == 0) {
      result = type == kCommonStartupType || type == kUserStartupType
                   ? Reconciled::kChanged
                   : Reconciled::kUnchangedLive;
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
    finding.loadPointKey = key;
    result = Reconciled::kAdded;
  }
  if ((result == Reconciled::kChanged || result == Reconciled::kAdded) && state.active == 1) {
    state.changed = 1;
  }
  NameFinding(context, *database, result, std::move(finding));
  return result;
}

int32_t RecordChangeEvent(LedgerContext& context, const std::u16string& eventTime,
                          int32_t targetKey, int32_t processKey, uint32_t eventType,
                          ExtendedEventData* extendedData) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return 0;
  // Inside a live batch the event commits with the rows it describes, in the batch's
  // transaction. Elsewhere (the checks after a rescan, the helper-object watcher) it
  // is a transaction of its own, whose begin also completes a schema that a full
  // disk left unfinished.
  const bool own = !LiveBatch::Open();
  if (own) database->BeginTransaction();
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
    // A disable or a return from one: its mark, in the same transaction. An event
    // without a process is a rescan's finding.
    if (extendedData != nullptr && extendedData->stateChange != LoadPointStateChange::kNone) {
      database->AddEventOriginEntry(
          eventKey, processKey > 0 ? ChangeOrigin::kDriver : ChangeOrigin::kRescan,
          extendedData->stateChange);
    }
  }
  if (own) database->EndTransaction();
  return eventKey;
}

}  // namespace Ledger
