#include "intake/system_log_entry.h"

#include "fileinfo/process_identity.h"
#include "intake/entry_clock.h"

using FileInfo::GetProcessImageAndOwner;

namespace Intake {

void SystemLogEntry::SetHeader(Platform::System& system, uint32_t kind, uint64_t firstId,
                               uint64_t secondId) {
  kind_ = kind;
  firstId_ = firstId;
  secondId_ = secondId;
  EntryTime now = TakeEntryTime(system);
  time_ = now.utc;
  timeText_ = std::move(now.localText);
}

const std::u16string& SystemLogEntry::TimeText() const {
  static const std::u16string kNoTime;
  return timeText_ ? *timeText_ : kNoTime;
}

ProcessEntry::ProcessEntry(Platform::System& system, VyrUtilities::DriveMap& driveMap,
                           const DriverRecord& record) {
  SetHeader(system, kEntryProcess, record.id2, 0);
  ReadRecord(record);
  if (state_ == kProcessStarted) {
    GetProcessImageAndOwner(system, driveMap, processId_, imagePath_, owner_);
  }
}

ProcessEntry::ProcessEntry(Platform::System& system, uint64_t actingProcessId,
                           uint64_t processId, uint32_t state, std::u16string imagePath,
                           std::u16string owner)
    : processId_(processId),
      imagePath_(std::move(imagePath)),
      owner_(std::move(owner)),
      state_(state) {
  SetHeader(system, kEntryProcess, actingProcessId, 0);
}

bool ProcessEntry::ReadRecord(const DriverRecord& record) {
  processId_ = record.id1;
  if (record.operation == kOpProcessStarted) {
    state_ = kProcessStarted;
  } else if (record.operation == kOpProcessEnded) {
    state_ = kProcessEnded;
  } else {
    return false;
  }
  return true;
}

ThreadEntry::ThreadEntry(Platform::System& system, const DriverRecord& record) {
  SetHeader(system, kEntryThread, record.id2, record.id3);
  ReadRecord(record);
}

bool ThreadEntry::ReadRecord(const DriverRecord& record) {
  subjectId_ = record.id1;
  if (record.operation == kOpThreadCreated) {
    state_ = kThreadCreated;
  } else if (record.operation == kOpThreadEnded) {
    state_ = kThreadEnded;
  } else {
    return false;
  }
  return true;
}

void FileEntry::SetFile(uint32_t operation, std::u16string path, uint32_t detailFlag) {
  operation_ = operation;
  path_ = std::move(path);
  detailFlag_ = detailFlag;
  secondPath_.clear();
}

void FileEntry::SetSecondPath(std::u16string_view newName) {
  // Rename targets reach the kernel as "\??\C:\dir\name"; only that exact prefix at
  // the start is dropped, so the stored path is in drive-letter form.
  constexpr std::u16string_view kObjectPrefix = u"\\??\\";
  if (newName.substr(0, kObjectPrefix.size()) == kObjectPrefix) {
    newName.remove_prefix(kObjectPrefix.size());
  }
  secondPath_ = newName;
}

}  // namespace Intake
