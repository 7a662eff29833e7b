#pragma once
// Where the stand-in Filter Manager library finds the driver records that test
// programs queue for it: a folder below the machine's common application data.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace StandIn {

inline std::wstring QueueFolder() {
  wchar_t data[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
  return std::wstring(data) + L"\\BrumevaleStandInQueue";
}

}  // namespace StandIn
