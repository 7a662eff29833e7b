// Load points that are the items of one list value ("Userinit", "AppInit_DLLs", the
// LSA packages, "BootExecute" and the like). An item is added or removed, never
// changed. The rescan's list step reconciles through ReconcileListItems as well, so
// both paths read a list the same way.

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "database/load_point_database.h"
#include "families/common/class_indirection.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "families/common/scan_rules.h"
#include "families/services/service_scan.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Intake::BrumevaleRegistryEvent;
using Intake::kRegistryValueSet;
using enum Intake::LoadPointType;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::ReconcileLoadPoint;
using Ledger::Reconciled;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindDeleted;

namespace Families {

namespace {

std::vector<std::u16string> EventListItems(const BrumevaleRegistryEvent& event, uint32_t type) {
  std::vector<std::u16string> strings;
  for (size_t i = 0; i < event.ValueTextCount(); ++i) strings.push_back(event.GetValueText(i));
  return ListItemsOfStrings(event.ValueType(), strings, ListSplitsAtSpaces(type));
}

void AppendRemoval(LoadPointDatabase& database, uint32_t type, const LoadPointRows& rows,
                   uint32_t index, ChangeRecords& records) {
  database.DeleteLoadPoint(rows.KEY(index));
  ChangeRecord& record = records.emplace_back(rows.KEY(index));
  record.kind = kChangeKindDeleted;
  record.extendedData->SetLoadPoint(type, rows.ENTRY_NAME(index), rows.USER_ID(index));
  record.extendedData->SetDeleted(rows.COMMAND_LINE(index), u"");
}

// Rows of the user in `rows` (read before the change) that are not in `seen`.
void RemoveUnseen(LoadPointDatabase& database, uint32_t type, const std::u16string& userId,
                  const LoadPointRows& rows, const std::set<int32_t>& seen,
                  ChangeRecords& records) {
  for (uint32_t i = 0; i < rows.Count(); ++i) {
    if (seen.count(rows.KEY(i)) == 0 && VyrUtilities::EqualsIgnoreCase(rows.USER_ID(i), userId)) {
      AppendRemoval(database, type, rows, i, records);
    }
  }
}

void AppendAdditions(LoadPointDatabase& database, uint32_t type, const std::vector<int32_t>& keys,
                     ChangeRecords& records) {
  for (int32_t key : keys) {
    LoadPointRows row;
    if (database.FindLoadPointEntry(key, row) != 1) continue;
    ChangeRecord& record = records.emplace_back(key);
    record.kind = kChangeKindAdded;
    record.extendedData->SetLoadPoint(type, row.ENTRY_NAME(0), row.USER_ID(0));
    record.extendedData->SetAdded(row.COMMAND_LINE(0), u"");
  }
}

}  // namespace

bool ListSplitsAtSpaces(uint32_t type) {
  // The AppInit_DLLs lists (native and 32-bit) separate items by spaces as well;
  // every other list keeps its spaces, since paths there may hold them.
  return type == kAppInitDllsType || type == kAppInitDllsWow64Type;
}

int32_t ReconcileListItems(LedgerContext& context, const std::vector<std::u16string>& items,
                           uint32_t type, const std::u16string& userId,
                           std::vector<int32_t>* newKeys, std::set<int32_t>* seenKeys) {
  int32_t changed = 0;
  for (const std::u16string& item : items) {
    const std::u16string trimmed = VyrUtilities::Trim(item);
    if (trimmed.empty()) continue;
    int32_t key = 0;
    const Reconciled result = ReconcileLoadPoint(context, type, userId, trimmed, trimmed, u"", &key);
    // A row that could not be added is neither reported nor counted as seen.
    if (key < 1) continue;
    if (result == Reconciled::kAdded && newKeys != nullptr) newKeys->push_back(key);
    if (seenKeys != nullptr) seenKeys->insert(key);
    if (result == Reconciled::kAdded || result == Reconciled::kChanged) changed = 1;
  }
  return changed;
}

void HandleListValue(LedgerContext& context, const BrumevaleRegistryEvent& event,
                     ChangeRecords& records) {
  LoadPointDatabase* database = DatabaseForValueEvent(context, event, records);
  if (database == nullptr) return;
  const uint32_t type = LoadPointTypeOf(event.MatcherCode());
  const std::u16string userId = LoadPointUserId(event);
  LoadPointRows before;
  database->RequestLoadPointEntries(static_cast<int32_t>(type), before);
  std::set<int32_t> seen;
  if (event.Operation() == kRegistryValueSet) {
    std::vector<int32_t> added;
    ReconcileListItems(context, EventListItems(event, type), type, userId, &added, &seen);
    AppendAdditions(*database, type, added, records);
  }
  // A deleted value leaves nothing seen: every row of the list goes.
  RemoveUnseen(*database, type, userId, before, seen, records);
}

}  // namespace Families
