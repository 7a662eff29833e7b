#pragma once
// Turns "this load point now reads X, changed by process P" into rows and change
// events. The live families and the rescan both write through here, so a change
// seen live and the same change found by a rescan leave the same rows.

#include <cstdint>
#include <string>

namespace Database {
class ExtendedEventData;
class LoadPointDatabase;
}  // namespace Database

namespace Ledger {

class LedgerContext;

// The context's database when it is open, else null: callers then record nothing.
Database::LoadPointDatabase* OpenLoadPointDatabase(LedgerContext& context);

// What ReconcileLoadPoint did with one load point. The numbers are the result codes
// the scan code has always traced; they are written nowhere.
enum class Reconciled : int32_t {
  kUnchanged = 1,      // found unchanged during a scan, or nothing to record
  kChanged = 2,        // command line or display name changed; outside a scan also a
                       // startup-folder entry found unchanged
  kAdded = 5,
  kUnchangedLive = 6,  // found unchanged outside a scan
};

// Finds or writes one load point. outKey (may be null) receives the row's KEY.
Reconciled ReconcileLoadPoint(LedgerContext& context, uint32_t type, const std::u16string& userId,
                           const std::u16string& entryName, const std::u16string& commandLine,
                           const std::u16string& displayName, int32_t* outKey);

// Writes one ChangeEvents row (and its ExtendedEvent when extendedData is filled).
// The key of the new row, or 0 on failure. Inside a live batch (ledger/live_batch.h)
// it opens no transaction: the batch holds one. Elsewhere the event and its link
// commit together in a transaction of their own.
int32_t RecordChangeEvent(LedgerContext& context, const std::u16string& eventTime,
                          int32_t targetKey, int32_t processKey, uint32_t eventType,
                          Database::ExtendedEventData* extendedData);

}  // namespace Ledger
