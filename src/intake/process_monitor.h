#pragma once
// Which program a process id belongs to. The engine's process table knows every
// running process with its image and owner, and marks the browser's processes and
// the product's two companion programs. Filled on the logger thread before the
// periodic thread starts, then used only by the periodic thread; no locks.

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "intake/system_log_entry.h"
#include "platform/system.h"

namespace VyrUtilities {
class DriveMap;
class VyrAppSettings;
}  // namespace VyrUtilities

namespace Intake {

class IProcessMonitor {
 public:
  virtual ~IProcessMonitor() = default;
  // Image path in drive-letter form; empty for an unknown process.
  virtual const std::u16string& GetProcessPath(uint64_t processId) const = 0;
  // "DOMAIN\name"; empty for an unknown process.
  virtual const std::u16string& GetProcessOwner(uint64_t processId) const = 0;
  virtual bool IsBrowserProcess(uint64_t processId) const = 0;
  // One of the two companion programs (never process 0).
  virtual bool IsGuardProcess(uint64_t processId) const = 0;
};

class ProcessMonitor : public IProcessMonitor {
 public:
  ProcessMonitor(Platform::System& system, VyrUtilities::DriveMap& driveMap);

  // Reads the browser path, derives the companion paths from the program path and
  // takes a snapshot of the running processes.
  void Initialise(const VyrUtilities::VyrAppSettings& settings);
  void OnProcessEntry(const ProcessEntry& entry);

  const std::u16string& GetProcessPath(uint64_t processId) const override;
  const std::u16string& GetProcessOwner(uint64_t processId) const override;
  bool IsBrowserProcess(uint64_t processId) const override;
  bool IsGuardProcess(uint64_t processId) const override;

  const std::u16string& BrowserPath() const { return browserPath_; }

 private:
  struct ProcessRecord {
    std::u16string imagePath;
    std::u16string owner;
  };

  void ReadBrowserPath();
  void TakeSnapshot();
  void ProcessStarted(uint64_t processId, const std::u16string& imagePath,
                      const std::u16string& owner);
  void ProcessEnded(uint64_t processId);

  Platform::System& system_;
  VyrUtilities::DriveMap& driveMap_;
  std::u16string empty_;
  std::map<uint64_t, ProcessRecord> processes_;
  std::set<uint64_t> browserProcesses_;
  std::u16string browserPath_;
  std::u16string guardPath_;
  std::u16string guardControlPath_;
  uint64_t guardProcessId_ = 0;
  uint64_t guardControlProcessId_ = 0;
};

// The engine's process table is the one process monitor of the service.
using ProcessTable = ProcessMonitor;

}  // namespace Intake
