#include "platform/emulated/environment/environment_variables.h"

#include <algorithm>

#include "platform/emulated/files/file_path.h"
#include "platform/win32_types.h"

namespace Emulated {
namespace {

void Put(EnvironmentBlock& block, std::u16string_view name, std::u16string value) {
  for (auto& [existing, current] : block) {
    if (EqualsIgnoreAsciiCase(existing, name)) {
      current = std::move(value);
      return;
    }
  }
  block.emplace_back(std::u16string(name), std::move(value));
}

std::optional<std::u16string> Configured(const MachineConfig& config, std::u16string_view name) {
  for (const auto& [key, value] : config.environment) {
    if (EqualsIgnoreAsciiCase(key, name)) return value;
  }
  return std::nullopt;
}

std::u16string SystemDrive(const MachineConfig& config) {
  return Configured(config, u"SystemDrive").value_or(u"C:");
}

std::u16string SystemRoot(const MachineConfig& config) {
  return Configured(config, u"SystemRoot").value_or(SystemDrive(config) + u"\\Windows");
}

// What a Windows 10 installation sets machine-wide; the 32-bit program folders
// exist on 64-bit systems only.
EnvironmentBlock MachineDefaults(const MachineConfig& config) {
  const std::u16string drive = SystemDrive(config);
  const std::u16string root = SystemRoot(config);
  const bool wide = config.version.processorArchitecture == Platform::kProcessorArchitectureAmd64;
  EnvironmentBlock block = {
      {u"ALLUSERSPROFILE", drive + u"\\ProgramData"},
      {u"CommonProgramFiles", drive + u"\\Program Files\\Common Files"},
      {u"COMPUTERNAME", config.computerName},
      {u"ComSpec", root + u"\\system32\\cmd.exe"},
      {u"NUMBER_OF_PROCESSORS", u"2"},
      {u"OS", u"Windows_NT"},
      {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {u"PROCESSOR_ARCHITECTURE", wide ? u"AMD64" : u"x86"},
      {u"ProgramData", drive + u"\\ProgramData"},
      {u"ProgramFiles", drive + u"\\Program Files"},
      {u"PUBLIC", drive + u"\\Users\\Public"},
      {u"SystemDrive", drive},
      {u"SystemRoot", root},
      {u"TEMP", root + u"\\TEMP"},
      {u"TMP", root + u"\\TEMP"},
      {u"windir", root},
  };
  if (wide) {
    Put(block, u"CommonProgramFiles(x86)", drive + u"\\Program Files (x86)\\Common Files");
    Put(block, u"CommonProgramW6432", drive + u"\\Program Files\\Common Files");
    Put(block, u"ProgramFiles(x86)", drive + u"\\Program Files (x86)");
    Put(block, u"ProgramW6432", drive + u"\\Program Files");
  }
  return block;
}

bool IsServiceAccount(std::u16string_view sid) {
  return sid == u"S-1-5-18" || sid == u"S-1-5-19" || sid == u"S-1-5-20";
}

}  // namespace

std::u16string ProfilePathOf(const MachineConfig& config, std::u16string_view sid) {
  const std::u16string root = SystemRoot(config);
  if (sid == u"S-1-5-18") return root + u"\\system32\\config\\systemprofile";
  if (sid == u"S-1-5-19") return root + u"\\ServiceProfiles\\LocalService";
  if (sid == u"S-1-5-20") return root + u"\\ServiceProfiles\\NetworkService";
  for (const auto& user : config.users) {
    if (EqualsIgnoreAsciiCase(user.sid, sid)) return user.profilePath;
  }
  return SystemDrive(config) + u"\\Users\\Default";
}

// The computer account stands for SYSTEM in USERNAME and USERDOMAIN, as in a
// LocalSystem process on a workgroup machine; service accounts get no home drive.
EnvironmentBlock BuildEnvironment(const MachineConfig& config, std::u16string_view ownerSid,
                                  std::u16string_view userName, std::u16string_view domain) {
  EnvironmentBlock block = MachineDefaults(config);
  for (const auto& [name, value] : config.environment) Put(block, name, value);
  const std::u16string profile = ProfilePathOf(config, ownerSid);
  const bool system = ownerSid == u"S-1-5-18";
  Put(block, u"USERPROFILE", profile);
  Put(block, u"APPDATA", profile + u"\\AppData\\Roaming");
  Put(block, u"LOCALAPPDATA", profile + u"\\AppData\\Local");
  Put(block, u"USERNAME", system ? config.computerName + u"$" : std::u16string(userName));
  Put(block, u"USERDOMAIN", system ? std::u16string(u"WORKGROUP") : std::u16string(domain));
  if (!IsServiceAccount(ownerSid)) {
    Put(block, u"HOMEDRIVE", profile.substr(0, 2));
    Put(block, u"HOMEPATH", profile.size() > 2 ? profile.substr(2) : u"\\");
    Put(block, u"TEMP", profile + u"\\AppData\\Local\\Temp");
    Put(block, u"TMP", profile + u"\\AppData\\Local\\Temp");
  }
  return block;
}

std::optional<std::u16string> FindVariable(const EnvironmentBlock& block, std::u16string_view name) {
  for (const auto& [key, value] : block) {
    if (EqualsIgnoreAsciiCase(key, name)) return value;
  }
  return std::nullopt;
}

std::u16string ExpandVariables(std::u16string_view text, const EnvironmentBlock& block) {
  std::u16string out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find(u'%', at);
    if (open == std::u16string_view::npos) break;
    const size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) break;
    out.append(text.substr(at, open - at));
    const auto value = close > open + 1 ? FindVariable(block, text.substr(open + 1, close - open - 1))
                                        : std::nullopt;
    // An unknown name is copied with both signs and the scan goes on after them.
    out += value ? *value : std::u16string(text.substr(open, close - open + 1));
    at = close + 1;
  }
  out.append(text.substr(std::min(at, text.size())));
  return out;
}

}  // namespace Emulated
