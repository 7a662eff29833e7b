#pragma once
// The users' profile folders on disk and where each keeps its startup folder. The
// watch on the startup folders and the rescan of them list the same folders, so
// both read them from here.

#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/system.h"

namespace FileInfo {

// Root of the profile folders (no trailing backslash) and the suffix that leads from
// a profile folder to its startup folder on this machine's Windows version.
std::u16string ProfilesRoot(Platform::System& system);
std::u16string UserStartupSuffix(Platform::System& system);
// Names of the visible directories directly below the profiles root.
std::vector<std::u16string> ListProfileFolders(Platform::System& system);

// Calls visit(findData) for every entry of folder except "." and "..".
template <typename Visit>
void ForEachFolderEntry(Platform::System& system, const std::u16string& folder, Visit visit) {
  Platform::FileSystem& files = system.Files();
  Platform::FindData data;
  Platform::ScopedFind find;
  if (files.FindFirstFile(folder + u"\\*", find.Receive(files), &data) != Platform::kErrorSuccess) {
    return;
  }
  do {
    if (data.fileName != u"." && data.fileName != u"..") visit(data);
  } while (files.FindNextFile(find.Get(), &data) == Platform::kErrorSuccess);
}

}  // namespace FileInfo
