#pragma once
// Environment of one process of the emulated machine: its owner's profile and
// variables, its image and current directory, and the machine's version and clock.

#include "platform/emulated/environment/environment_variables.h"
#include "platform/emulated/machine/view_context.h"
#include "platform/environment.h"

namespace Emulated {

class Machine;

class EnvironmentView : public Platform::Environment {
 public:
  EnvironmentView(Machine& machine, ViewContext context) : machine_(machine), context_(context) {}

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
  SystemTime GetSystemTime() override;
  SystemTime GetLocalTime() override;
  // The machine's clock runs apart from the host's.
  bool SqlClockIsMachineClock() override { return false; }
  FileTime GetSystemTimeAsFileTime() override;
  bool FileTimeToLocalSystemTime(FileTime utc, SystemTime* local) override;
  int64_t Time() override;
  void Sleep(uint32_t milliseconds) override;

 private:
  // The block of the acting process, built from its current owner each time (a
  // scenario may change the process record between calls).
  EnvironmentBlock Block() const;

  Machine& machine_;
  ViewContext context_;
};

}  // namespace Emulated
