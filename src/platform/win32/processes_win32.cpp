#include "platform/win32/processes_win32.h"

#include <algorithm>

#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::Win32Error;

// Closes a handle or frees a block when the routine that got it leaves.
template <typename T, auto Free>
struct Owned {
  T value{};
  ~Owned() {
    if (value) Free(value);
  }
};

}  // namespace

Win32Error Processes::SnapshotProcesses(std::vector<Platform::ProcessSnapshotEntry>* entries) {
  Owned<HANDLE, CloseHandle> snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
  if (snapshot.value == INVALID_HANDLE_VALUE) {
    snapshot.value = nullptr;
    return LastError();
  }
  std::vector<Platform::ProcessSnapshotEntry> found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.value, &entry); more;
       more = Process32NextW(snapshot.value, &entry)) {
    found.push_back({entry.th32ProcessID, entry.th32ParentProcessID, FromWide(entry.szExeFile)});
  }
  if (GetLastError() != ERROR_NO_MORE_FILES) return LastError();
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.processId < b.processId; });
  *entries = std::move(found);
  return ERROR_SUCCESS;
}

Win32Error Processes::OpenProcess(uint32_t processId, uint32_t access, Handle* process) {
  const HANDLE opened = ::OpenProcess(access, FALSE, processId);
  if (opened == nullptr) return LastError();
  *process = FromHandle(opened);
  return ERROR_SUCCESS;
}

Win32Error Processes::CloseProcess(Handle process) {
  return CloseHandle(ToHandle(process)) ? ERROR_SUCCESS : LastError();
}

Win32Error Processes::GetProcessImageFileName(Handle process, uint32_t capacity,
                                              std::u16string* image) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  const DWORD length = GetProcessImageFileNameW(ToHandle(process), buffer.data(), capacity);
  if (length == 0) return LastError();
  *image = FromWide(buffer.data(), length);
  return ERROR_SUCCESS;
}

// The size goes in as the buffer's capacity and comes back as the name's length
// without its terminator.
Win32Error Processes::QueryFullProcessImageName(Handle process, uint32_t flags, uint32_t capacity,
                                                std::u16string* image) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  DWORD length = capacity;
  if (!QueryFullProcessImageNameW(ToHandle(process), flags, buffer.data(), &length)) return LastError();
  *image = FromWide(buffer.data(), length);
  return ERROR_SUCCESS;
}

// Reading the owner needs READ_CONTROL, a right the callers' query handles do not
// carry: the process is opened again by its id for the read alone, so that the
// handle the caller holds keeps exactly the rights it asked for.
Win32Error Processes::GetProcessOwnerSid(Handle process, std::u16string* sid) {
  const DWORD processId = GetProcessId(ToHandle(process));
  if (processId == 0) return LastError();
  Owned<HANDLE, CloseHandle> reader{::OpenProcess(READ_CONTROL, FALSE, processId)};
  if (reader.value == nullptr) return LastError();
  PSID owner = nullptr;
  Owned<PSECURITY_DESCRIPTOR, LocalFree> descriptor;
  const DWORD result = GetSecurityInfo(reader.value, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION,
                                       &owner, nullptr, nullptr, nullptr, &descriptor.value);
  if (result != ERROR_SUCCESS) return result;
  if (owner == nullptr) return ERROR_INVALID_DATA;  // a descriptor without an owner
  Owned<LPWSTR, LocalFree> text;
  if (!ConvertSidToStringSidW(owner, &text.value)) return LastError();
  *sid = FromWide(text.value);
  return ERROR_SUCCESS;
}

Win32Error Processes::LookupAccountSid(std::u16string_view sid, std::u16string* name,
                                       std::u16string* domain) {
  Owned<PSID, LocalFree> binary;
  if (!ConvertStringSidToSidW(Wide(sid).c_str(), &binary.value)) return LastError();
  wchar_t account[256] = {}, authority[256] = {};
  DWORD accountLength = 256, authorityLength = 256;
  SID_NAME_USE use{};
  if (!LookupAccountSidW(nullptr, binary.value, account, &accountLength, authority,
                         &authorityLength, &use)) {
    return LastError();
  }
  *name = FromWide(account, accountLength);
  *domain = FromWide(authority, authorityLength);
  return ERROR_SUCCESS;
}

uint32_t Processes::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

uint32_t Processes::GetCurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace Win32
