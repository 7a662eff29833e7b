#pragma once
// The emulated minifilter: while its driver service runs, every reported activity is
// queued as a driver record in the wire layout, and the communication port hands the
// records out in replies of whole records.

#include "platform/emulated/activity_sink.h"

namespace Emulated {

class Machine;

class Minifilter : public ActivitySink {
 public:
  explicit Minifilter(Machine& machine);
  ~Minifilter() override;

  void ProcessStarted(Actor creator, uint32_t processId) override;
  void ProcessExited(Actor actor, uint32_t processId) override;
  void ThreadCreated(Actor creator, uint32_t newThreadId) override;
  void ThreadExited(Actor actor, uint32_t threadId) override;
  void RegistryValueSet(Actor actor, std::u16string_view kernelKeyPath, std::u16string_view valueName, uint32_t type, std::span<const uint8_t> data) override;
  void RegistryValueDeleted(Actor actor, std::u16string_view kernelKeyPath, std::u16string_view valueName) override;
  void RegistryKeyDeleted(Actor actor, std::u16string_view kernelKeyPath) override;
  void FileCreated(Actor actor, uint64_t fileObject, std::u16string_view devicePath, bool directory) override;
  void FileWriteStarted(Actor actor, uint64_t fileObject, std::u16string_view devicePath) override;
  void FileWriteFinished(Actor actor, uint64_t fileObject, std::u16string_view devicePath) override;
  void FileDeleteOnClose(Actor actor, uint64_t fileObject, std::u16string_view devicePath, bool deleteFile) override;
  void FileRenamed(Actor actor, uint64_t fileObject, std::u16string_view devicePath, std::u16string_view newName) override;
  void FileClosed(Actor actor, uint64_t fileObject, std::u16string_view devicePath) override;

 private:
  Machine& machine_;
};

}  // namespace Emulated
