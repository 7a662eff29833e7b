#include "scans/startup_folders.h"

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "engine/load_point_engine.h"
#include "platform/scoped_handle.h"
#include "scans/full_scan.h"
#include "util/os_version.h"
#include "util/path_routines.h"
#include "util/text_routines.h"

namespace {

// Vista moved the profile's start menu below AppData\Roaming and gave the common
// startup folder a place of its own outside the "All Users" profile.
constexpr uint32_t kVistaOrdinal = 9;
constexpr char16_t kAllUsers[] = u"All Users";

bool IsVistaOrLater(LoadPointEngine& engine) {
  return VyrUtilities::GetOsVersionOrdinal(engine.System()) >= kVistaOrdinal;
}

// Calls visit(findData) for every entry of folder except "." and "..".
template <typename Visit>
void ForEachEntry(Platform::System& system, const std::u16string& folder, Visit visit) {
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

LoadPointDatabase* OpenDatabase(LoadPointEngine& engine) {
  LoadPointDatabase* database = engine.Database();
  return database != nullptr && database->IsOpen() ? database : nullptr;
}

}  // namespace

std::u16string ProfilesRoot(LoadPointEngine& engine) {
  // The folder that holds every profile, not the service's own profile: the service
  // runs as LocalSystem, whose documents folder lies nowhere near the users' ones.
  std::u16string root = VyrUtilities::GetProfilesBase(engine.System(), false);
  while (!root.empty() && root.back() == u'\\') root.pop_back();
  return root;
}

std::u16string UserStartupSuffix(LoadPointEngine& engine) {
  return IsVistaOrLater(engine) ? u"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"
                                : u"\\Start Menu\\Programs\\Startup";
}

std::vector<std::u16string> ListProfileFolders(LoadPointEngine& engine) {
  std::vector<std::u16string> names;
  std::u16string root = ProfilesRoot(engine);
  if (root.empty()) return names;
  ForEachEntry(engine.System(), root, [&](const Platform::FindData& data) {
    uint32_t attributes = data.info.attributes;
    if ((attributes & Platform::kFileAttributeDirectory) != 0 &&
        (attributes & Platform::kFileAttributeHidden) == 0) {
      names.push_back(data.fileName);
    }
  });
  return names;
}

int32_t ScanStartupFolders(LoadPointEngine& engine) {
  int32_t count = 0;
  std::u16string common = VyrUtilities::GetSpecialFolder(engine.System(), Platform::kCsidlCommonStartup);
  if (!common.empty()) count += ScanStartupFolder(engine, common, kCommonStartupType, u"");
  const std::u16string root = ProfilesRoot(engine);
  const std::u16string suffix = UserStartupSuffix(engine);
  for (const std::u16string& name : ListProfileFolders(engine)) {
    // The "All Users" profile holds the common folder, scanned above as such.
    if (VyrUtilities::EqualsIgnoreCase(name, kAllUsers)) continue;
    count += ScanStartupFolder(engine, root + u"\\" + name + suffix, kUserStartupType, name);
  }
  return count;
}

int32_t ScanStartupFolder(LoadPointEngine& engine, const std::u16string& folderPath,
                          uint32_t type, const std::u16string& userId) {
  int32_t count = 0;
  ForEachEntry(engine.System(), folderPath, [&](const Platform::FindData& data) {
    if ((data.info.attributes & Platform::kFileAttributeDirectory) != 0) return;
    ReconcileLoadPoint(engine, type, userId, data.fileName, folderPath + u"\\" + data.fileName,
                       u"", nullptr);
    ++count;
  });
  return count;
}

int32_t RemoveFolderLoadPoint(LoadPointEngine& engine, uint32_t type,
                              const std::u16string& userId, const std::u16string& entryName,
                              int32_t recordEvent) {
  LoadPointDatabase* database = OpenDatabase(engine);
  if (database == nullptr) return 0;
  LoadPointRows rows;
  database->FindLoadPointEntry(static_cast<int32_t>(type), userId, entryName, rows);
  if (!rows.HasRows()) return 0;
  const int32_t key = rows.KEY(0);
  database->DeleteLoadPoint(key);
  if (recordEvent == 1) database->AddChangeEventEntry(key, 0, 2);
  return 1;
}
