#include "ledger/live_batch.h"

#include <algorithm>

#include "database/load_point_database.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_image_cache.h"

namespace Ledger {

thread_local LiveBatch* LiveBatch::current_ = nullptr;

LiveBatch::LiveBatch(LedgerContext& context)
    : database_(OpenLoadPointDatabase(context)),
      eventStart_(std::chrono::steady_clock::now()),
      outer_(current_) {
  // Each image that acts in the pass is looked at once in it.
  context.ProcessImages().BeginPass();
  if (database_ == nullptr) return;
  database_->OpenBatch();
  current_ = this;
}

LiveBatch::~LiveBatch() {
  if (database_ == nullptr) return;
  database_->CloseBatch();
  current_ = outer_;
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

}  // namespace Ledger
