#include "platform/emulated/environment/environment_view.h"

#include <chrono>
#include <thread>

#include "platform/emulated/files/file_path.h"
#include "platform/emulated/machine/machine.h"

namespace Emulated {

using namespace Platform;

namespace {

// The seam's capacity rule: a result of N characters needs N + 1.
Win32Error Deliver(const std::u16string& result, uint32_t capacity, std::u16string* out) {
  if (capacity < result.size() + 1) return kErrorInsufficientBuffer;
  if (out != nullptr) *out = result;
  return kErrorSuccess;
}

// The shell folders as a Windows 10 installation lays them out, from the variables
// that name their roots.
std::optional<std::u16string> SpecialFolder(int csidl, const EnvironmentBlock& block, bool wide) {
  auto var = [&](std::u16string_view name) { return FindVariable(block, name).value_or(u""); };
  const std::u16string profile = var(u"USERPROFILE");
  const std::u16string root = var(u"SystemRoot");
  switch (csidl) {
    case kCsidlPersonal: return profile + u"\\Documents";
    case kCsidlStartup:
      return var(u"APPDATA") + u"\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    case kCsidlCommonStartup:
      return var(u"ProgramData") + u"\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";
    case kCsidlAppData: return var(u"APPDATA");
    case kCsidlCommonAppData: return var(u"ProgramData");
    case kCsidlWindows: return root;
    case kCsidlSystem: return root + u"\\system32";
    case kCsidlProgramFiles: return var(u"ProgramFiles");
    case kCsidlProfile: return profile;
    // A 32-bit Windows has no SysWOW64: its 32-bit system folder is system32.
    case kCsidlSystemX86: return root + (wide ? u"\\SysWOW64" : u"\\system32");
    default: return std::nullopt;
  }
}

}  // namespace

EnvironmentBlock EnvironmentView::Block() const {
  const auto process = machine_.ProcessTable().Find(context_.processId);
  // A process the table does not know acts as the service does, as SYSTEM.
  const std::u16string sid = process ? process->ownerSid : u"S-1-5-18";
  const auto account = machine_.ProcessTable().FindAccount(sid);
  return BuildEnvironment(machine_.Config(), sid, account ? account->name : u"",
                          account ? account->domain : u"");
}

Win32Error EnvironmentView::GetSpecialFolder(int csidl, uint32_t capacity, std::u16string* path) {
  const bool wide =
      machine_.Config().version.processorArchitecture == kProcessorArchitectureAmd64;
  const auto folder = SpecialFolder(csidl, Block(), wide);
  if (!folder) return kErrorFileNotFound;
  return Deliver(*folder, capacity, path);
}

Win32Error EnvironmentView::GetVersionEx(OsVersionInfo* info) {
  if (info == nullptr) return kErrorInvalidParameter;
  *info = machine_.Config().version;
  return kErrorSuccess;
}

Win32Error EnvironmentView::ExpandEnvironmentStrings(std::u16string_view text, uint32_t capacity,
                                                     std::u16string* expanded,
                                                     uint32_t* required) {
  const std::u16string result = ExpandVariables(text, Block());
  if (required != nullptr) *required = static_cast<uint32_t>(result.size() + 1);
  return Deliver(result, capacity, expanded);
}

Win32Error EnvironmentView::GetEnvironmentVariable(std::u16string_view name, std::u16string* value) {
  const auto found = FindVariable(Block(), name);
  if (!found) return kErrorEnvvarNotFound;
  if (value != nullptr) *value = *found;
  return kErrorSuccess;
}

Win32Error EnvironmentView::GetComputerName(uint32_t capacity, std::u16string* name) {
  return Deliver(machine_.Config().computerName, capacity, name);
}

Win32Error EnvironmentView::GetModuleFileName(uint32_t capacity, std::u16string* path) {
  const auto process = machine_.ProcessTable().Find(context_.processId);
  if (!process || process->imagePath.empty()) return kErrorFileNotFound;
  return Deliver(process->imagePath, capacity, path);
}

Win32Error EnvironmentView::GetCurrentUserSid(std::u16string* sid) {
  const auto process = machine_.ProcessTable().Find(context_.processId);
  if (!process || process->ownerSid.empty()) return kErrorInvalidHandle;
  *sid = process->ownerSid;
  return kErrorSuccess;
}

Win32Error EnvironmentView::GetCurrentDirectory(uint32_t capacity, std::u16string* path) {
  const auto process = machine_.ProcessTable().Find(context_.processId);
  const std::u16string current = process && !process->currentDirectory.empty()
                                     ? process->currentDirectory
                                     : std::u16string(kDefaultCurrentDirectory);
  return Deliver(current, capacity, path);
}

uint16_t EnvironmentView::GetSystemDefaultLangId() { return machine_.Config().systemDefaultLangId; }

SystemTime EnvironmentView::GetSystemTime() { return Clock::ToSystemTime(machine_.Time().NowUtc()); }

SystemTime EnvironmentView::GetLocalTime() {
  Clock& clock = machine_.Time();
  return Clock::ToSystemTime(clock.UtcToLocal(clock.NowUtc()));
}

FileTime EnvironmentView::GetSystemTimeAsFileTime() { return machine_.Time().NowUtc(); }

// FileTimeToSystemTime refuses times with the top bit set.
bool EnvironmentView::FileTimeToLocalSystemTime(FileTime utc, SystemTime* local) {
  if (local == nullptr || (utc >> 63) != 0) return false;
  *local = Clock::ToSystemTime(machine_.Time().UtcToLocal(utc));
  return true;
}

int64_t EnvironmentView::Time() { return machine_.Time().NowSeconds(); }

void EnvironmentView::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace Emulated
