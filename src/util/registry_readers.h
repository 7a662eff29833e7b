#pragma once
// Typed registry reads used for every value the scanners look at. A reader checks
// the value's type first (another type is a failure) and leaves its output
// untouched on failure, except where noted. The forms with a root and a subkey
// open the subkey for reading and close it again.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace VyrUtilities {

// REG_SZ or REG_EXPAND_SZ (not expanded), up to the first NUL unit. When the default
// value (empty name) does not exist, out becomes empty and the result is false.
bool ReadRegistryString(Platform::System& system, Platform::Handle key, std::u16string_view name,
                        std::u16string& out);
bool ReadRegistryString(Platform::System& system, Platform::Handle root,
                        std::u16string_view subKey, std::u16string_view name,
                        std::u16string& out);

// REG_MULTI_SZ: the strings are appended to list (an empty first string included;
// two NULs in a row end the list; text after the last NUL is dropped).
bool ReadRegistryMultiString(Platform::System& system, Platform::Handle key,
                             std::u16string_view name, std::vector<std::u16string>& list);
bool ReadRegistryMultiString(Platform::System& system, Platform::Handle root,
                             std::u16string_view subKey, std::u16string_view name,
                             std::vector<std::u16string>& list);

// REG_DWORD.
bool ReadRegistryDword(Platform::System& system, Platform::Handle key, std::u16string_view name,
                       uint32_t& out);
bool ReadRegistryDword(Platform::System& system, Platform::Handle root,
                       std::u16string_view subKey, std::u16string_view name, uint32_t& out);

// REG_BINARY: data replaced by the value's bytes.
bool ReadRegistryBinary(Platform::System& system, Platform::Handle key, std::u16string_view name,
                        std::vector<uint8_t>& data);
bool ReadRegistryBinary(Platform::System& system, Platform::Handle root,
                        std::u16string_view subKey, std::u16string_view name,
                        std::vector<uint8_t>& data);

// REG_SZ with its terminator.
bool WriteRegistryString(Platform::System& system, Platform::Handle key, std::u16string_view name,
                         std::u16string_view text);

// RegEnumValue and RegQueryValueEx that read a value of any length: the data buffer
// starts at 2048 bytes (one call for nearly every value) and grows to the size the
// registry names when it answers ERROR_MORE_DATA. A value that keeps growing between
// the calls is tried a few times before the ERROR_MORE_DATA stands. Names are read
// with room for the longest value name Windows allows (16,383 characters).
Platform::Win32Error EnumValueWhole(Platform::Registry& registry, Platform::Handle key,
                                    uint32_t index, std::u16string* name, uint32_t* type,
                                    std::vector<uint8_t>* data);
Platform::Win32Error QueryValueWhole(Platform::Registry& registry, Platform::Handle key,
                                     std::u16string_view name, uint32_t* type,
                                     std::vector<uint8_t>* data);

// Appends the name of every subkey of root\subKey to list; returns how many.
uint32_t EnumerateSubkeys(Platform::System& system, Platform::Handle root,
                          std::u16string_view subKey, std::vector<std::u16string>& list);

// The names of every subkey of key (260-character names), up to the first that
// cannot be read: unlike EnumerateSubkeys, a name too long for the buffer ends the
// list, which is how the rescan has always walked its keys.
std::vector<std::u16string> SubkeyNames(Platform::System& system, Platform::Handle key);

// The walk of REG_MULTI_SZ data shared by the readers and the log entries.
void AppendMultiStrings(const uint8_t* data, size_t size, std::vector<std::u16string>& list);

}  // namespace VyrUtilities
