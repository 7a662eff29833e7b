#pragma once
// The frame of a full rescan: BeginFullScan marks every row as pending, each entry
// the scanners find is reconciled (and leaves the pending set), EndFullScan removes
// what was not found and commits.

class LedgerContext;

// Rebuilds the user lists, fills the pending set and opens the transaction.
void BeginFullScan(LedgerContext& context);
// Removes the rows left pending, commits, and records one summary event on change.
void EndFullScan(LedgerContext& context);
