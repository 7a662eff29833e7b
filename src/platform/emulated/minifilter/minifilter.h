#pragma once
// The emulated minifilter: while its driver service runs, every reported activity is
// queued as a driver record in the wire layout, and the communication port hands the
// records out in replies of whole records.
//
// The service control manager calls Start and Stop when the driver service
// "BrumevaleLookout" starts and stops. Stopping drops whatever was still queued (the
// driver's memory goes with it) and kills every open connection: the next exchange
// on one fails, and new connections are refused until the driver runs again.
//
// Threads: all operations may be called from any thread. The sink operations are
// called with the reporting component's lock held; they take only the minifilter's
// own lock, which is never held while calling out.

#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>

#include "platform/emulated/machine/activity_sink.h"
#include "platform/emulated/minifilter/driver_record.h"
#include "platform/emulated/minifilter/minifilter_port.h"
#include "platform/emulated/minifilter/minifilter_queue.h"
#include "platform/win32_types.h"

namespace Emulated {

class Machine;

class Minifilter : public ActivitySink {
 public:
  static constexpr std::u16string_view kPortName = u"\\BrumevaleLookoutPort";

  explicit Minifilter(Machine& machine);
  ~Minifilter() override;

  void Start();
  void Stop();
  bool IsRunning() const;

  // The port as seen from processId (FilterConnectCommunicationPort,
  // FilterSendMessage, CloseHandle).
  Platform::HResult Connect(uint32_t processId, std::u16string_view portName,
                            Platform::Handle* port);
  Platform::HResult Exchange(uint32_t processId, Platform::Handle port, std::span<uint8_t> input,
                             std::span<uint8_t> output, uint32_t* bytesReturned);
  Platform::Win32Error Disconnect(uint32_t processId, Platform::Handle port);

  // Queue bound in bytes (tests shrink it to watch an overflow).
  void SetQueueLimit(size_t bytes);
  size_t QueuedRecords() const;
  uint64_t DroppedRecords() const;

  void ProcessStarted(Actor creator, uint32_t processId) override;
  void ProcessExited(Actor actor, uint32_t processId) override;
  void ThreadCreated(Actor creator, uint32_t newThreadId) override;
  void ThreadExited(Actor actor, uint32_t threadId) override;
  void RegistryValueSet(Actor actor, std::u16string_view kernelKeyPath,
                        std::u16string_view valueName, uint32_t type,
                        std::span<const uint8_t> data) override;
  void RegistryValueDeleted(Actor actor, std::u16string_view kernelKeyPath,
                            std::u16string_view valueName) override;
  void RegistryKeyDeleted(Actor actor, std::u16string_view kernelKeyPath) override;
  void FileCreated(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                   bool directory) override;
  void FileWriteStarted(Actor actor, uint64_t fileObject, std::u16string_view devicePath) override;
  void FileWriteFinished(Actor actor, uint64_t fileObject,
                         std::u16string_view devicePath) override;
  void FileDeleteOnClose(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                         bool deleteFile) override;
  void FileRenamed(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                   std::u16string_view newName) override;
  void FileClosed(Actor actor, uint64_t fileObject, std::u16string_view devicePath) override;

 private:
  void Queue(Actor actor, uint64_t id1, uint32_t operation, uint32_t detail,
             std::vector<uint8_t> data = {});
  void QueueFile(Actor actor, uint64_t fileObject, uint32_t operation, uint32_t detail,
                 std::u16string_view devicePath);

  mutable std::mutex mutex_;
  bool running_ = false;
  // Counts the driver's runs; a connection is alive only during the run it was made in.
  uint64_t run_ = 0;
  MinifilterPort port_;
  MinifilterQueue queue_;
};

}  // namespace Emulated
