#include "platform/emulated/environment_view.h"

#include "platform/emulated/machine.h"

namespace Emulated {

using namespace Platform;

Win32Error EnvironmentView::GetSpecialFolder(int csidl, uint32_t capacity, std::u16string* path) { return Platform::kErrorNotSupported; }

Win32Error EnvironmentView::GetVersionEx(OsVersionInfo* info) { return Platform::kErrorNotSupported; }

Win32Error EnvironmentView::ExpandEnvironmentStrings(std::u16string_view text, uint32_t capacity, std::u16string* expanded, uint32_t* required) { return Platform::kErrorNotSupported; }

Win32Error EnvironmentView::GetEnvironmentVariable(std::u16string_view name, std::u16string* value) { return Platform::kErrorNotSupported; }

Win32Error EnvironmentView::GetComputerName(uint32_t capacity, std::u16string* name) { return Platform::kErrorNotSupported; }

Win32Error EnvironmentView::GetModuleFileName(uint32_t capacity, std::u16string* path) { return Platform::kErrorNotSupported; }

Win32Error EnvironmentView::GetCurrentDirectory(uint32_t capacity, std::u16string* path) { return Platform::kErrorNotSupported; }

uint16_t EnvironmentView::GetSystemDefaultLangId() { return 0; }

SystemTime EnvironmentView::GetSystemTime() { return {}; }

SystemTime EnvironmentView::GetLocalTime() { return {}; }

FileTime EnvironmentView::GetSystemTimeAsFileTime() { return {}; }

bool EnvironmentView::FileTimeToLocalSystemTime(FileTime utc, SystemTime* local) { return false; }

int64_t EnvironmentView::Time() { return 0; }

void EnvironmentView::Sleep(uint32_t milliseconds) {  }

}  // namespace Emulated
