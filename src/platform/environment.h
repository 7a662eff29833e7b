#pragma once
// The process's surroundings: special folders, OS version, environment variables,
// computer name, module file name, current directory, language, clocks and Sleep.
// All answers are those of the calling process (its user, its current directory).

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace Platform {

// OSVERSIONINFOEX and the processor architecture of GetNativeSystemInfo.
struct OsVersionInfo {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;
  std::u16string csdVersion;
  uint16_t servicePackMajor = 0;
  uint16_t servicePackMinor = 0;
  uint16_t suiteMask = 0;
  uint8_t productType = 0;
  uint16_t processorArchitecture = 0;
};

class Environment {
 public:
  virtual ~Environment() = default;

  // SHGetSpecialFolderPath / SHGetFolderLocation + SHGetPathFromIDList without
  // creating the folder. Unknown CSIDL: kErrorFileNotFound.
  virtual Win32Error GetSpecialFolder(int csidl, uint32_t capacity, std::u16string* path) = 0;
  // GetVersionEx with the extended structure, plus the processor architecture.
  virtual Win32Error GetVersionEx(OsVersionInfo* info) = 0;
  // ExpandEnvironmentStrings: unknown %NAME% stays as written. *required is the
  // needed capacity in characters including the terminator; a result that does not
  // fit capacity leaves *expanded untouched and returns kErrorInsufficientBuffer.
  virtual Win32Error ExpandEnvironmentStrings(std::u16string_view text, uint32_t capacity,
                                              std::u16string* expanded,
                                              uint32_t* required) = 0;
  virtual Win32Error GetEnvironmentVariable(std::u16string_view name, std::u16string* value) = 0;
  virtual Win32Error GetComputerName(uint32_t capacity, std::u16string* name) = 0;
  // GetModuleFileName(NULL): the full path of the running program.
  virtual Win32Error GetModuleFileName(uint32_t capacity, std::u16string* path) = 0;
  virtual Win32Error GetCurrentDirectory(uint32_t capacity, std::u16string* path) = 0;
  // GetTokenInformation(TokenUser) of the process's own token: the account the
  // process runs as, in its SID text form (S-1-5-18 for a LocalSystem service).
  virtual Win32Error GetCurrentUserSid(std::u16string* sid) = 0;
  virtual uint16_t GetSystemDefaultLangId() = 0;

  // Clocks of the machine. The local time follows the machine's time zone.
  virtual SystemTime GetSystemTime() = 0;
  virtual SystemTime GetLocalTime() = 0;
  virtual FileTime GetSystemTimeAsFileTime() = 0;
  // FileTimeToSystemTime then SystemTimeToTzSpecificLocalTime with the current zone.
  virtual bool FileTimeToLocalSystemTime(FileTime utc, SystemTime* local) = 0;
  // time(): calendar seconds since 1970 UTC.
  virtual int64_t Time() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Whether SQLite's own clock (the computer it runs on) is this machine's clock.
  // True on Windows; a machine that keeps a clock of its own answers false, and the
  // database then takes "now" and the time zone from the clocks above.
  virtual bool SqlClockIsMachineClock() { return true; }
};

}  // namespace Platform
