// Load points that are one registry value: Run keys, named Winlogon values,
// debuggers, protocol handlers, icon overlays and the values that name a COM class.

#include <string>

#include "database/load_point_database.h"
#include "families/common/class_indirection.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "families/services/service_scan.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/text_routines.h"
#include "util/vyr_log.h"

using Database::IndirectionRows;
using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Intake::BrumevaleRegistryEvent;
using Intake::kRegistryKeyDeleted;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;
using enum Intake::MatcherCode;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::LoadPointExtEventData;
using Ledger::OpenLoadPointDatabase;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindDeleted;
using Ledger::kChangeKindNone;

namespace Families {

namespace {

struct ClassLocation {
  ClassFrom source;
  bool wow64;  // the class is registered below Wow6432Node
};

// Where a location names its COM class: the scan row of the code says so. A
// departure from those rows, kept as the service has always behaved: a change to a
// user's browser extension does not refresh the class it names (the rescan at
// start-up does), so that a live change writes no Indirection row for it.
ClassLocation ClassLocationOf(uint32_t code) {
  const ScanLocation* location = FindClassScanLocation(code);
  if (location == nullptr || code == kUserIeExtensionCode) return {ClassFrom::kNone, false};
  return {location->classFrom, location->wow64};
}

struct ValueChange {
  int32_t key = 0;
  uint32_t kind = kChangeKindNone;
  std::u16string oldCommandLine;
  std::u16string oldDisplayName;
};

// Compares the value with its row and writes what differs.
ValueChange ApplyValueEvent(LedgerContext& context, LoadPointDatabase& database,
                            const BrumevaleRegistryEvent& event, uint32_t type,
                            const std::u16string& userId, const std::u16string& name) {
  ValueChange change;
  LoadPointRows rows;
  const bool found =
      database.FindLoadPointEntry(static_cast<int32_t>(type), userId, name, rows) == 1;
  if (found) {
    change.key = rows.KEY(0);
    change.oldCommandLine = rows.COMMAND_LINE(0);
    change.oldDisplayName = rows.DISPLAY_NAME(0);
  }
  const std::u16string& data = event.GetValueText(0);
  if (event.Operation() == kRegistryValueSet) {
    if (!found) {
      change.key = database.AddLoadPointEntry(static_cast<int32_t>(type), userId, name, data, u"");
      if (change.key >= 1) change.kind = kChangeKindAdded;
    } else if (!VyrUtilities::EqualsIgnoreCase(change.oldCommandLine, data)) {
      database.UpdateLoadPointEntry(change.key, data);
      change.kind = kChangeKindChanged;
    }
  } else if (event.Operation() == kRegistryValueDeleted && found) {
    database.DeleteLoadPoint(change.key);
    change.kind = kChangeKindDeleted;
  }
  return change;
}

}  // namespace

void HandleValueLoadPoint(LedgerContext& context, const BrumevaleRegistryEvent& event,
                          ChangeRecords& records) {
  LoadPointDatabase* database = DatabaseForValueEvent(context, event, records);
  if (database == nullptr) return;
  const uint32_t type = LoadPointTypeOf(event.MatcherCode());
  const std::u16string userId = LoadPointUserId(event);
  const std::u16string name = LoadPointEntryName(context.System(), event);
  const ValueChange change = ApplyValueEvent(context, *database, event, type, userId, name);
  if (change.key < 1 || change.kind == kChangeKindNone) return;
  ChangeRecord record(change.key);
  record.kind = change.kind;
  LoadPointExtEventData& data = *record.extendedData;
  if (change.kind != kChangeKindDeleted) {
    RefreshClassIndirection(context, event, &data, change.key);
  }
  data.SetLoadPoint(type, name, userId);
  const std::u16string& value = event.GetValueText(0);
  if (change.kind == kChangeKindChanged) data.SetChanged(value, change.oldCommandLine, u"");
  if (change.kind == kChangeKindAdded) data.SetAdded(value, u"");
  if (change.kind == kChangeKindDeleted) data.SetDeleted(change.oldCommandLine, change.oldDisplayName);
  records.push_back(std::move(record));
}

int32_t RefreshClassIndirection(LedgerContext& context, const BrumevaleRegistryEvent& event,
                                LoadPointExtEventData* extendedData, int32_t loadPointKey) {
  const ClassLocation location = ClassLocationOf(event.MatcherCode());
  if (location.source == ClassFrom::kNone) return 0;
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return 1;
  const std::u16string classText = location.source == ClassFrom::kCommandLine
                                       ? event.GetValueText(0)
                                       : LoadPointEntryName(context.System(), event);
  LoadPointRows rows;
  const int32_t indirectionKey =
      database->FindLoadPointEntry(loadPointKey, rows) == 1 ? rows.INDIRECTION_KEY(0) : 0;
  RefreshIndirection(context, classText, loadPointKey, indirectionKey, event.MatcherCode(),
                     location.wow64);
  IndirectionRows indirection;
  if (extendedData != nullptr && database->FindIndirectionEntry(loadPointKey, indirection) == 1) {
    extendedData->SetParam(1, indirection.ENTRY_NAME(0));
    extendedData->SetParam(4, indirection.COMMAND_LINE(0));
  }
  return 1;
}

void HandleBhoEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                    ChangeRecords& records) {
  // Value changes below a helper object's key are the watcher threads' to find.
  if (event.Operation() == kRegistryKeyDeleted) HandleKeyDeletion(context, event, records);
}

}  // namespace Families
