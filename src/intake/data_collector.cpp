#include "intake/data_collector.h"

#include <cstring>
#include <new>

#include "intake/cut_record.h"
#include "intake/registry_entry.h"
#include "platform/byte_order.h"
#include "util/drive_map.h"

namespace Intake {

namespace {

constexpr char16_t kPortName[] = u"\\BrumevaleLookoutPort";
constexpr size_t kRequestWordSize = 4;

template <typename Entry, typename... Args>
std::unique_ptr<SystemLogEntry> MakeEntry(Args&&... args) {
  return std::unique_ptr<SystemLogEntry>(new (std::nothrow) Entry(std::forward<Args>(args)...));
}

}  // namespace

DataCollector::DataCollector(Platform::System& system, VyrUtilities::DriveMap& driveMap)
    : system_(system), driveMap_(driveMap), fileObjects_(system, driveMap) {
  // As many entries as a full reply can hold records.
  batch_.reserve(kDriverReplySize / kRecordStride + 1);
}

bool DataCollector::ConnectDriverPort() {
  Platform::FilterPort& filter = system_.FilterPort();
  Platform::Handle port = 0;
  const Platform::HResult result = filter.ConnectCommunicationPort(kPortName, 0, {}, &port);
  lastConnectResult_ = result;
  if (result < 0) {
    port_.Reset();
    return false;
  }
  port_ = Platform::ScopedPort(filter, port);
  return true;
}

bool DataCollector::CloseDriverPort() {
  if (!IsConnected()) return false;
  port_.Reset();
  return true;
}

int32_t DataCollector::PollDriver() {
  if (!IsConnected()) return -1;
  reply_.resize(kDriverReplySize);
  // Cleared so that a driver that claims more records than it wrote cannot make
  // the records of the previous reply count twice.
  std::memset(reply_.data(), 0, reply_.size());
  // The filter manager hands the driver our buffer as it lies, without aligning it;
  // the word sits on an 8-byte boundary so that the driver may read it as it likes.
  alignas(8) uint8_t request[kRequestWordSize] = {0, 0, 0, 0};
  uint32_t bytesReturned = 0;
  if (system_.FilterPort().SendMessage(port_.Get(), request, reply_, &bytesReturned) < 0) return -1;
  const uint32_t count = Platform::ReadLe32(request);
  return static_cast<int32_t>(DecodeReply(reply_, count));
}

uint32_t DataCollector::DecodeReply(std::span<const uint8_t> reply, uint32_t count) {
  size_t offset = 0;
  uint32_t decoded = 0;
  DriverRecord record;
  batch_.clear();
  // File records of one reply mostly name the same volume.
  VyrUtilities::DriveMap::Batch driveBatch(driveMap_);
  while (decoded < count && ReadDriverRecord(reply, offset, record)) {
    if (auto entry = DecodeRecord(record)) KeepInBatch(std::move(entry));
    ++decoded;
    offset += kRecordStride + record.dataLength;
  }
  QueueBatch();
  return decoded;
}

std::unique_ptr<SystemLogEntry> DataCollector::DecodeRecord(const DriverRecord& record) {
  switch (ClassifyRecord(record.operation)) {
    case RecordClass::Process:
      return MakeEntry<ProcessEntry>(system_, driveMap_, record);
    case RecordClass::Thread:
      return MakeEntry<ThreadEntry>(system_, record);
    case RecordClass::Registry:
      return DecodeRegistryRecord(record);
    case RecordClass::File: {
      // Most file records emit nothing; the entry is allocated only when one does.
      FileEntry entry;
      if (!fileObjects_.Step(record, entry)) return nullptr;
      return MakeEntry<FileEntry>(std::move(entry));
    }
  }
  return nullptr;
}

std::unique_ptr<SystemLogEntry> DataCollector::DecodeRegistryRecord(const DriverRecord& record) {
  if (!RecordDataMayBeCut(record)) return RegistryEntry::Create(system_, record);
  // A departure from the documented decoder, which kept what the record carried: a
  // value cut by the driver is completed from the registry, so that its row holds
  // the whole text.
  const std::vector<uint8_t> completed = CompletedRecordData(system_, record);
  if (completed.empty()) return RegistryEntry::Create(system_, record);
  DriverRecord whole = record;
  whole.data = completed;
  whole.dataLength = static_cast<uint32_t>(completed.size());
  return RegistryEntry::Create(system_, whole);
}

void DataCollector::KeepInBatch(std::unique_ptr<SystemLogEntry> entry) {
  try {
    batch_.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    // Nothing is thrown past the collector: the entry is dropped.
  }
}

// One hold of the mutex for a whole reply: the periodic thread sees the reply's
// entries together, in record order, a few microseconds later than one by one.
void DataCollector::QueueBatch() {
  if (batch_.empty()) return;
  std::lock_guard<std::mutex> lock(queueMutex_);
  for (auto& entry : batch_) {
    try {
      queue_.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
      // As in QueueEntry: the entry is dropped, the poll goes on.
    }
  }
  batch_.clear();
}

void DataCollector::QueueEntry(std::unique_ptr<SystemLogEntry> entry) {
  if (!entry) return;
  std::lock_guard<std::mutex> lock(queueMutex_);
  try {
    queue_.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    // Nothing is thrown past the collector: the entry is dropped (and freed by its
    // owner on return), the poll goes on.
  }
}

SystemLogEntry* DataCollector::TakeNextEntry() {
  std::lock_guard<std::mutex> lock(queueMutex_);
  current_.reset();
  if (!queue_.empty()) {
    current_ = std::move(queue_.front());
    queue_.pop_front();
  }
  return current_.get();
}

}  // namespace Intake
