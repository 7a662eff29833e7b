#pragma once
// A load point switched off is told apart from one deleted, and its return from a
// new one. The rows do what they always did (a disabled service or task loses its
// row, as the documented rules say; back on, it is added again); only the change
// event gets a mark: EventOrigin STATE_CHANGE 1 (disabled) on the removal, 2
// (enabled again) on the addition that follows a disable. What counts as switched
// off: a service or driver whose "Start" is 4 (3, demand start, stays a removal) and
// a task whose definition says Enabled false.

#include <cstdint>
#include <string>
#include <vector>

#include "database/event_origin.h"
#include "ledger/rescan_state.h"

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace Ledger {

// During a rescan: the scanner that passed over (type, userId, entryName) because it
// is switched off notes it, so that the removal of its row at the scan's end is
// marked as a disable.
void NoteDisabledInScan(FullScanState& state, uint32_t type, const std::u16string& userId,
                        const std::u16string& entryName);
// kDisabled for a row the running rescan noted as switched off, else kNone.
Database::LoadPointStateChange RemovalStateChangeInScan(const FullScanState& state, uint32_t type,
                                              const std::u16string& userId,
                                              const std::u16string& entryName);

// For any addition, live or by a rescan: kEnabledAgain when the newest removal of the
// same load point was marked disabled, else kNone. names: every name its removal may
// have stored as PARAM_1 (entry name, display name, the name of its class).
Database::LoadPointStateChange ReturnStateChange(Database::LoadPointDatabase& database, uint32_t type,
                                       const std::u16string& userId,
                                       const std::vector<std::u16string>& names);

}  // namespace Ledger
