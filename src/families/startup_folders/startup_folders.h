#pragma once
// Files in the startup folders as load points: type 27 for the common startup
// folder, type 28 for a user's own one (USER_ID = the profile folder name).

#include <cstdint>
#include <string>

#include "intake/location_codes.h"

namespace Database {
class LoadPointRows;
}  // namespace Database

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// The rescan step: the common folder, then each profile's folder except "All Users".
int32_t ScanStartupFolders(Ledger::LedgerContext& context);
// Reconciles every file (not subfolder) directly in folderPath. Returns the count.
int32_t ScanStartupFolder(Ledger::LedgerContext& context, const std::u16string& folderPath,
                          uint32_t type, const std::u16string& userId);
// Removes the row (type, userId, entryName) with its Indirection and NotifyList rows
// and leaves what it held in removed (an empty reader), for the change event the
// caller records.
// 1 when a row was removed, else 0 (removed then holds no row).
int32_t RemoveFolderLoadPoint(Ledger::LedgerContext& context, uint32_t type,
                              const std::u16string& userId, const std::u16string& entryName,
                              Database::LoadPointRows& removed);

}  // namespace Families
