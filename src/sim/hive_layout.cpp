#include "sim/hive_layout.h"

#include <algorithm>
#include <array>

#include "platform/emulated/registry/registry_key.h"
#include "platform/text_encoding.h"

namespace Sim {
namespace {

constexpr std::u16string_view kConfigFolder = u"C:\\Windows\\System32\\config\\";
constexpr std::u16string_view kClassesFile = u"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.reg";

struct ServiceAccount {
  std::u16string_view sid;
  std::u16string_view profile;
};

// The built-in accounts that services run as. Windows loads their hives at boot and
// keeps them in these profile folders; a hive file of a profile is named NTUSER.
constexpr std::array<ServiceAccount, 3> kServiceAccounts{{
    {u"S-1-5-18", u"C:\\Windows\\System32\\config\\systemprofile"},
    {u"S-1-5-19", u"C:\\Windows\\ServiceProfiles\\LocalService"},
    {u"S-1-5-20", u"C:\\Windows\\ServiceProfiles\\NetworkService"},
}};

// A profile must stay inside its drive: no "." or ".." steps, no characters that
// Windows refuses in names (they would mean something else on the host).
bool IsPlainDrivePath(std::u16string_view path) {
  if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return false;
  if (!((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'))) return false;
  size_t start = 3;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view step = path.substr(start, end - start);
    if (step.empty() || step == u"." || step == u"..") return false;
    for (char16_t c : step) {
      if (c < 0x20 || std::u16string_view(u"/:*?\"<>|").find(c) != std::u16string_view::npos) return false;
    }
    start = end + 1;
  }
  return true;
}

std::u16string_view Step(std::u16string_view path, size_t index) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) {
    start = path.find(u'\\', start);
    if (start == std::u16string_view::npos) return {};
    ++start;
  }
  return path.substr(start, path.find(u'\\', start) - start);
}

bool Contains(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::u16string& n) { return Emulated::RegistryNamesEqual(n, name); });
}

std::u16string VisiblePath(std::u16string_view storePath) {
  const bool machine = Step(storePath, 0) == u"MACHINE";
  const size_t root = storePath.find(u'\\');
  const std::u16string rest = root == std::u16string_view::npos ? u"" : std::u16string(storePath.substr(root));
  return (machine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_USERS") + rest;
}

}  // namespace

std::optional<HiveLayout> HiveLayout::Make(const std::string& folder, const ImageManifest& manifest,
                                           std::string* error) {
  HiveLayout layout;
  const auto config = [&](std::u16string_view name, std::u16string_view hive, bool required) {
    const std::u16string file = std::u16string(kConfigFolder) + std::u16string(name) + u".reg";
    layout.places_.push_back({std::u16string(hive), VisiblePath(hive), file,
                              ImageHostPath(folder, file), u".DEFAULT", required});
  };
  config(u"SYSTEM", u"MACHINE\\SYSTEM", true);
  config(u"SOFTWARE", u"MACHINE\\SOFTWARE", true);
  config(u"DEFAULT", u"USER\\.DEFAULT", false);
  const auto& users = manifest.config.users;
  for (const ServiceAccount& account : kServiceAccounts) {
    // An image may give a service account a profile of its own; its manifest entry wins.
    const bool listed = std::any_of(users.begin(), users.end(), [&](const auto& user) {
      return Emulated::RegistryNamesEqual(user.sid, account.sid);
    });
    if (!listed && !layout.AddAccount(folder, account.sid, account.profile, error)) return std::nullopt;
  }
  for (const Emulated::UserAccount& user : users) {
    if (user.loggedOn) {
      if (!layout.AddAccount(folder, user.sid, user.profilePath, error)) return std::nullopt;
      layout.linkedClasses_.push_back(user.sid);
    } else {
      layout.loggedOff_.push_back(user.sid);
    }
  }
  return layout;
}

bool HiveLayout::AddAccount(const std::string& folder, std::u16string_view sid,
                            std::u16string_view profile, std::string* error) {
  if (sid.empty() || sid.find(u'\\') != std::u16string_view::npos) {
    *error = folder + "/machine.json: \"" + Platform::Utf16ToUtf8(sid) + "\" is not a SID";
    return false;
  }
  if (!IsPlainDrivePath(profile)) {
    *error = folder + "/machine.json: the profile of " + Platform::Utf16ToUtf8(sid) + ", \"" +
             Platform::Utf16ToUtf8(profile) + "\", is not a plain path on a drive (\"C:\\Users\\name\")";
    return false;
  }
  const std::u16string hive = u"USER\\" + std::u16string(sid);
  if (Find(hive)) return true;  // listed twice: the first entry holds
  const std::u16string ntuser = std::u16string(profile) + u"\\NTUSER.reg";
  const std::u16string classes = std::u16string(profile) + std::u16string(kClassesFile);
  // Two hives in one file would overwrite each other at every save.
  for (const HivePlace& place : places_) {
    if (Emulated::RegistryNamesEqual(place.windowsFile, ntuser)) {
      *error = folder + "/machine.json: the profile of " + Platform::Utf16ToUtf8(sid) +
               " is the profile that holds " + Platform::Utf16ToUtf8(place.regeditPath);
      return false;
    }
  }
  places_.push_back({hive, VisiblePath(hive), ntuser, ImageHostPath(folder, ntuser),
                     std::u16string(sid), false});
  places_.push_back({hive + u"_Classes", VisiblePath(hive + u"_Classes"), classes,
                     ImageHostPath(folder, classes), std::u16string(sid) + u"_Classes", false});
  return true;
}

std::optional<size_t> HiveLayout::Find(std::u16string_view storePath) const {
  for (size_t i = 0; i < places_.size(); ++i) {
    if (Emulated::RegistryNamesEqual(places_[i].storePath, storePath)) return i;
  }
  return std::nullopt;
}

bool HiveLayout::IsLoggedOffUser(std::u16string_view sid) const {
  constexpr std::u16string_view kClasses = u"_Classes";
  if (sid.size() > kClasses.size() &&
      Emulated::RegistryNamesEqual(sid.substr(sid.size() - kClasses.size()), kClasses))
    sid.remove_suffix(kClasses.size());
  return Contains(loggedOff_, sid);
}

std::optional<size_t> HiveLayout::HiveOf(std::u16string_view storePath, std::u16string* problem) const {
  problem->clear();
  const std::u16string_view root = Step(storePath, 0);
  const std::u16string_view hive = Step(storePath, 1);
  if (storePath.find(u'\\') == std::u16string_view::npos) return std::nullopt;
  std::u16string path = std::u16string(root) + u"\\" + std::u16string(hive);
  // A logged-on user's Software\Classes is a link to the user's classes hive, so a
  // key named through it lives there.
  const bool viaClassesLink = root == u"USER" && Contains(linkedClasses_, hive) &&
                              Emulated::RegistryNamesEqual(Step(storePath, 2), u"Software") &&
                              Emulated::RegistryNamesEqual(Step(storePath, 3), u"Classes");
  if (viaClassesLink) path += u"_Classes";
  const bool loggedOff = root == u"USER" && IsLoggedOffUser(hive);
  if (auto found = Find(path); found && !loggedOff) return found;
  if (loggedOff) {
    *problem = u"\"" + VisiblePath(storePath) + u"\" is in the hive of " + std::u16string(hive) +
               u", who is not logged on in machine.json";
  } else {
    *problem = u"no hive of the image holds \"" + VisiblePath(storePath) +
               u"\" (it keeps HKLM\\SOFTWARE, HKLM\\SYSTEM and the HKU hives of .DEFAULT, "
               u"the service accounts and the logged-on users)";
  }
  return std::nullopt;
}

bool HiveLayout::LogOn(const std::string& folder, const Emulated::UserAccount& user,
                       std::string* error) {
  if (!AddAccount(folder, user.sid, user.profilePath, error)) return false;
  std::erase_if(loggedOff_, [&](const std::u16string& sid) { return Emulated::RegistryNamesEqual(sid, user.sid); });
  if (!Contains(linkedClasses_, user.sid)) linkedClasses_.push_back(user.sid);
  return true;
}

void HiveLayout::LogOff(std::u16string_view sid) {
  std::erase_if(linkedClasses_, [&](const std::u16string& name) { return Emulated::RegistryNamesEqual(name, sid); });
  if (!Contains(loggedOff_, sid)) loggedOff_.emplace_back(sid);
}

bool HiveLayout::IsLoggedOn(std::u16string_view sid) const { return Contains(linkedClasses_, sid); }

std::vector<size_t> HiveLayout::PlacesOf(std::u16string_view sid) const {
  std::vector<size_t> places;
  const std::u16string hive = u"USER\\" + std::u16string(sid);
  for (const std::u16string& path : {hive, hive + u"_Classes"}) {
    if (auto found = Find(path)) places.push_back(*found);
  }
  return places;
}

}  // namespace Sim
