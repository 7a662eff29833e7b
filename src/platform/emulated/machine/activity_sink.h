#pragma once
// What the emulated kernel sees: every change that a process makes through its view
// of the machine is reported here, attributed to the acting process and thread. The
// emulated minifilter is the one sink; it turns the reports into driver records.
//
// Paths are given as the kernel sees them:
// - registry keys in kernel form, resolved through links:
//   "\REGISTRY\MACHINE\SYSTEM\ControlSet001\Services\x" or
//   "\REGISTRY\USER\<SID>\Software\...";
// - files in device form: "\Device\HarddiskVolume2\Users\a\x.txt".
// Calls may come from any thread, with the reporting component's lock held; a sink
// must not call back into the machine.

#include <cstdint>
#include <span>
#include <string_view>

namespace Emulated {

struct Actor {
  uint32_t processId = 0;
  uint32_t threadId = 0;
};

class ActivitySink {
 public:
  virtual ~ActivitySink() = default;

  virtual void ProcessStarted(Actor creator, uint32_t processId) = 0;
  virtual void ProcessExited(Actor actor, uint32_t processId) = 0;
  virtual void ThreadCreated(Actor creator, uint32_t newThreadId) = 0;
  virtual void ThreadExited(Actor actor, uint32_t threadId) = 0;

  // Reported for every set, also when the data did not change.
  virtual void RegistryValueSet(Actor actor, std::u16string_view kernelKeyPath,
                                std::u16string_view valueName, uint32_t type,
                                std::span<const uint8_t> data) = 0;
  virtual void RegistryValueDeleted(Actor actor, std::u16string_view kernelKeyPath,
                                    std::u16string_view valueName) = 0;
  // A deleted tree reports every key, deepest first.
  virtual void RegistryKeyDeleted(Actor actor, std::u16string_view kernelKeyPath) = 0;

  // The life of one file object (one open handle), identified by fileObject.
  virtual void FileCreated(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                           bool directory) = 0;
  virtual void FileWriteStarted(Actor actor, uint64_t fileObject,
                                std::u16string_view devicePath) = 0;
  virtual void FileWriteFinished(Actor actor, uint64_t fileObject,
                                 std::u16string_view devicePath) = 0;
  virtual void FileDeleteOnClose(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                                 bool deleteFile) = 0;
  // newName is in the "\??\C:\dir\name" form in which a rename target reaches the
  // kernel.
  virtual void FileRenamed(Actor actor, uint64_t fileObject, std::u16string_view devicePath,
                           std::u16string_view newName) = 0;
  virtual void FileClosed(Actor actor, uint64_t fileObject, std::u16string_view devicePath) = 0;
};

}  // namespace Emulated
