#pragma once
// The live handler families of registry load points. The engine's dispatcher picks a
// family by matcher code, each family compares the change with the stored rows and
// appends what it found as change records, and the dispatcher writes one change
// event per record with the process that made the change.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "ledger/change_record.h"
#include "families/common/key_deletion.h"
#include "ledger/load_point_ledger.h"

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace Intake {
class BrumevaleRegistryEvent;
}  // namespace Intake

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Families. Each appends at most the records its location can produce.
void HandleValueLoadPoint(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                          Ledger::ChangeRecords& records);
// For the locations whose value names a COM class: resolves the class, watches its
// server and keeps the load point's Indirection row; when extendedData is given its
// PARAM_1 and PARAM_4 take the class's name and server. 1 for such a location, else 0
// (and nothing is done).
int32_t RefreshClassIndirection(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                                Ledger::LoadPointExtEventData* extendedData, int32_t loadPointKey);
void HandleBhoEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                    Ledger::ChangeRecords& records);
void HandleServiceEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                        Ledger::ChangeRecords& records);
void HandleListValue(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                     Ledger::ChangeRecords& records);
// Reconciles each item of a list value as a row of its own (ENTRY_NAME and
// COMMAND_LINE the item). Keys of added rows go to newKeys, of every row to
// seenKeys (either may be null). 1 when at least one row was added or changed.
int32_t ReconcileListItems(Ledger::LedgerContext& context, const std::vector<std::u16string>& items,
                           uint32_t type, const std::u16string& userId,
                           std::vector<int32_t>* newKeys, std::set<int32_t>* seenKeys);
// True for the lists whose items are separated by spaces as well as commas.
bool ListSplitsAtSpaces(uint32_t type);
void HandleNetworkProviderEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                                Ledger::ChangeRecords& records);
void HandleClassWatchEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                           Ledger::ChangeRecords& records);
void HandleNameSpaceCatalogEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                                 Ledger::ChangeRecords& records);
void HandleProtocolCatalogEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                                Ledger::ChangeRecords& records);
void HandleActiveSetupEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                            Ledger::ChangeRecords& records);
void HandleBrowserExtensionEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                                 Ledger::ChangeRecords& records);
// Task-cache codes 72 and 73; lives beside the task scan.
void HandleTaskCacheEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                          Ledger::ChangeRecords& records);

}  // namespace Families
