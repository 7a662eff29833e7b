#pragma once
// The frame of a full rescan: BeginFullScan marks every row as pending, each entry
// the scanners find is reconciled (and leaves the pending set), EndFullScan removes
// what was not found and commits. A pass that the service's stop interrupts ends in
// AbandonFullScan instead, which rolls the whole pass back.

class LedgerContext;

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
