#include "platform/emulated/minifilter/minifilter_queue.h"

#include <algorithm>

namespace Emulated {

bool MinifilterQueue::Push(const DriverRecord& record) {
  const size_t size = record.EncodedSize();
  if (size > limitBytes_ - std::min(limitBytes_, queuedBytes_)) {
    ++dropped_;
    return false;
  }
  records_.push_back(EncodeDriverRecord(record));
  queuedBytes_ += size;
  return true;
}

MinifilterQueue::Batch MinifilterQueue::Fill(std::span<uint8_t> out) {
  Batch batch;
  size_t used = 0;
  while (!records_.empty() && records_.front().size() <= out.size() - used) {
    const std::vector<uint8_t>& bytes = records_.front();
    std::copy(bytes.begin(), bytes.end(), out.begin() + used);
    used += bytes.size();
    queuedBytes_ -= bytes.size();
    ++batch.count;
    records_.pop_front();
  }
  batch.bytes = static_cast<uint32_t>(used);
  return batch;
}

void MinifilterQueue::Clear() {
  records_.clear();
  queuedBytes_ = 0;
}

}  // namespace Emulated
