#include "platform/emulated/regedit/regedit_roots.h"

#include <array>
#include <utility>

#include "platform/emulated/registry/registry_key.h"

namespace Emulated {

namespace {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;

struct RootName {
  std::u16string_view name;
  std::u16string_view storePath;  // empty: the current user's hive
};

constexpr std::array<RootName, 10> kRoots{{
    {u"HKEY_LOCAL_MACHINE", u"MACHINE"},
    {u"HKLM", u"MACHINE"},
    {u"HKEY_USERS", u"USER"},
    {u"HKU", u"USER"},
    {u"HKEY_CLASSES_ROOT", u"MACHINE\\SOFTWARE\\Classes"},
    {u"HKCR", u"MACHINE\\SOFTWARE\\Classes"},
    {u"HKEY_CURRENT_USER", u""},
    {u"HKCU", u""},
    {u"HKEY_CURRENT_CONFIG", u"MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
    {u"HKCC", u"MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
}};

bool CheckNames(std::u16string_view rest, std::u16string* problem) {
  size_t depth = 0;
  size_t pos = 0;
  while (pos <= rest.size() && !rest.empty()) {
    size_t end = rest.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = rest.size();
    const size_t length = end - pos;
    if (length == 0) {
      *problem = u"empty key name in the path";
      return false;
    }
    if (length > kMaxKeyNameLength) {
      *problem = u"key name longer than 255 characters";
      return false;
    }
    if (++depth > kMaxKeyDepth) {
      *problem = u"key path deeper than 512 levels";
      return false;
    }
    pos = end + 1;
  }
  return true;
}

}  // namespace

bool RegeditKeyToStorePath(std::u16string_view visiblePath, std::u16string_view currentUserSid,
                           std::u16string* storePath, std::u16string* problem) {
  const size_t split = visiblePath.find(u'\\');
  const std::u16string_view root = visiblePath.substr(0, split);
  const std::u16string_view rest =
      split == std::u16string_view::npos ? std::u16string_view() : visiblePath.substr(split + 1);
  for (const RootName& known : kRoots) {
    if (!RegistryNamesEqual(known.name, root)) continue;
    if (split != std::u16string_view::npos && rest.empty()) {
      *problem = u"key path ends with a backslash";
      return false;
    }
    if (!CheckNames(rest, problem)) return false;
    std::u16string path = known.storePath.empty() ? u"USER\\" + std::u16string(currentUserSid)
                                                  : std::u16string(known.storePath);
    if (!rest.empty()) path += u'\\';
    path += rest;
    *storePath = std::move(path);
    return true;
  }
  *problem = u"unknown root key \"" + std::u16string(root) + u"\"";
  return false;
}

}  // namespace Emulated
