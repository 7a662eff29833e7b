#pragma once
// Whether the test runs under Wine: Wine's ntdll exports wine_get_version, which no
// Windows ntdll has.
#include "platform/win32/win32_api.h"

namespace WineTest {

inline bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace WineTest
