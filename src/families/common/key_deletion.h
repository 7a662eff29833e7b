#pragma once
// The deletion of a registry key as the families see it: every load point whose
// entry lived at or below the key loses its row.

#include <cstdint>

#include "ledger/change_record.h"

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

// The common start of a family: a key deletion goes to HandleKeyDeletion and null is
// returned; for a value set or deleted, the open database (null when there is none).
Database::LoadPointDatabase* DatabaseForValueEvent(Ledger::LedgerContext& context,
                                         const Intake::BrumevaleRegistryEvent& event,
                                         Ledger::ChangeRecords& records);

// The deletion of a key at or above the event's location (operation 3 only).
void HandleKeyDeletion(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                       Ledger::ChangeRecords& records);

}  // namespace Families
