#include "platform/win32/win32_text.h"

namespace Win32 {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

const wchar_t* WideOrNull(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

std::u16string FromWide(const wchar_t* text, size_t length) {
  return std::u16string(text, text + length);
}

std::u16string FromWide(const wchar_t* text) { return FromWide(text, wcslen(text)); }

HKEY ToHkey(Platform::Handle key) {
  if (Platform::IsPredefinedKey(key)) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(key)));
  }
  return reinterpret_cast<HKEY>(key);
}

HANDLE ToHandle(Platform::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

Platform::Handle FromHandle(HANDLE handle) { return reinterpret_cast<Platform::Handle>(handle); }

Platform::FileTime FromFileTime(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(Platform::FileTime time) {
  return {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

Platform::SystemTime FromSystemTime(const SYSTEMTIME& time) {
  return {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay,
          time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
}

Platform::Win32Error LastError() { return static_cast<Platform::Win32Error>(GetLastError()); }

Platform::Win32Error DeliverSized(DWORD answer, const std::wstring& buffer, uint32_t capacity,
                                  std::u16string* out, uint32_t* required) {
  if (answer == 0) return LastError();
  if (answer >= capacity) {
    if (required != nullptr) *required = answer;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  *out = FromWide(buffer.data(), answer);
  if (required != nullptr) *required = answer + 1;
  return ERROR_SUCCESS;
}

}  // namespace Win32
