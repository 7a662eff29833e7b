// Transactions of the connection: the rescan's one, and the batches of the live
// path, which commit each live event, or each burst, in one transaction.

#include "database/load_point_database.h"

namespace Database {

bool LoadPointDatabase::BeginTransaction() {
  // A service started on a full disk would otherwise run without its tables until
  // the next start; every batch of writes begins here, so the schema is completed
  // by the first one after the cause has gone.
  if (!schemaReady_ && db_.IsOpen()) CreateTables();
  versionHeld_ = false;
  // Prepared once, as the record operations are: a single live event begins and
  // commits one transaction of its own.
  return Run(SqlText("BEGIN EXCLUSIVE TRANSACTION"), "BeginTransaction", true);
}

bool LoadPointDatabase::EndTransaction() {
  versionHeld_ = false;
  if (Run(SqlText("COMMIT TRANSACTION"), "EndTransaction", true)) return true;
  // A commit that met a full disk may leave the transaction open; every later
  // BEGIN would then fail, and nothing would ever be committed again.
  RollbackTransaction();
  return false;
}

bool LoadPointDatabase::RollbackTransaction() {
  const bool open = db_.InTransaction();
  if (open) db_.Execute("ROLLBACK TRANSACTION");
  // Also when SQLite had already rolled back: what the index took from the lost
  // transaction is not in the file.
  InvalidateLoadPointIndex();
  versionHeld_ = false;
  batch_.owned = false;
  return open;
}

void LoadPointDatabase::InvalidateLoadPointIndex() { index_.Drop(); }

void LoadPointDatabase::TransactionLost() {
  versionHeld_ = false;
  if (batch_.owned) batch_.refused = true;
  InvalidateLoadPointIndex();
  batch_.owned = false;
}

void LoadPointDatabase::OpenBatch() { batch_ = {.open = true}; }

void LoadPointDatabase::EndBatchEvent() { batch_.refused = false; }

bool LoadPointDatabase::CommitBatch() {
  const bool owned = batch_.owned;
  batch_.owned = false;
  batch_.refused = false;
  return !owned || !db_.IsOpen() || EndTransaction();
}

bool LoadPointDatabase::CloseBatch() {
  const bool committed = CommitBatch();
  batch_ = {};
  return committed;
}

std::chrono::steady_clock::duration LoadPointDatabase::BatchLockHeld() const {
  if (!batch_.owned) return {};
  return std::chrono::steady_clock::now() - batch_.since;
}

bool LoadPointDatabase::BatchAdmitsWrite() {
  if (!batch_.open || !db_.IsOpen()) return true;
  if (batch_.refused) return false;
  // Ours already, or a rescan's, which its owner commits.
  if (batch_.owned || db_.InTransaction()) return true;
  // The live path writes each event (its process and signature rows, the load point,
  // the change event, its link and extended data), and each burst, in one
  // transaction rather than statement by statement: deliberately, so that a crash
  // never leaves a process without its event or a change without its event, and so
  // that a burst costs one durable commit rather than several per event.
  if (!BeginTransaction()) {
    batch_.refused = true;
    return false;
  }
  batch_.owned = true;
  batch_.since = std::chrono::steady_clock::now();
  return true;
}

// A lookup outside any transaction takes the file's shared lock and looks at its
// journal on its own; an event's two or three lookups before its first write cost
// about as much as a third of its commit. A batch takes its lock at its first
// statement instead. An event that then writes nothing commits an empty transaction,
// which writes nothing to the disk.
void LoadPointDatabase::BatchTakesRead() {
  if (batch_.open && !batch_.refused) BatchAdmitsWrite();
}

void LoadPointDatabase::AfterFailedWrite() {
  // Owned: the transaction is still open; refused: SQLite has just rolled it back.
  if (!batch_.owned && !batch_.refused) return;
  log_.Write(u"-A live change could not be written; its event and the batch's earlier "
             u"events were undone, the next rescan records the load points.",
             1, 1, 0);
  RollbackTransaction();
  batch_.refused = true;
}

}  // namespace Database
