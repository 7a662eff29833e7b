#include "fileinfo/user_identity.h"

#include <algorithm>

#include "platform/scoped_handle.h"
#include "util/text_routines.h"

namespace FileInfo {

using VyrUtilities::EqualsIgnoreCase;

namespace {

constexpr uint32_t kNameCapacity = 260;
constexpr std::u16string_view kProfileListKey =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::u16string_view kClassesSuffix = u"_Classes";

bool IsWellKnownHive(std::u16string_view text) {
  for (std::u16string_view name : {u".DEFAULT", u"S-1-5-18", u"S-1-5-19", u"S-1-5-20"}) {
    if (EqualsIgnoreCase(text, name)) return true;
  }
  return false;
}

// Calls visit with every subkey name of root\subKey; false when the key cannot be
// opened. Each name is read with the 260-character buffer the registry APIs use.
template <typename Visit>
bool ForEachSubkey(Platform::System& system, Platform::Handle root, std::u16string_view subKey,
                   Visit visit) {
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  if (registry.OpenKey(root, subKey, Platform::kKeyRead, key.Receive(registry)) !=
      Platform::kErrorSuccess) {
    return false;
  }
  std::u16string name;
  for (uint32_t index = 0;; ++index) {
    const Platform::Win32Error error = registry.EnumKey(key.Get(), index, kNameCapacity, &name);
    if (error == Platform::kErrorMoreData) continue;  // a name too long for the buffer
    if (error != Platform::kErrorSuccess) break;
    visit(name);
  }
  return true;
}

}  // namespace

bool SidLess::operator()(std::u16string_view a, std::u16string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) {
                                        return VyrUtilities::FoldAscii(x) <
                                               VyrUtilities::FoldAscii(y);
                                      });
}

bool IsUserSid(std::u16string_view text) {
  if (text.size() == 8) return IsWellKnownHive(text);
  std::vector<std::u16string> pieces;
  VyrUtilities::Split(text, u'-', pieces);
  if (pieces.size() != 8) return false;
  if (!EqualsIgnoreCase(pieces[0], u"S") || pieces[1] != u"1" || pieces[2] != u"5" ||
      pieces[3] != u"21") {
    return false;
  }
  return std::all_of(pieces.begin() + 4, pieces.end(),
                     [](const std::u16string& piece) { return VyrUtilities::IsDigits(piece); });
}

bool IsUserClassesHive(std::u16string_view text) {
  std::vector<std::u16string> pieces;
  VyrUtilities::Split(text, u'_', pieces, 1);
  return pieces.size() == 2 && IsUserSid(pieces[0]) && EqualsIgnoreCase(pieces[1], u"Classes");
}

bool CollectControlSets(Platform::System& system, std::vector<std::u16string>& controlSets) {
  ForEachSubkey(system, Platform::kHkeyLocalMachine, u"SYSTEM", [&](const std::u16string& name) {
    if (name.compare(0, 10, u"ControlSet") == 0) controlSets.push_back(name);
  });
  return true;
}

bool LoadProfileTable(Platform::System& system, UserTable& table) {
  table.clear();
  Platform::Registry& registry = system.Registry();
  return ForEachSubkey(system, Platform::kHkeyLocalMachine, kProfileListKey,
                       [&](const std::u16string& sid) {
                         Platform::ScopedKey hive;
                         const bool loaded =
                             registry.OpenKey(Platform::kHkeyUsers, sid, Platform::kKeyRead,
                                              hive.Receive(registry)) == Platform::kErrorSuccess;
                         table.emplace(sid, loaded ? 1u : 0u);
                       });
}

bool FindProfile(const UserTable& table, std::u16string_view hiveName, uint32_t* loaded) {
  const size_t suffix = hiveName.find(kClassesSuffix);
  if (suffix != std::u16string_view::npos) hiveName = hiveName.substr(0, suffix);
  const auto found = table.find(hiveName);
  if (found == table.end()) return false;
  if (loaded != nullptr) *loaded = found->second;
  return true;
}

}  // namespace FileInfo
