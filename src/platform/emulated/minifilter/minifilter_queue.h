#pragma once
// The minifilter's record queue: encoded records waiting for the next exchange on the
// port, bounded in bytes like the driver's own buffer. Not thread-safe by itself; the
// minifilter guards it with its lock.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "platform/emulated/minifilter/driver_record.h"

namespace Emulated {

class MinifilterQueue {
 public:
  // 16 MiB holds about 150 full replies: minutes of ordinary activity while nobody
  // polls, yet a machine that runs unwatched for hours cannot exhaust the host.
  static constexpr size_t kDefaultLimitBytes = size_t{16} << 20;

  struct Batch {
    uint32_t count = 0;
    uint32_t bytes = 0;
  };

  // Queues the record. When the queue is full the new record is dropped (and
  // counted): what was queued earlier is delivered intact and in order, as a kernel
  // buffer that refuses new entries when full would do.
  bool Push(const DriverRecord& record);
  // Moves as many whole records as fit into out, oldest first.
  Batch Fill(std::span<uint8_t> out);
  void Clear();

  void SetLimit(size_t bytes) { limitBytes_ = bytes; }
  size_t Count() const { return records_.size(); }
  uint64_t Dropped() const { return dropped_; }

 private:
  std::deque<std::vector<uint8_t>> records_;
  size_t queuedBytes_ = 0;
  size_t limitBytes_ = kDefaultLimitBytes;
  uint64_t dropped_ = 0;
};

}  // namespace Emulated
