#include "platform/win32/environment_win32.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::Win32Error;

// A text of known length into a caller's capacity that counts the terminator.
Win32Error Deliver(const wchar_t* text, size_t length, uint32_t capacity, std::u16string* out) {
  if (length + 1 > capacity) return ERROR_INSUFFICIENT_BUFFER;
  *out = FromWide(text, length);
  return ERROR_SUCCESS;
}

}  // namespace

// SHGetFolderPath without CSIDL_FLAG_CREATE: the folder is named, never made. Any
// failure (an unknown number, a folder this machine does not have) reads as "no
// such folder", the answer the seam gives for both.
Win32Error Environment::GetSpecialFolder(int csidl, uint32_t capacity, std::u16string* path) {
  wchar_t buffer[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK) {
    return ERROR_FILE_NOT_FOUND;
  }
  return Deliver(buffer, wcslen(buffer), capacity, path);
}

Win32Error Environment::GetVersionEx(Platform::OsVersionInfo* info) {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return LastError();
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  *info = {version.dwMajorVersion,    version.dwMinorVersion,    version.dwBuildNumber,
           version.dwPlatformId,      FromWide(version.szCSDVersion),
           version.wServicePackMajor, version.wServicePackMinor, version.wSuiteMask,
           version.wProductType,      system.wProcessorArchitecture};
  return ERROR_SUCCESS;
}

Win32Error Environment::ExpandEnvironmentStrings(std::u16string_view text, uint32_t capacity,
                                                 std::u16string* expanded, uint32_t* required) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  const DWORD answer = ExpandEnvironmentStringsW(Wide(text).c_str(), buffer.data(), capacity);
  if (answer == 0) return LastError();
  if (required != nullptr) *required = answer;
  if (answer > capacity) return ERROR_INSUFFICIENT_BUFFER;
  *expanded = FromWide(buffer.c_str());
  return ERROR_SUCCESS;
}

Win32Error Environment::GetEnvironmentVariable(std::u16string_view name, std::u16string* value) {
  const std::wstring wide = Wide(name);
  // Asked with no buffer, the call answers the size with the terminator, so even an
  // empty variable answers 1 and 0 always means failure.
  const DWORD needed = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (needed == 0) return LastError();
  std::wstring buffer(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide.c_str(), buffer.data(), needed);
  if (length >= needed) return ERROR_INSUFFICIENT_BUFFER;  // changed between the calls
  *value = FromWide(buffer.data(), length);
  return ERROR_SUCCESS;
}

// GetComputerName reports a short buffer as ERROR_BUFFER_OVERFLOW, unlike every
// other sized call; the seam states one rule for all of them (a capacity that does
// not hold the text and its terminator is ERROR_INSUFFICIENT_BUFFER), so the name
// is read whole and measured against the caller's capacity here.
Win32Error Environment::GetComputerName(uint32_t capacity, std::u16string* name) {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buffer, &length)) return LastError();
  return Deliver(buffer, length, capacity, name);
}

Win32Error Environment::GetModuleFileName(uint32_t capacity, std::u16string* path) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  return DeliverSized(GetModuleFileNameW(nullptr, buffer.data(), capacity), buffer, capacity,
                      path);
}

Win32Error Environment::GetCurrentUserSid(std::u16string* sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return LastError();
  std::vector<BYTE> user(256);
  DWORD size = 0;
  BOOL ok = GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    user.resize(size);
    ok = GetTokenInformation(token, TokenUser, user.data(), size, &size);
  }
  const Platform::Win32Error error = ok ? ERROR_SUCCESS : LastError();
  CloseHandle(token);
  if (error != ERROR_SUCCESS) return error;
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return LastError();
  *sid = FromWide(text);
  LocalFree(text);
  return ERROR_SUCCESS;
}

Win32Error Environment::GetCurrentDirectory(uint32_t capacity, std::u16string* path) {
  std::wstring buffer(std::max<uint32_t>(capacity, 1), L'\0');
  return DeliverSized(GetCurrentDirectoryW(capacity, buffer.data()), buffer, capacity, path);
}

uint16_t Environment::GetSystemDefaultLangId() { return GetSystemDefaultLangID(); }

Platform::SystemTime Environment::GetSystemTime() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  return FromSystemTime(now);
}

Platform::SystemTime Environment::GetLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return FromSystemTime(now);
}

Platform::FileTime Environment::GetSystemTimeAsFileTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return FromFileTime(now);
}

bool Environment::FileTimeToLocalSystemTime(Platform::FileTime utc, Platform::SystemTime* local) {
  const FILETIME time = ToFileTime(utc);
  SYSTEMTIME universal{}, converted{};
  if (!FileTimeToSystemTime(&time, &universal)) return false;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &converted)) return false;
  *local = FromSystemTime(converted);
  return true;
}

int64_t Environment::Time() { return static_cast<int64_t>(std::time(nullptr)); }

void Environment::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace Win32
