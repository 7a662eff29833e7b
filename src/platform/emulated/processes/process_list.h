#pragma once
// The machine's processes and accounts. Processes 0 ("System Idle") and 4 ("System")
// always exist, as on Windows.
//
// Process ids and thread ids come from one pool, as Windows hands out client ids:
// multiples of 4, never shared by a live process and a live thread.
//
// Threads: every operation may be called from any thread.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/emulated/machine/machine_config.h"
#include "platform/emulated/processes/process_handles.h"

namespace Emulated {

struct ProcessRecord {
  uint32_t processId = 0;
  uint32_t parentProcessId = 0;
  std::u16string imagePath;  // drive-letter form, C:\Windows\explorer.exe; empty for 0 and 4
  std::u16string ownerSid;   // S-1-5-18 for system processes
  std::u16string currentDirectory;
  std::u16string serviceName;  // set when the service control manager started it
  std::set<uint32_t> threads;
  // A protected process (services.exe, csrss.exe, lsass.exe under RunAsPPL) opens
  // for nobody with more than the limited query, synchronize, terminate and
  // suspend rights, LocalSystem included.
  bool protectedProcess = false;
  // Files the process holds open until it exits (a scenario's "file hold").
  std::vector<Platform::Handle> heldFiles;
};

struct AccountRecord {
  std::u16string sid;
  std::u16string domain;
  std::u16string name;
};

class ProcessList {
 public:
  static constexpr uint32_t kIdleProcessId = 0;
  static constexpr uint32_t kSystemProcessId = 4;

  explicit ProcessList(const MachineConfig& config);

  // Adds or replaces a process record.
  void Add(ProcessRecord record);
  // Adds the record unless its id is held by a live process or thread.
  bool AddIfFree(ProcessRecord record);
  // Removes the process; false when it did not exist.
  bool Remove(uint32_t processId);
  std::optional<ProcessRecord> Find(uint32_t processId) const;
  std::vector<ProcessRecord> All() const;
  // A process id not in use, a multiple of 4 as Windows hands them out.
  uint32_t NewProcessId();
  // A thread id not in use by any process or thread.
  uint32_t NewThreadId();
  void AddThread(uint32_t processId, uint32_t threadId);
  void RemoveThread(uint32_t processId, uint32_t threadId);
  // Remembers a file handle the process keeps until it exits; false for an unknown process.
  bool AddHeldFile(uint32_t processId, Platform::Handle file);
  // The process a live thread belongs to.
  std::optional<uint32_t> FindThreadOwner(uint32_t threadId) const;

  std::optional<AccountRecord> FindAccount(std::u16string_view sid) const;
  void AddAccount(AccountRecord account);

  // Open process handles of every process of the machine.
  ProcessHandles& Handles() { return handles_; }

 private:
  uint32_t NewClientIdLocked();
  bool IdInUseLocked(uint32_t id) const;

  mutable std::mutex mutex_;
  std::map<uint32_t, ProcessRecord> processes_;
  std::map<uint32_t, uint32_t> threadOwners_;
  std::vector<AccountRecord> accounts_;
  uint32_t nextClientId_ = 1000;
  ProcessHandles handles_;
};

}  // namespace Emulated
