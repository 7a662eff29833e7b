// What the deletion of a registry key takes with it: the rows of every load point
// whose entry lived at or below the key.

#include "families/common/key_deletion.h"

#include "database/load_point_database.h"
#include "families/common/load_point_catalogue.h"
#include "intake/brumevale_event.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/text_routines.h"
#include "util/vyr_log.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Intake::BrumevaleRegistryEvent;
using Intake::RegistryKeyPath;
using Intake::kRegistryKeyDeleted;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;
using Ledger::kChangeKindDeleted;

namespace Families {

namespace {

// Appends a removal of row `index` of rows, naming the row by its own columns.
void AppendRowDeletion(LoadPointDatabase& database, uint32_t type, const LoadPointRows& rows,
                       uint32_t index, ChangeRecords& records) {
  const int32_t key = rows.KEY(index);
  database.DeleteLoadPoint(key);
  ChangeRecord& record = records.emplace_back(key);
  record.kind = kChangeKindDeleted;
  record.extendedData->SetLoadPoint(type, rows.ENTRY_NAME(index), rows.USER_ID(index));
  record.extendedData->SetDeleted(rows.COMMAND_LINE(index), rows.DISPLAY_NAME(index));
}

// Every row of the type, of one user or (anyUser) of all users.
void DeleteRowsOfType(LoadPointDatabase& database, uint32_t type, const std::u16string& userId,
                      bool anyUser, ChangeRecords& records) {
  LoadPointRows rows;
  if (database.RequestLoadPointEntries(static_cast<int32_t>(type), rows) != 1) return;
  for (uint32_t i = 0; i < rows.Count(); ++i) {
    if (anyUser || VyrUtilities::EqualsIgnoreCase(rows.USER_ID(i), userId)) {
      AppendRowDeletion(database, type, rows, i, records);
    }
  }
}

// The key that was deleted is the entry's own key (or below it).
void DeleteNamedEntry(LoadPointDatabase& database, uint32_t type, const std::u16string& userId,
                      const std::u16string& name, ChangeRecords& records) {
  LoadPointRows rows;
  if (database.FindLoadPointEntry(static_cast<int32_t>(type), userId, name, rows) != 1) return;
  const int32_t key = rows.KEY(0);
  database.DeleteLoadPoint(key);
  ChangeRecord& record = records.emplace_back(key);
  record.kind = kChangeKindDeleted;
  record.extendedData->SetDeleted(rows.COMMAND_LINE(0), u"");
  record.extendedData->SetLoadPoint(type, name, userId);
}

// "SYSTEM" itself gone: no control set is left to name, so every row of the type
// goes, and the service log says that this happened.
void DeleteAllControlSetRows(LedgerContext& context, LoadPointDatabase& database, uint32_t type,
                             const BrumevaleRegistryEvent& event, ChangeRecords& records) {
  context.Log().Write(u"[WARNING] Unexpected root key deletion: ", 0, 1, 1);
  context.Log().Write(event.KeyPath().ToText(true), 1, 0, 0);
  DeleteRowsOfType(database, type, {}, true, records);
}

}  // namespace

LoadPointDatabase* DatabaseForValueEvent(LedgerContext& context,
                                         const BrumevaleRegistryEvent& event,
                                         ChangeRecords& records) {
  if (event.Operation() == kRegistryKeyDeleted) {
    HandleKeyDeletion(context, event, records);
    return nullptr;
  }
  return OpenLoadPointDatabase(context);
}

void HandleKeyDeletion(LedgerContext& context, const BrumevaleRegistryEvent& event,
                       ChangeRecords& records) {
  if (event.Operation() != kRegistryKeyDeleted || event.ExtraNumber() > 0) return;
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return;
  const uint32_t code = event.MatcherCode();
  const int32_t depth = LoadPointKeyDepth(code);
  if (depth == kKeyDepthIgnore) return;
  const uint32_t type = LoadPointTypeOf(code);
  const RegistryKeyPath& path = event.KeyPath();
  if (IsControlSetType(type) != 0 && path.ComponentCount() < 2) {
    DeleteAllControlSetRows(context, *database, type, event, records);
    return;
  }
  const std::u16string userId = LoadPointUserId(event);
  if (depth > 0 && path.ComponentCount() >= static_cast<size_t>(depth)) {
    DeleteNamedEntry(*database, type, userId, path.Component(depth - 1), records);
    return;
  }
  // The location's own key or a key above it: every entry of the type for the user.
  DeleteRowsOfType(*database, type, userId, false, records);
}

}  // namespace Families
