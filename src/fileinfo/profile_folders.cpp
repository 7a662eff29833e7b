#include "fileinfo/profile_folders.h"

#include "util/os_version.h"
#include "util/path_routines.h"

namespace FileInfo {

namespace {

// Vista moved the profile's start menu below AppData\Roaming.
constexpr uint32_t kVistaOrdinal = 9;

}  // namespace

std::u16string ProfilesRoot(Platform::System& system) {
  // The folder that holds every profile, not the service's own profile: the service
  // runs as LocalSystem, whose documents folder lies nowhere near the users' ones.
  std::u16string root = VyrUtilities::GetProfilesBase(system, false);
  while (!root.empty() && root.back() == u'\\') root.pop_back();
  return root;
}

std::u16string UserStartupSuffix(Platform::System& system) {
  return VyrUtilities::GetOsVersionOrdinal(system) >= kVistaOrdinal
             ? u"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"
             : u"\\Start Menu\\Programs\\Startup";
}

std::vector<std::u16string> ListProfileFolders(Platform::System& system) {
  std::vector<std::u16string> names;
  std::u16string root = ProfilesRoot(system);
  if (root.empty()) return names;
  ForEachFolderEntry(system, root, [&](const Platform::FindData& data) {
    uint32_t attributes = data.info.attributes;
    if ((attributes & Platform::kFileAttributeDirectory) != 0 &&
        (attributes & Platform::kFileAttributeHidden) == 0) {
      names.push_back(data.fileName);
    }
  });
  return names;
}

}  // namespace FileInfo
