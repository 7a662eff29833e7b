#include "intake/process_monitor.h"

#include "fileinfo/process_identity.h"
#include "util/app_settings.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using FileInfo::GetProcessImageAndOwner;

namespace Intake {

using VyrUtilities::EqualsIgnoreCase;

namespace {

constexpr std::u16string_view kBrowserAppPathKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

}  // namespace

ProcessMonitor::ProcessMonitor(Platform::System& system, VyrUtilities::DriveMap& driveMap)
    : system_(system), driveMap_(driveMap) {}

void ProcessMonitor::Initialise(const VyrUtilities::VyrAppSettings& settings) {
  ReadBrowserPath();
  guardPath_ = settings.ProgramPath() + u"\\BrumevaleGuard.exe";
  guardControlPath_ = settings.ProgramPath() + u"\\BrumevaleGuardControl.exe";
  TakeSnapshot();
}

void ProcessMonitor::ReadBrowserPath() {
  if (!VyrUtilities::ReadRegistryString(system_, Platform::kHkeyLocalMachine, kBrowserAppPathKey,
                                        u"", browserPath_)) {
    browserPath_.clear();
  }
}

// Companion ids are not taken from the snapshot: they are learned from start
// entries only, so a companion that was already running is not recognised.
void ProcessMonitor::TakeSnapshot() {
  std::vector<Platform::ProcessSnapshotEntry> snapshot;
  if (system_.Processes().SnapshotProcesses(&snapshot) != Platform::kErrorSuccess) return;
  for (const Platform::ProcessSnapshotEntry& process : snapshot) {
    ProcessRecord record;
    GetProcessImageAndOwner(system_, driveMap_, process.processId, record.imagePath,
                            record.owner);
    if (!browserPath_.empty() && EqualsIgnoreCase(record.imagePath, browserPath_)) {
      browserProcesses_.insert(process.processId);
    }
    processes_[process.processId] = std::move(record);
  }
}

void ProcessMonitor::OnProcessEntry(const ProcessEntry& entry) {
  if (entry.State() == kProcessStarted) {
    ProcessStarted(entry.ProcessId(), entry.ImagePath(), entry.Owner());
  } else {
    ProcessEnded(entry.ProcessId());
  }
}

void ProcessMonitor::ProcessStarted(uint64_t processId, const std::u16string& imagePath,
                                    const std::u16string& owner) {
  // A reused id: the old process is gone, and so is its browser mark.
  browserProcesses_.erase(processId);
  processes_[processId] = ProcessRecord{imagePath, owner};
  if (!guardPath_.empty() && EqualsIgnoreCase(imagePath, guardPath_) && guardProcessId_ == 0) {
    guardProcessId_ = processId;
  } else if (!guardControlPath_.empty() && EqualsIgnoreCase(imagePath, guardControlPath_) &&
             guardControlProcessId_ == 0) {
    guardControlProcessId_ = processId;
  } else if (!browserPath_.empty() && EqualsIgnoreCase(imagePath, browserPath_)) {
    browserProcesses_.insert(processId);
  }
}

void ProcessMonitor::ProcessEnded(uint64_t processId) {
  browserProcesses_.erase(processId);
  if (IsGuardProcess(processId)) {
    if (guardProcessId_ == processId) {
      guardProcessId_ = 0;
    } else {
      guardControlProcessId_ = 0;
    }
  }
  processes_.erase(processId);
}

const std::u16string& ProcessMonitor::GetProcessPath(uint64_t processId) const {
  const auto found = processes_.find(processId);
  return found == processes_.end() ? empty_ : found->second.imagePath;
}

const std::u16string& ProcessMonitor::GetProcessOwner(uint64_t processId) const {
  const auto found = processes_.find(processId);
  return found == processes_.end() ? empty_ : found->second.owner;
}

bool ProcessMonitor::IsBrowserProcess(uint64_t processId) const {
  return browserProcesses_.count(processId) != 0;
}

bool ProcessMonitor::IsGuardProcess(uint64_t processId) const {
  return processId != 0 &&
         (processId == guardProcessId_ || processId == guardControlProcessId_);
}

}  // namespace Intake
