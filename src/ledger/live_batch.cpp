#include "ledger/live_batch.h"

#include <algorithm>

#include "database/load_point_database.h"
#include "ledger/load_point_ledger.h"

thread_local int LiveBatch::openOnThread_ = 0;

LiveBatch::LiveBatch(LedgerContext& context)
    : database_(OpenLoadPointDatabase(context)), eventStart_(std::chrono::steady_clock::now()) {
  if (database_ == nullptr) return;
  database_->OpenBatch();
  ++openOnThread_;
}

LiveBatch::~LiveBatch() {
  if (database_ == nullptr) return;
  database_->CloseBatch();
  --openOnThread_;
}

bool LiveBatch::EventDone() {
  const auto now = std::chrono::steady_clock::now();
  longestEvent_ = std::max(longestEvent_, now - eventStart_);
  eventStart_ = now;
  if (database_ == nullptr) return false;
  database_->EndBatchEvent();
  if (database_->BatchLockHeld() + longestEvent_ < kMaxLockTime) return false;
  database_->CommitBatch();
  longestEvent_ = {};
  return true;
}
