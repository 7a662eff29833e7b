#include "ledger/rescan_pass.h"

#include <algorithm>
#include <array>

#include "database/load_point_database.h"
#include "ledger/change_record.h"
#include "ledger/found_change.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/load_point_state.h"
#include "ledger/scan_snapshot.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"
#include "util/vyr_log.h"

using Database::ChangeOrigin;
using Database::LoadPointDatabase;
using Database::LoadPointRows;
using FileInfo::FindProfile;
using FileInfo::IsUserClassesHive;
using FileInfo::IsUserSid;
using FileInfo::LoadProfileTable;

namespace Ledger {

namespace {

// Types whose USER_ID is the SID of a user hive.
constexpr std::array<uint32_t, 8> kPerUserTypes = {3, 4, 6, 14, 38, 46, 49, 56};

bool IsPerUserType(int32_t type) {
  return std::find(kPerUserTypes.begin(), kPerUserTypes.end(), static_cast<uint32_t>(type)) !=
         kPerUserTypes.end();
}

void RebuildUserLists(LedgerContext& context) {
  Platform::System& system = context.System();
  context.UserHives().clear();
  context.UserClassesHives().clear();
  for (const std::u16string& name : VyrUtilities::SubkeyNames(system, Platform::kHkeyUsers)) {
    if (IsUserSid(name)) {
      context.UserHives().insert(name);
    } else if (IsUserClassesHive(name)) {
      context.UserClassesHives().insert(name);
    }
  }
  context.Users().clear();
  LoadProfileTable(system, context.Users());
}

// Rows of a user whose hive is not loaded cannot be seen by this scan, so they are
// not expected and therefore never removed.
void FillPendingKeys(LedgerContext& context, LoadPointDatabase& database) {
  LoadPointRows rows;
  database.RequestLoadPointEntries(rows, true);
  for (uint32_t row = 0; row < rows.Count(); ++row) {
    uint32_t loaded = 1;
    if (IsPerUserType(rows.LP_TYPE(row)) &&
        FindProfile(context.Users(), rows.USER_ID(row), &loaded) && loaded == 0) {
      continue;
    }
    context.ScanState().pendingKeys.insert(rows.KEY(row));
  }
}

void RecordRemoval(LedgerContext& context, LoadPointDatabase& database, const LoadPointRows& row) {
  const int32_t key = row.KEY(0);
  database.DeleteLoadPoint(key);
  FoundChange removal{key,          kEventLoadPointRemoved, static_cast<uint32_t>(row.LP_TYPE(0)),
                      row.ENTRY_NAME(0), row.USER_ID(0),      u"",
                      row.COMMAND_LINE(0), u"",               row.DISPLAY_NAME(0)};
  // A load point switched off while nothing watched: its removal says so.
  removal.stateChange = RemovalStateChangeInScan(context.ScanState(), removal.lpType,
                                                 removal.userId, removal.entryName);
  RecordFoundChange(database, removal, context.ScanState().findingOrigin);
}

// Opens the pass: the transaction, the snapshot read inside it, the flags.
void OpenPass(LedgerContext& context, LoadPointDatabase* database) {
  FullScanState& state = context.ScanState();
  if (database != nullptr) {
    database->BeginTransaction();
    // Read inside the exclusive transaction, so no other writer can change the
    // table between this read and the scan's lookups.
    auto snapshot = std::make_shared<ScanSnapshot>();
    if (snapshot->Load(*database)) state.snapshot = std::move(snapshot);
  }
  state.active = 1;
  state.changed = 0;
}

}  // namespace

void BeginFullScan(LedgerContext& context) {
  FullScanState& state = context.ScanState();
  RebuildUserLists(context);
  state.pendingKeys.clear();
  state.snapshot.reset();
  state.disabled.clear();
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database != nullptr) FillPendingKeys(context, *database);
  OpenPass(context, database);
  state.summarise = 1;
  // The first rescan of an empty record is the baseline: what it finds was there
  // before the record began, so it names no row. Any later pass names each finding.
  const bool baseline = state.snapshot != nullptr && state.snapshot->Size() == 0;
  state.findingOrigin = baseline ? ChangeOrigin::kDriver : ChangeOrigin::kRescan;
}

void BeginReRead(LedgerContext& context, ChangeOrigin origin, const RowScope& inScope) {
  FullScanState& state = context.ScanState();
  state.pendingKeys.clear();
  state.snapshot.reset();
  state.disabled.clear();
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database != nullptr) {
    LoadPointRows rows;
    database->RequestLoadPointEntries(rows, false);
    for (uint32_t row = 0; row < rows.Count(); ++row) {
      if (inScope(rows.LP_TYPE(row), rows.USER_ID(row))) state.pendingKeys.insert(rows.KEY(row));
    }
  }
  OpenPass(context, database);
  state.summarise = 0;
  state.findingOrigin = origin;
}

bool FullScanStopping(LedgerContext& context) {
  return context.ScanState().active == 1 && context.StopRequested();
}

bool EndFullScan(LedgerContext& context) {
  FullScanState& state = context.ScanState();
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database != nullptr) {
    for (int32_t key : state.pendingKeys) {  // the set is ordered: ascending keys
      // A pass that did not see the whole machine must not remove what it missed.
      if (FullScanStopping(context)) {
        AbandonFullScan(context);
        return false;
      }
      LoadPointRows row;
      if (database->FindLoadPointEntry(key, row) == 1) RecordRemoval(context, *database, row);
    }
    database->EndTransaction();
  }
  state.pendingKeys.clear();
  state.snapshot.reset();
  state.active = 0;
  if (state.changed == 1 && state.summarise == 1 && database != nullptr) {
    database->AddChangeEventEntry(u"", 0, 0, kEventRescanChanged);
  }
  return true;
}

// A rescan is meant to run to its end and commit as one pass. When the service is
// stopping it deliberately does neither: waiting for the end kept a stop waiting for
// many seconds on a large machine, past what the service manager allows, and a pass
// committed half way would keep rows it added while never removing the ones it did
// not reach. Rolling back loses nothing: the next start's rescan finds all of it
// again. The transaction's end without a commit is this one call, so whatever else
// lives only as long as a transaction is dropped here too.
void AbandonFullScan(LedgerContext& context) {
  FullScanState& state = context.ScanState();
  if (LoadPointDatabase* database = OpenLoadPointDatabase(context)) {
    // Also drops the connection's in-memory index of load points, which took the
    // pass's inserts and deletes as they ran: the live lookups after the stop read
    // the table as the rollback left it.
    database->RollbackTransaction();
  }
  state.pendingKeys.clear();
  state.snapshot.reset();
  state.active = 0;
  state.changed = 0;
  context.Log().Write(u"FullLoadPointScan: stopped; its changes were rolled back.", 1, 1, 0);
}

}  // namespace Ledger
