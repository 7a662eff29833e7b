#pragma once
// Writing a key and everything below it as a regedit file, in the form regedit
// itself writes: "Windows Registry Editor Version 5.00", CR LF line ends, strings
// quoted, DWORDs as dword:, everything else as hex(N): byte lists wrapped with "\".
// Links are not followed (CurrentControlSet is not written twice), so a file
// exported here and imported again gives back the same tree in the same place.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Emulated {

class RegistryStore;

// keyPath as regedit names it: "HKEY_LOCAL_MACHINE\SOFTWARE", "HKEY_USERS\<SID>".
// utf16: UTF-16LE with byte-order mark, as regedit writes; else UTF-8 without one.
// A key that does not exist gives a file with the header only.
std::vector<uint8_t> ExportRegedit(const RegistryStore& store, std::u16string_view keyPath,
                                   bool utf16 = true);
bool ExportRegeditFile(const RegistryStore& store, std::u16string_view keyPath,
                       const std::string& hostPath, bool utf16 = true);

// Several keys one after the other in one file (a file that held several hives).
std::vector<uint8_t> ExportRegedit(const RegistryStore& store,
                                   std::span<const std::u16string> keyPaths, bool utf16 = true);
bool ExportRegeditFile(const RegistryStore& store, std::span<const std::u16string> keyPaths,
                       const std::string& hostPath, bool utf16 = true);

}  // namespace Emulated
