#pragma once
// The transaction of the live path. Every row a live event writes (its process and
// signature rows, the load-point and indirection statements, the change event, its
// link and extended data) commits together or not at all, and the events of one
// dispatch pass share the commit: a burst is written at the speed of its inserts
// rather than of its flushes to disk. The writers inside a batch open no
// transaction of their own.
//
// The transaction begins at the batch's first write, so that a single event's file
// facts and signature check are gathered before the lock is taken, and it commits
// early when the next event would keep the lock past kMaxLockTime: readers still
// get in between, and a crash loses at most that much; the next start's rescan
// makes the rows true again.

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "ledger/process_file.h"

class LedgerContext;
class LoadPointDatabase;

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

  // What the open batch has read of the image of processId at imagePath; null when
  // no batch is open or it has not read it yet.
  static const ProcessFile* KnownProcess(uint64_t processId, const std::u16string& imagePath);
  // Keeps what was read of an image for the rest of the open batch (none: nothing).
  static void RememberProcess(uint64_t processId, const std::u16string& imagePath,
                              const ProcessFile& file);

 private:
  struct KnownImage {
    std::u16string path;
    ProcessFile file;
  };
  LoadPointDatabase* database_;
  std::chrono::steady_clock::time_point eventStart_;
  std::chrono::steady_clock::duration longestEvent_{};
  std::unordered_map<uint64_t, KnownImage> processes_;
  LiveBatch* outer_;
  static thread_local LiveBatch* current_;
};
