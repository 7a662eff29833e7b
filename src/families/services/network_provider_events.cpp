// Network providers: one row per control set and provider named in the control
// set's provider order, with its "ProviderPath" and "Name".

#include <set>
#include <string>
#include <vector>

#include "database/load_point_database.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "families/services/service_scan.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "platform/scoped_handle.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Intake::BrumevaleRegistryEvent;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;
using enum Intake::LoadPointType;
using enum Intake::MatcherCode;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::LoadPointExtEventData;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindDeleted;

namespace Families {

namespace {

constexpr int32_t kType = static_cast<int32_t>(kNetworkProviderType);

struct ProviderEvent {
  LedgerContext& ledger;
  LoadPointDatabase& database;
  const BrumevaleRegistryEvent& event;
  std::u16string controlSet;
  std::u16string name;
};

ChangeRecord& AppendRecord(ChangeRecords& records, int32_t key, uint32_t kind) {
  ChangeRecord& record = records.emplace_back(key);
  record.kind = kind;
  return record;
}

// Rows of the control set among `rows` that are not in `seen` (null: none seen).
void RemoveProviders(const ProviderEvent& context, const LoadPointRows& rows,
                     const std::set<int32_t>* seen, ChangeRecords& records) {
  for (uint32_t i = 0; i < rows.Count(); ++i) {
    const int32_t key = rows.KEY(i);
    if ((seen != nullptr && seen->count(key) != 0) ||
        !VyrUtilities::EqualsIgnoreCase(rows.USER_ID(i), context.controlSet)) {
      continue;
    }
    context.database.DeleteLoadPoint(key);
    LoadPointExtEventData& data = *AppendRecord(records, key, kChangeKindDeleted).extendedData;
    data.SetLoadPoint(kNetworkProviderType, rows.ENTRY_NAME(i), rows.USER_ID(i));
    data.SetDeleted(rows.COMMAND_LINE(i), rows.DISPLAY_NAME(i));
  }
}

void OrderSet(const ProviderEvent& context, ChangeRecords& records) {
  LoadPointRows before;
  context.database.RequestLoadPointEntries(kType, before);
  Platform::Registry& registry = context.ledger.System().Registry();
  Platform::ScopedKey key;
  // Without the control set's key nothing can be compared, so nothing is removed.
  if (registry.OpenKey(Platform::kHkeyLocalMachine, u"SYSTEM\\" + context.controlSet,
                       Platform::kKeyRead, key.Receive(registry)) != Platform::kErrorSuccess) {
    return;
  }
  std::vector<int32_t> added;
  std::set<int32_t> seen;
  ReconcileNetworkProviders(context.ledger, context.controlSet, context.event.GetValueText(0),
                            &added, &seen);
  for (int32_t addedKey : added) {
    LoadPointRows row;
    if (context.database.FindLoadPointEntry(addedKey, row) != 1) continue;
    LoadPointExtEventData& data = *AppendRecord(records, addedKey, kChangeKindAdded).extendedData;
    data.SetLoadPoint(kNetworkProviderType, row.ENTRY_NAME(0), row.USER_ID(0));
    data.SetAdded(row.COMMAND_LINE(0), row.DISPLAY_NAME(0));
  }
  RemoveProviders(context, before, &seen, records);
}

bool IsInOrder(const ProviderEvent& context) {
  std::u16string order;
  if (!VyrUtilities::ReadRegistryString(
          context.ledger.System(), Platform::kHkeyLocalMachine,
          u"SYSTEM\\" + context.controlSet + u"\\Control\\NetworkProvider\\Order", u"ProviderOrder",
          order)) {
    return false;
  }
  std::vector<std::u16string> names;
  VyrUtilities::Split(order, u',', names);
  // Trimmed as the rescan trims them, so that both find the same providers.
  for (const std::u16string& name : names) {
    if (VyrUtilities::EqualsIgnoreCase(VyrUtilities::Trim(name), context.name)) return true;
  }
  return false;
}

// "ProviderPath" of a provider without a row: added when the order names it.
void AddNamedProvider(const ProviderEvent& context, ChangeRecords& records) {
  if (!IsInOrder(context)) return;
  std::u16string displayName;
  if (!VyrUtilities::ReadRegistryString(
          context.ledger.System(), Platform::kHkeyLocalMachine,
          u"SYSTEM\\" + context.controlSet + u"\\Services\\" + context.name + u"\\NetworkProvider",
          u"Name", displayName)) {
    displayName.clear();
  }
  const std::u16string& path = context.event.GetValueText(0);
  const int32_t key =
      context.database.AddLoadPointEntry(kType, context.controlSet, context.name, path, displayName);
  if (key <= 0) return;
  LoadPointExtEventData& data = *AppendRecord(records, key, kChangeKindAdded).extendedData;
  data.SetLoadPoint(kNetworkProviderType, context.name, context.controlSet);
  data.SetAdded(path, displayName);
}

// A value of a provider that has a row: its command line or its name changes.
void ChangeProvider(const ProviderEvent& context, const LoadPointRows& row,
                    ChangeRecords& records) {
  const bool deleted = context.event.Operation() == kRegistryValueDeleted;
  const std::u16string value = deleted ? std::u16string() : context.event.GetValueText(0);
  const int32_t key = row.KEY(0);
  if (context.event.MatcherCode() == kProviderPathCode) {
    const std::u16string old = row.COMMAND_LINE(0);
    if ((deleted && old.empty()) || (!deleted && VyrUtilities::EqualsIgnoreCase(value, old))) return;
    if (context.database.UpdateLoadPointEntry(key, value) != 1) return;
    LoadPointExtEventData& data = *AppendRecord(records, key, kChangeKindChanged).extendedData;
    data.SetLoadPoint(kNetworkProviderType, context.name, row.USER_ID(0));
    data.SetChanged(value, old, row.DISPLAY_NAME(0));
    return;
  }
  const std::u16string old = row.DISPLAY_NAME(0);
  // A name is compared exactly: a provider renamed only in letter case shows so.
  if (value == old || context.database.UpdateLoadPointDisplayName(key, value) != 1) return;
  LoadPointExtEventData& data = *AppendRecord(records, key, kChangeKindChanged).extendedData;
  data.SetLoadPoint(kNetworkProviderType, context.name, row.USER_ID(0));
  data.SetNameChanged(value, old);
}

}  // namespace

void HandleNetworkProviderEvent(LedgerContext& ledger, const BrumevaleRegistryEvent& event,
                                ChangeRecords& records) {
  LoadPointDatabase* database = DatabaseForValueEvent(ledger, event, records);
  if (database == nullptr) return;
  const ProviderEvent context{ledger, *database, event, LoadPointUserId(event),
                              LoadPointEntryName(ledger.System(), event)};
  if (event.MatcherCode() == kProviderOrderCode) {
    if (event.Operation() == kRegistryValueSet) {
      OrderSet(context, records);
    } else {
      LoadPointRows rows;
      database->RequestLoadPointEntries(kType, rows);
      RemoveProviders(context, rows, nullptr, records);
    }
    return;
  }
  LoadPointRows row;
  if (database->FindLoadPointEntry(kType, context.controlSet, context.name, row) == 1) {
    ChangeProvider(context, row, records);
  } else if (event.MatcherCode() == kProviderPathCode && event.Operation() == kRegistryValueSet) {
    AddNamedProvider(context, records);
  }
}

}  // namespace Families
