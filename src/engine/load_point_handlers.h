#pragma once
// The live handler families of registry load points. DispatchLoadPointEvent picks a
// family by matcher code, each family compares the change with the stored rows and
// appends what it found as change records, and the dispatcher writes one change
// event per record with the process that made the change.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "ledger/change_record.h"
#include "ledger/load_point_ledger.h"

class LoadPointEngine;
class LoadPointDatabase;
class BrumevaleRegistryEvent;


// The common start of a family: a key deletion goes to HandleKeyDeletion and null is
// returned; for a value set or deleted, the open database (null when there is none).
LoadPointDatabase* DatabaseForValueEvent(LoadPointEngine& engine,
                                         const BrumevaleRegistryEvent& event,
                                         ChangeRecords& records);

// The registry load-point place of the engine. Always 1.
int32_t DispatchLoadPointEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                               uint64_t processId);
// The deletion of a key at or above the event's location (operation 3 only).
void HandleKeyDeletion(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                       ChangeRecords& records);

// Families. Each appends at most the records its location can produce.
void HandleValueLoadPoint(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                          ChangeRecords& records);
// For the locations whose value names a COM class: resolves the class, watches its
// server and keeps the load point's Indirection row; when extendedData is given its
// PARAM_1 and PARAM_4 take the class's name and server. 1 for such a location, else 0
// (and nothing is done).
int32_t RefreshClassIndirection(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                                LoadPointExtEventData* extendedData, int32_t loadPointKey);
void HandleBhoEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                    ChangeRecords& records);
void HandleServiceEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                        ChangeRecords& records);
void HandleListValue(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                     ChangeRecords& records);
// Reconciles each item of a list value as a row of its own (ENTRY_NAME and
// COMMAND_LINE the item). Keys of added rows go to newKeys, of every row to
// seenKeys (either may be null). 1 when at least one row was added or changed.
int32_t ReconcileListItems(LoadPointEngine& engine, const std::vector<std::u16string>& items,
                           uint32_t type, const std::u16string& userId,
                           std::vector<int32_t>* newKeys, std::set<int32_t>* seenKeys);
// True for the lists whose items are separated by spaces as well as commas.
bool ListSplitsAtSpaces(uint32_t type);
void HandleNetworkProviderEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                                ChangeRecords& records);
void HandleClassWatchEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                           ChangeRecords& records);
void HandleNameSpaceCatalogEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                                 ChangeRecords& records);
void HandleProtocolCatalogEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                                ChangeRecords& records);
void HandleActiveSetupEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                            ChangeRecords& records);
void HandleBrowserExtensionEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                                 ChangeRecords& records);
// Task-cache codes 72 and 73; lives beside the task scan.
void HandleTaskCacheEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                          ChangeRecords& records);
