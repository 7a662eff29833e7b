#pragma once
// What the service checks in its data folder before anything opens a file there:
// the data and log folders carry the protected descriptor (util/protected_folder.h)
// and are reset when they have another owner or weaker entries; the database and
// its journal belong to SYSTEM, the Administrators or the account the service runs
// as, and any other owner's file is moved aside, so that SQLite never reads a
// database or rolls in a journal that someone else put there. Every finding is
// written to the log as it is made.

#include "platform/system.h"
#include "util/app_settings.h"
#include "util/vyr_log.h"

namespace Service {

// False when a file of another owner could not be moved aside: the database must
// then stay closed.
bool GuardDataFiles(Platform::System& system, const VyrUtilities::VyrAppSettings& settings,
                    VyrUtilities::VyrLog& log);

}  // namespace Service
