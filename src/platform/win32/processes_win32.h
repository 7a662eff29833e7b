#pragma once
// Platform::Processes over the toolhelp snapshot, process handles, security
// descriptors and the account lookup.

#include "platform/processes.h"

namespace Win32 {

class Processes final : public Platform::Processes {
 public:
  using Handle = Platform::Handle;
  using Win32Error = Platform::Win32Error;

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
};

}  // namespace Win32
