#pragma once
// Log entries: one heap object per kept driver record, handed from the logger
// thread to the engine through the DataCollector's queue. The registry entry lives
// in registry_entry.h.

#include <cstdint>
#include <memory>
#include <string>

#include "intake/driver_record.h"
#include "platform/system.h"
#include "platform/win32_types.h"

namespace VyrUtilities {
class DriveMap;
}

namespace Intake {

inline constexpr uint32_t kEntryProcess = 1;
inline constexpr uint32_t kEntryThread = 2;
inline constexpr uint32_t kEntryRegistry = 3;
inline constexpr uint32_t kEntryFile = 4;

class SystemLogEntry {
 public:
  virtual ~SystemLogEntry() = default;
  // Reads the class-specific part of a driver record; the base reads nothing.
  virtual bool ReadRecord(const DriverRecord& record) { return false; }

  // Sets the kind and identifiers and stamps the entry with the current time, both
  // as UTC and as local time text.
  void SetHeader(Platform::System& system, uint32_t kind, uint64_t firstId, uint64_t secondId);

  uint32_t Kind() const { return kind_; }
  // The acting process.
  uint64_t FirstId() const { return firstId_; }
  // The acting thread (thread and file entries; 0 otherwise).
  uint64_t SecondId() const { return secondId_; }
  const Platform::SystemTime& Time() const { return time_; }
  const std::u16string& TimeText() const;

 private:
  uint32_t kind_ = 0;
  uint64_t firstId_ = 0;
  uint64_t secondId_ = 0;
  Platform::SystemTime time_;
  // Shared by the entries of one second; null until the header is set.
  std::shared_ptr<const std::u16string> timeText_;
};

inline constexpr uint32_t kProcessStarted = 2;
inline constexpr uint32_t kProcessEnded = 3;
// An entry whose record named no exact state keeps this one; the process table
// treats every state other than started as ended.
inline constexpr uint32_t kStateUnset = 0xFFFFFFFFu;

class ProcessEntry : public SystemLogEntry {
 public:
  // From a driver record; a start looks the live process's image and owner up at
  // once, before the process can go away.
  ProcessEntry(Platform::System& system, VyrUtilities::DriveMap& driveMap,
               const DriverRecord& record);
  // From known facts, for the process snapshot and for tests.
  ProcessEntry(Platform::System& system, uint64_t actingProcessId, uint64_t processId,
               uint32_t state, std::u16string imagePath, std::u16string owner);

  bool ReadRecord(const DriverRecord& record) override;

  uint64_t ProcessId() const { return processId_; }
  const std::u16string& ImagePath() const { return imagePath_; }
  const std::u16string& Owner() const { return owner_; }
  uint32_t State() const { return state_; }

 private:
  uint64_t processId_ = 0;
  std::u16string imagePath_;
  std::u16string owner_;
  uint32_t state_ = kStateUnset;
};

inline constexpr uint32_t kThreadCreated = 0;
inline constexpr uint32_t kThreadEnded = 1;

class ThreadEntry : public SystemLogEntry {
 public:
  ThreadEntry(Platform::System& system, const DriverRecord& record);

  bool ReadRecord(const DriverRecord& record) override;

  // With the acting process, names the created or ended thread.
  uint64_t SubjectId() const { return subjectId_; }
  uint32_t State() const { return state_; }

 private:
  uint64_t subjectId_ = 0;
  uint32_t state_ = kStateUnset;
};

inline constexpr uint32_t kFileCreated = 1;
inline constexpr uint32_t kFileRenamed = 2;
inline constexpr uint32_t kFileDeleted = 3;
inline constexpr uint32_t kFileWritten = 4;

class FileEntry : public SystemLogEntry {
 public:
  FileEntry() = default;

  // File records are decoded by the collector's file-object table, not here.
  bool ReadRecord(const DriverRecord& record) override { return true; }

  void SetFile(uint32_t operation, std::u16string path, uint32_t detailFlag);
  // The new name of a rename; a leading "\??\" is dropped.
  void SetSecondPath(std::u16string_view newName);

  uint32_t FileOperation() const { return operation_; }
  const std::u16string& Path() const { return path_; }
  const std::u16string& SecondPath() const { return secondPath_; }
  uint32_t DetailFlag() const { return detailFlag_; }

 private:
  uint32_t operation_ = 0;
  std::u16string path_;
  std::u16string secondPath_;
  uint32_t detailFlag_ = 0;
};

}  // namespace Intake
