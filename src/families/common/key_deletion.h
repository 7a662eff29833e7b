#pragma once
// The deletion of a registry key as the families see it: every load point whose
// entry lived at or below the key loses its row.

#include <cstdint>

#include "ledger/change_record.h"

class BrumevaleRegistryEvent;
class LedgerContext;
class LoadPointDatabase;

// The common start of a family: a key deletion goes to HandleKeyDeletion and null is
// returned; for a value set or deleted, the open database (null when there is none).
LoadPointDatabase* DatabaseForValueEvent(LedgerContext& context,
                                         const BrumevaleRegistryEvent& event,
                                         ChangeRecords& records);

// The deletion of a key at or above the event's location (operation 3 only).
void HandleKeyDeletion(LedgerContext& context, const BrumevaleRegistryEvent& event,
                       ChangeRecords& records);
