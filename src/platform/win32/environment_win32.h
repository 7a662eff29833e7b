#pragma once
// Platform::Environment for the running process: shell folders, version, variables,
// names, clocks and Sleep.

#include "platform/environment.h"

namespace Win32 {

class Environment final : public Platform::Environment {
 public:
  using Win32Error = Platform::Win32Error;

  Win32Error GetSpecialFolder(int csidl, uint32_t capacity, std::u16string* path) override;
  Win32Error GetVersionEx(Platform::OsVersionInfo* info) override;
  Win32Error ExpandEnvironmentStrings(std::u16string_view text, uint32_t capacity,
                                      std::u16string* expanded, uint32_t* required) override;
  Win32Error GetEnvironmentVariable(std::u16string_view name, std::u16string* value) override;
  Win32Error GetComputerName(uint32_t capacity, std::u16string* name) override;
  Win32Error GetModuleFileName(uint32_t capacity, std::u16string* path) override;
  Win32Error GetCurrentDirectory(uint32_t capacity, std::u16string* path) override;
  Win32Error GetCurrentUserSid(std::u16string* sid) override;
  uint16_t GetSystemDefaultLangId() override;
  Platform::SystemTime GetSystemTime() override;
  Platform::SystemTime GetLocalTime() override;
  Platform::FileTime GetSystemTimeAsFileTime() override;
  bool FileTimeToLocalSystemTime(Platform::FileTime utc, Platform::SystemTime* local) override;
  int64_t Time() override;
  void Sleep(uint32_t milliseconds) override;
};

}  // namespace Win32
