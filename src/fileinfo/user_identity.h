#pragma once
// Which hives under HKEY_USERS belong to real users, which control sets the machine
// has, and which user profiles exist and are loaded.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace FileInfo {

// Profile SIDs are registry key names, so they compare ignoring the case of A to Z
// like every other key name; a hive name taken from a kernel path finds its profile
// whatever case the kernel reported it in.
struct SidLess {
  bool operator()(std::u16string_view a, std::u16string_view b) const;
  using is_transparent = void;
};

// Profile SID -> 1 when that user's hive is loaded under HKEY_USERS, else 0.
using UserTable = std::map<std::u16string, uint32_t, SidLess>;

// A logged-on user's hive name: ".DEFAULT", the three service accounts, or a local
// or domain account SID (S-1-5-21-a-b-c-rid).
bool IsUserSid(std::u16string_view text);
// A user's classes hive name: a user SID followed by "_Classes".
bool IsUserClassesHive(std::u16string_view text);

// Appends the subkeys of HKEY_LOCAL_MACHINE\SYSTEM whose names begin with
// "ControlSet" (letter case significant), in enumeration order. Always true; an
// unreadable SYSTEM key leaves the list unchanged.
bool CollectControlSets(Platform::System& system, std::vector<std::u16string>& controlSets);

// Rebuilds table from the ProfileList key. False when that key cannot be read.
bool LoadProfileTable(Platform::System& system, UserTable& table);

// Looks the profile of a hive name up ("_Classes" and what follows are ignored).
// loaded, when given, receives the profile's flag.
bool FindProfile(const UserTable& table, std::u16string_view hiveName,
                 uint32_t* loaded = nullptr);

}  // namespace FileInfo
