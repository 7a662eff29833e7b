#include "engine/file_event_matcher.h"

#include "engine/load_point_engine.h"
#include "families/common/location_families.h"
#include "fileinfo/profile_folders.h"
#include "intake/brumevale_event.h"
#include "util/os_version.h"
#include "util/path_routines.h"
#include "util/text_routines.h"
#include "util/vyr_log.h"

using Families::FamilyDeclarations;
using Families::FolderDeclaration;
using Families::FolderPlace;
using Families::LoadPointFamilies;
using FileInfo::ListProfileFolders;
using FileInfo::ProfilesRoot;
using FileInfo::UserStartupSuffix;
using Intake::BrumevaleFileEvent;
using Intake::FileEntry;
using enum Intake::MatcherCode;

namespace Engine {

namespace {

// Vista gave the common startup folder a place of its own; before it, the "All
// Users" profile's startup folder was the common one.
constexpr uint32_t kVistaOrdinal = 9;
constexpr char16_t kAllUsers[] = u"All Users";

}  // namespace

// The folders the families declare, in the families' order; the profiles' folders
// before the special ones, as the profile list and a special folder may name the same.
void FileEventMatcher::Initialise() {
  std::vector<FolderDeclaration> folders;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    folders.insert(folders.end(), family.folders.begin(), family.folders.end());
  }
  Platform::System& system = engine_.System();
  const bool vistaOrLater = VyrUtilities::GetOsVersionOrdinal(system) >= kVistaOrdinal;
  const std::u16string root = ProfilesRoot(system);
  const std::u16string suffix = UserStartupSuffix(system);
  for (const std::u16string& name : ListProfileFolders(system)) {
    const std::u16string folder = root + u"\\" + name + suffix;
    const bool allUsers = VyrUtilities::EqualsIgnoreCase(name, kAllUsers);
    for (const FolderDeclaration& declared : folders) {
      if (declared.place == FolderPlace::kEachProfile && !allUsers) AddFolder(declared.code, folder, name);
      if (declared.place == FolderPlace::kCommonStartup && allUsers && !vistaOrLater) {
        AddFolder(declared.code, folder, u"");
      }
    }
  }
  // A special folder the system cannot name is left out rather than watched as a
  // bare relative path.
  for (const FolderDeclaration& declared : folders) {
    const bool special = declared.place == FolderPlace::kSpecialFolder ||
                         (declared.place == FolderPlace::kCommonStartup && vistaOrLater);
    if (!special) continue;
    const std::u16string folder = VyrUtilities::GetSpecialFolder(system, declared.csidl);
    if (!folder.empty()) AddFolder(declared.code, folder + std::u16string(declared.below), u"");
  }
}

void FileEventMatcher::AddFolder(uint32_t code, const std::u16string& folderPath,
                                 const std::u16string& matcherText) {
  folders_[VyrUtilities::ToLower(folderPath)] = WatchedFolder{code, folderPath, matcherText};
}

std::unique_ptr<BrumevaleFileEvent> FileEventMatcher::Match(const FileEntry& entry,
                                                            int32_t useSecondPath) const {
  if (entry.DetailFlag() != 0) return nullptr;
  const std::u16string& path = useSecondPath == 1 ? entry.SecondPath() : entry.Path();
  // A path without a folder or without a file name cannot lie in a watched folder.
  // A name without an extension is accepted: a startup entry needs none to run.
  const size_t separator = path.rfind(u'\\');
  if (separator == std::u16string::npos || separator + 1 == path.size()) {
    engine_.Log().Write(u"Abnormal File Path: " + path, 1, 1, 0);
    return nullptr;
  }
  const std::u16string directory = VyrUtilities::ToLower(path.substr(0, separator));
  // The shortest watched folder that holds the file wins, so a file in a subfolder
  // of a startup folder counts for that folder.
  for (size_t end = directory.find(u'\\');; end = directory.find(u'\\', end + 1)) {
    const auto folder = folders_.find(directory.substr(0, end));
    if (folder != folders_.end()) {
      const WatchedFolder& watched = folder->second;
      return std::make_unique<BrumevaleFileEvent>(entry, watched.code, path, watched.matcherText);
    }
    if (end == std::u16string::npos) return nullptr;
  }
}

}  // namespace Engine
