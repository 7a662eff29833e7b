#pragma once
// The driver channel and the entry queue. The logger thread connects to the
// minifilter's port, polls it and queues one entry per kept record; the engine,
// on the periodic thread, takes the entries one at a time through DataConsumer.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "intake/file_object_table.h"
#include "intake/system_log_entry.h"
#include "platform/scoped_handle.h"
#include "platform/system.h"

namespace VyrUtilities {
class DriveMap;
}

namespace Intake {

class DataConsumer {
 public:
  // The next queued entry, or null when the queue is empty. The entry stays valid
  // until the next call, which frees it; the consumer never frees an entry.
  virtual SystemLogEntry* TakeNextEntry() = 0;

 protected:
  // Consumers are never destroyed through this interface.
  ~DataConsumer() = default;
};

class DataCollector : public DataConsumer {
 public:
  DataCollector(Platform::System& system, VyrUtilities::DriveMap& driveMap);
  DataCollector(const DataCollector&) = delete;
  DataCollector& operator=(const DataCollector&) = delete;

  // Logger thread. False when the port cannot be opened (LastConnectResult says why).
  bool ConnectDriverPort();
  // False when not connected.
  bool CloseDriverPort();
  bool IsConnected() const { return port_.IsValid(); }
  // The HRESULT of the last connection attempt (0 when it succeeded).
  Platform::HResult LastConnectResult() const { return lastConnectResult_; }
  // One exchange with the driver: -1 when not connected or the exchange failed,
  // else the number of records decoded from the reply.
  int32_t PollDriver();
  // Decodes up to count records laid end to end in reply and queues their entries.
  // Returns how many records were read; decoding stops at the first record that
  // does not lie wholly inside reply.
  uint32_t DecodeReply(std::span<const uint8_t> reply, uint32_t count);

  // Takes ownership; an entry that cannot be queued is destroyed at once.
  void QueueEntry(std::unique_ptr<SystemLogEntry> entry);
  SystemLogEntry* TakeNextEntry() override;

  const FileObjectTable& FileObjects() const { return fileObjects_; }

 private:
  // The entry of one record, or null when the record keeps none.
  std::unique_ptr<SystemLogEntry> DecodeRecord(const DriverRecord& record);
  // A registry record, completed from the registry when the driver cut its data.
  std::unique_ptr<SystemLogEntry> DecodeRegistryRecord(const DriverRecord& record);
  void KeepInBatch(std::unique_ptr<SystemLogEntry> entry);
  void QueueBatch();

  Platform::System& system_;
  VyrUtilities::DriveMap& driveMap_;
  // Closed when the collector goes. A port that was opened is never handle 0.
  Platform::ScopedPort port_;
  Platform::HResult lastConnectResult_ = 0;
  std::mutex queueMutex_;
  FileObjectTable fileObjects_;
  std::deque<std::unique_ptr<SystemLogEntry>> queue_;
  std::unique_ptr<SystemLogEntry> current_;
  // Reused by every poll: the logger polls every 10 ms when idle.
  std::vector<uint8_t> reply_;
  // The entries of one reply, queued together under one hold of the mutex.
  std::vector<std::unique_ptr<SystemLogEntry>> batch_;
};

}  // namespace Intake
