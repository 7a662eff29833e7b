#pragma once
// The transaction of the live path. Every row a live event writes (its process and
// signature rows, the load-point and indirection statements, the change event, its
// link and extended data) commits together or not at all, and the events of one
// dispatch pass share the commit: a burst is written at the speed of its inserts
// rather than of its flushes to disk. The writers inside a batch open no
// transaction of their own.
//
// The transaction begins at the batch's first statement (a lookup or a write), so
// that a single event's file facts and signature check, read before it, are gathered
// before the lock is taken and its lookups share the lock of its writes; it commits
// early when the next event would keep the lock past kMaxLockTime: readers still
// get in between, and a crash loses at most that much; the next start's rescan
// makes the rows true again.

#include <chrono>
#include <cstdint>

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace Ledger {

class LedgerContext;

class LiveBatch {
 public:
  static constexpr std::chrono::milliseconds kMaxLockTime{250};

  explicit LiveBatch(LedgerContext& context);
  ~LiveBatch();  // commits
  LiveBatch(const LiveBatch&) = delete;
  LiveBatch& operator=(const LiveBatch&) = delete;

  // Call after each event: commits when one more event, taking as long as the
  // longest so far, would keep the lock past kMaxLockTime. True when it committed.
  bool EventDone();
  // True while a batch is open on this thread (the engine writes from one thread).
  static bool Open() { return current_ != nullptr; }

 private:
  Database::LoadPointDatabase* database_;
  std::chrono::steady_clock::time_point eventStart_;
  std::chrono::steady_clock::duration longestEvent_{};
  LiveBatch* outer_;
  static thread_local LiveBatch* current_;
};

}  // namespace Ledger
