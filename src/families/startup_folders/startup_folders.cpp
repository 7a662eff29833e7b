#include "families/startup_folders/startup_folders.h"

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "fileinfo/profile_folders.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/rescan_pass.h"
#include "platform/scoped_handle.h"
#include "util/path_routines.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using FileInfo::ForEachFolderEntry;
using FileInfo::ListProfileFolders;
using FileInfo::ProfilesRoot;
using FileInfo::UserStartupSuffix;
using enum Intake::LoadPointType;
using Ledger::FullScanStopping;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;
using Ledger::ReconcileLoadPoint;

namespace Families {

namespace {

constexpr char16_t kAllUsers[] = u"All Users";

}  // namespace

int32_t ScanStartupFolders(LedgerContext& context) {
  int32_t count = 0;
  std::u16string common = VyrUtilities::GetSpecialFolder(context.System(), Platform::kCsidlCommonStartup);
  if (!common.empty()) count += ScanStartupFolder(context, common, kCommonStartupType, u"");
  const std::u16string root = ProfilesRoot(context.System());
  const std::u16string suffix = UserStartupSuffix(context.System());
  for (const std::u16string& name : ListProfileFolders(context.System())) {
    // The "All Users" profile holds the common folder, scanned above as such.
    if (VyrUtilities::EqualsIgnoreCase(name, kAllUsers)) continue;
    count += ScanStartupFolder(context, root + u"\\" + name + suffix, kUserStartupType, name);
  }
  return count;
}

int32_t ScanStartupFolder(LedgerContext& context, const std::u16string& folderPath,
                          uint32_t type, const std::u16string& userId) {
  int32_t count = 0;
  ForEachFolderEntry(context.System(), folderPath, [&](const Platform::FindData& data) {
    if ((data.info.attributes & Platform::kFileAttributeDirectory) != 0) return;
    if (FullScanStopping(context)) return;
    ReconcileLoadPoint(context, type, userId, data.fileName, folderPath + u"\\" + data.fileName,
                       u"", nullptr);
    ++count;
  });
  return count;
}

int32_t RemoveFolderLoadPoint(LedgerContext& context, uint32_t type,
                              const std::u16string& userId, const std::u16string& entryName,
                              LoadPointRows& removed) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return 0;
  if (database->FindLoadPointEntry(static_cast<int32_t>(type), userId, entryName, removed) != 1) {
    return 0;
  }
  database->DeleteLoadPoint(removed.KEY(0));
  return 1;
}

}  // namespace Families
