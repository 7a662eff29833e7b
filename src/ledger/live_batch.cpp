#include "ledger/live_batch.h"

#include <algorithm>

#include "database/load_point_database.h"
#include "ledger/load_point_ledger.h"

thread_local LiveBatch* LiveBatch::current_ = nullptr;

LiveBatch::LiveBatch(LedgerContext& context)
    : database_(OpenLoadPointDatabase(context)),
      eventStart_(std::chrono::steady_clock::now()),
      outer_(current_) {
  if (database_ == nullptr) return;
  database_->OpenBatch();
  current_ = this;
}

LiveBatch::~LiveBatch() {
  if (database_ == nullptr) return;
  database_->CloseBatch();
  current_ = outer_;
}

// A burst is mostly one process (an installer, a program rewriting its value in a
// loop): reading and checking its image once per event made the burst's cost that
// of the reads rather than of its rows. The image is read once per dispatch pass,
// a fraction of a second, and each event still gets a Processes row of its own. A
// process id taken over by another image within the pass is read anew.
const ProcessFile* LiveBatch::KnownProcess(uint64_t processId, const std::u16string& imagePath) {
  if (current_ == nullptr) return nullptr;
  const auto found = current_->processes_.find(processId);
  return found != current_->processes_.end() && found->second.path == imagePath ? &found->second.file
                                                                               : nullptr;
}

void LiveBatch::RememberProcess(uint64_t processId, const std::u16string& imagePath,
                                const ProcessFile& file) {
  if (current_ != nullptr) current_->processes_.insert_or_assign(processId, KnownImage{imagePath, file});
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
