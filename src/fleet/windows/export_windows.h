#pragma once
// brumevale.exe export on Windows: the Linux command with the machine's own name, id
// (MachineGuid) and record, a password file that only SYSTEM and the Administrators
// may read, and "export --service": the exporter as the service "BrumevaleExport",
// its settings from the product's registry key.

#include <iosfwd>
#include <string>
#include <vector>

namespace Fleet {

inline constexpr char16_t kExportServiceName[] = u"BrumevaleExport";
// HKLM\<key>: Servers (URL[,URL...]), CredentialsFile and CAFile, all REG_SZ.
inline constexpr char16_t kExportSettingsKey[] = u"SOFTWARE\\Kelvra Security\\Brumevale\\Export";

// args: "export" and its arguments. The exit codes are those of the Linux command.
// err takes the problems, and under --service those the log file cannot take.
int RunWindowsExport(const std::vector<std::string>& args, std::ostream& err);

}  // namespace Fleet
