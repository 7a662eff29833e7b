#pragma once
// The frame of a full rescan: BeginFullScan marks every row as pending, each entry
// the scanners find is reconciled (and leaves the pending set), EndFullScan removes
// what was not found and commits. A pass that the service's stop interrupts ends in
// AbandonFullScan instead, which rolls the whole pass back.

#include <functional>
#include <string>

#include "database/event_origin.h"

namespace Ledger {

class LedgerContext;

// Whether a row of LP_TYPE type and USER_ID userId lies in what a re-read reads.
using RowScope = std::function<bool(int32_t type, const std::u16string& userId)>;

// Rebuilds the user lists, fills the pending set and opens the transaction.
void BeginFullScan(LedgerContext& context);
// Removes the rows left pending, commits, and records one summary event on change.
// When a stop comes before or during the removals the pass is abandoned instead:
// false.
bool EndFullScan(LedgerContext& context);
// Rolls back everything the running pass wrote and ends it.
void AbandonFullScan(LedgerContext& context);
// True while a rescan runs and the service has been told to stop: the scanners then
// leave their loops at once, and the pass is abandoned.
bool FullScanStopping(LedgerContext& context);

// A re-read of some locations only (a change notification's): the frame of a rescan
// limited to the rows for which inScope(type, userId) holds, which alone can be
// removed; every finding is named with an event of origin (ledger/found_change.h).
// It neither rebuilds the user lists nor writes the summary event of a rescan; end
// it with EndFullScan.
void BeginReRead(LedgerContext& context, Database::ChangeOrigin origin, const RowScope& inScope);

}  // namespace Ledger
