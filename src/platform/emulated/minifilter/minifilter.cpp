#include "platform/emulated/minifilter/minifilter.h"

#include <algorithm>

namespace Emulated {
namespace {

// One record must fit one reply, or no exchange could ever deliver it and the queue
// would stall behind it. Key paths and value names are bounded by the registry
// (together well under the reply size), so only raw value data can be too long; the
// driver cuts it to what fits. Anything up to that size is reported in full, even
// beyond what the service keeps of it.
std::span<const uint8_t> ValueDataThatFits(std::u16string_view keyPath,
                                           std::u16string_view valueName,
                                           std::span<const uint8_t> data) {
  const size_t strings = 2 * (keyPath.size() + 1 + valueName.size() + 1);
  const size_t room = kDriverReplyCapacity - kDriverRecordFixedSize;
  if (strings >= room) return {};
  return data.first(std::min(data.size(), room - strings));
}

}  // namespace

Minifilter::Minifilter(Machine&) {}
Minifilter::~Minifilter() = default;

void Minifilter::Start() {
  std::lock_guard lock(mutex_);
  if (running_) return;
  running_ = true;
  ++run_;
}

void Minifilter::Stop() {
  std::lock_guard lock(mutex_);
  running_ = false;
  queue_.Clear();
}

bool Minifilter::IsRunning() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void Minifilter::SetQueueLimit(size_t bytes) {
  std::lock_guard lock(mutex_);
  queue_.SetLimit(bytes);
}

size_t Minifilter::QueuedRecords() const {
  std::lock_guard lock(mutex_);
  return queue_.Count();
}

uint64_t Minifilter::DroppedRecords() const {
  std::lock_guard lock(mutex_);
  return queue_.Dropped();
}

void Minifilter::Queue(Actor actor, uint64_t id1, uint32_t operation, uint32_t detail,
                       std::vector<uint8_t> data) {
  // Every record names the acting process and thread in Id2 and Id3, whatever its
  // class; the service reads what it needs of them.
  DriverRecord record{id1, actor.processId, actor.threadId, operation, detail, std::move(data)};
  std::lock_guard lock(mutex_);
  if (running_) queue_.Push(record);
}

void Minifilter::QueueFile(Actor actor, uint64_t fileObject, uint32_t operation, uint32_t detail,
                           std::u16string_view devicePath) {
  Queue(actor, fileObject, operation, detail, FileRecordData(devicePath));
}

void Minifilter::ProcessStarted(Actor creator, uint32_t processId) {
  Queue(creator, processId, DriverOperation::kProcessStarted, 0);
}

void Minifilter::ProcessExited(Actor actor, uint32_t processId) {
  Queue(actor, processId, DriverOperation::kProcessExited, 0);
}

void Minifilter::ThreadCreated(Actor creator, uint32_t newThreadId) {
  Queue(creator, newThreadId, DriverOperation::kThreadCreated, 0);
}

void Minifilter::ThreadExited(Actor actor, uint32_t threadId) {
  Queue(actor, threadId, DriverOperation::kThreadExited, 0);
}

void Minifilter::RegistryValueSet(Actor actor, std::u16string_view kernelKeyPath,
                                  std::u16string_view valueName, uint32_t type,
                                  std::span<const uint8_t> data) {
  Queue(actor, 0, DriverOperation::kRegistryValueSet, type,
        RegistryRecordData(kernelKeyPath, valueName,
                           ValueDataThatFits(kernelKeyPath, valueName, data)));
}

void Minifilter::RegistryValueDeleted(Actor actor, std::u16string_view kernelKeyPath,
                                      std::u16string_view valueName) {
  Queue(actor, 0, DriverOperation::kRegistryValueDeleted, 0,
        RegistryRecordData(kernelKeyPath, valueName));
}

void Minifilter::RegistryKeyDeleted(Actor actor, std::u16string_view kernelKeyPath) {
  Queue(actor, 0, DriverOperation::kRegistryKeyDeleted, 0,
        RegistryRecordData(kernelKeyPath, std::nullopt));
}

void Minifilter::FileCreated(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                             bool directory) {
  QueueFile(actor, fileObject, DriverOperation::kFileCreated,
            directory ? kFileDetailDirectory : 0, devicePath);
}

void Minifilter::FileWriteStarted(Actor actor, uint64_t fileObject,
                                  std::u16string_view devicePath) {
  QueueFile(actor, fileObject, DriverOperation::kFileWriteStarted, 0, devicePath);
}

void Minifilter::FileWriteFinished(Actor actor, uint64_t fileObject,
                                   std::u16string_view devicePath) {
  QueueFile(actor, fileObject, DriverOperation::kFileWriteFinished, 0, devicePath);
}

void Minifilter::FileDeleteOnClose(Actor actor, uint64_t fileObject,
                                   std::u16string_view devicePath, bool deleteFile) {
  QueueFile(actor, fileObject, DriverOperation::kFileDeleteMark, deleteFile ? 1 : 0, devicePath);
}

void Minifilter::FileRenamed(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                             std::u16string_view newName) {
  Queue(actor, fileObject, DriverOperation::kFileRenamed, 0, FileRecordData(devicePath, newName));
}

void Minifilter::FileClosed(Actor actor, uint64_t fileObject, std::u16string_view devicePath) {
  QueueFile(actor, fileObject, DriverOperation::kFileClosed, 0, devicePath);
}

}  // namespace Emulated
