#pragma once
// Processes of one process of the emulated machine: the snapshot, process handles of
// this process, owners and account names.
//
// The emulation keeps no privileges: the system's own processes and those of other
// users open as they do for a service running as LocalSystem. Protected processes
// grant only the limited query, synchronize, terminate and suspend rights, and their
// owner cannot be read (READ_CONTROL is refused), as on Windows.

#include "platform/processes.h"
#include "platform/emulated/machine/view_context.h"

namespace Emulated {

class Machine;

class ProcessesView : public Platform::Processes {
 public:
  ProcessesView(Machine& machine, ViewContext context) : machine_(machine), context_(context) {}

  Win32Error SnapshotProcesses(std::vector<Platform::ProcessSnapshotEntry>* entries) override;
  Win32Error OpenProcess(uint32_t processId, uint32_t access, Handle* process) override;
  Win32Error CloseProcess(Handle process) override;
  Win32Error GetProcessImageFileName(Handle process, uint32_t capacity,
                                     std::u16string* image) override;
  Win32Error QueryFullProcessImageName(Handle process, uint32_t flags, uint32_t capacity,
                                       std::u16string* image) override;
  Win32Error GetProcessOwnerSid(Handle process, std::u16string* sid) override;
  Win32Error LookupAccountSid(std::u16string_view sid, std::u16string* name,
                              std::u16string* domain) override;
  uint32_t GetCurrentProcessId() override;
  uint32_t GetCurrentThreadId() override;

 private:
  Machine& machine_;
  ViewContext context_;
};

}  // namespace Emulated
