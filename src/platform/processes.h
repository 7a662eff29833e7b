#pragma once
// Processes and accounts: CreateToolhelp32Snapshot with Process32First/Next,
// OpenProcess, GetProcessImageFileName, QueryFullProcessImageName, GetSecurityInfo
// (owner), LookupAccountSid, GetCurrentProcessId and GetCurrentThreadId.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace Platform {

// The rights a protected process grants to anyone, besides
// PROCESS_QUERY_LIMITED_INFORMATION (in win32_types.h with the other query right).
inline constexpr uint32_t kProcessTerminate = 0x0001;
inline constexpr uint32_t kProcessSuspendResume = 0x0800;
inline constexpr uint32_t kSynchronize = 0x00100000;
// QueryFullProcessImageName: the image in device form instead of the Win32 form.
inline constexpr uint32_t kProcessNameNative = 0x1;

// PROCESSENTRY32W, the fields the system uses.
struct ProcessSnapshotEntry {
  uint32_t processId = 0;
  uint32_t parentProcessId = 0;
  std::u16string exeFile;  // the image's file name only
};

class Processes {
 public:
  virtual ~Processes() = default;

  // A toolhelp snapshot of every running process, in pid order.
  virtual Win32Error SnapshotProcesses(std::vector<ProcessSnapshotEntry>* entries) = 0;
  virtual Win32Error OpenProcess(uint32_t processId, uint32_t access, Handle* process) = 0;
  virtual Win32Error CloseProcess(Handle process) = 0;
  // GetProcessImageFileName: the image in device form (\Device\HarddiskVolume2\...).
  virtual Win32Error GetProcessImageFileName(Handle process, uint32_t capacity,
                                             std::u16string* image) = 0;
  // QueryFullProcessImageName: the image in Win32 form (C:\...), or in device form with
  // kProcessNameNative. Unlike the call above it needs only
  // PROCESS_QUERY_LIMITED_INFORMATION, the one query right a protected process grants.
  virtual Win32Error QueryFullProcessImageName(Handle process, uint32_t flags, uint32_t capacity,
                                               std::u16string* image) = 0;
  // GetSecurityInfo(OWNER_SECURITY_INFORMATION), the owner SID in its text form.
  virtual Win32Error GetProcessOwnerSid(Handle process, std::u16string* sid) = 0;
  // LookupAccountSid: account name and domain of a SID text.
  virtual Win32Error LookupAccountSid(std::u16string_view sid, std::u16string* name,
                                      std::u16string* domain) = 0;
  virtual uint32_t GetCurrentProcessId() = 0;
  virtual uint32_t GetCurrentThreadId() = 0;
};

}  // namespace Platform
