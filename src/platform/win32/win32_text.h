#pragma once
// Text and handle conversions between the seam's types and Win32's. wchar_t is the
// same 16-bit unit as char16_t on Windows, so text is copied, never transcoded.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32/win32_api.h"
#include "platform/win32_types.h"

namespace Win32 {

// A NUL-terminated copy for the W functions.
std::wstring Wide(std::u16string_view text);
// Null for an empty text: the calls whose "no name" is a null pointer.
const wchar_t* WideOrNull(const std::wstring& text);
std::u16string FromWide(const wchar_t* text, size_t length);
std::u16string FromWide(const wchar_t* text);

// The seam's predefined key numbers are the 32-bit values of HKEY_*; Win32's are
// those values sign-extended to a pointer.
HKEY ToHkey(Platform::Handle key);
HANDLE ToHandle(Platform::Handle handle);
Platform::Handle FromHandle(HANDLE handle);

Platform::FileTime FromFileTime(const FILETIME& time);
FILETIME ToFileTime(Platform::FileTime time);
Platform::SystemTime FromSystemTime(const SYSTEMTIME& time);

// GetLastError as the seam's error number.
Platform::Win32Error LastError();

// For the calls that answer the text's length when it fitted the buffer and the
// capacity it needs (terminator included) when it did not, 0 on failure: the text
// into *out, or the error; *required (may be null) gets the capacity needed.
Platform::Win32Error DeliverSized(DWORD answer, const std::wstring& buffer, uint32_t capacity,
                                  std::u16string* out, uint32_t* required = nullptr);

}  // namespace Win32
