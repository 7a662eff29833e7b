#include "service/data_file_guard.h"

#include <cstdio>
#include <string>

#include "engine/load_point_engine.h"
#include "platform/text_encoding.h"
#include "util/protected_folder.h"

using Database::kDatabaseFileName;

namespace Service {

using namespace Platform;

namespace {

std::u16string Number(uint32_t value) { return Utf8ToUtf16(std::to_string(value)); }

void GuardFolder(System& system, const std::u16string& path, VyrUtilities::VyrLog& log) {
  Win32Error error = kErrorSuccess;
  switch (VyrUtilities::ProtectFolder(system, path, &error)) {
    case VyrUtilities::FolderProtection::kAlreadyProtected:
      return;
    case VyrUtilities::FolderProtection::kReset:
      log.Write(u"[WARNING] Folder open to other accounts, access reset to SYSTEM and Administrators: " + path, 1, 1, 0);
      return;
    case VyrUtilities::FolderProtection::kFailed:
      log.Write(u"[ERROR] Folder access could not be reset (error " + Number(error) + u"): " + path, 1, 1, 0);
      return;
  }
}

bool IsOwnedByService(System& system, const std::u16string& owner) {
  if (owner == kLocalSystemSid || owner == kAdministratorsSid) return true;
  std::u16string self;
  return system.Environment().GetCurrentUserSid(&self) == kErrorSuccess && owner == self;
}

// "Brumevale.data" becomes "Brumevale.data.foreign-20240501-140307": the file is
// kept for whoever wants to look at it, out of SQLite's way.
std::u16string AsideName(System& system, const std::u16string& path) {
  const SystemTime now = system.Environment().GetLocalTime();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, ".foreign-%04u%02u%02u-%02u%02u%02u", now.year, now.month, now.day, now.hour,
                now.minute, now.second);
  return path + Utf8ToUtf16(stamp);
}

// False when the file belongs to someone else and is still in place.
bool GuardFile(System& system, const std::u16string& path, VyrUtilities::VyrLog& log) {
  FileSecurity security;
  if (system.Files().GetFileSecurity(path, &security) != kErrorSuccess) return true;  // no such file
  if (IsOwnedByService(system, security.ownerSid)) return true;
  const std::u16string aside = AsideName(system, path);
  const Win32Error error = system.Files().MoveFileEx(path, aside, 0);
  if (error == kErrorSuccess) {
    log.Write(u"[WARNING] File owned by " + security.ownerSid + u" moved aside: " + path + u" -> " + aside, 1, 1, 0);
    return true;
  }
  log.Write(u"[ERROR] File owned by " + security.ownerSid + u" could not be moved aside (error " + Number(error) +
                u"), the database stays closed: " + path,
            1, 1, 0);
  return false;
}

}  // namespace

bool GuardDataFiles(System& system, const VyrUtilities::VyrAppSettings& settings, VyrUtilities::VyrLog& log) {
  GuardFolder(system, settings.DataDirectory(), log);
  GuardFolder(system, settings.LogDirectory(), log);
  const std::u16string database = settings.DataDirectory() + u"\\" + kDatabaseFileName;
  // Both are looked at even when the first must stay: each finding is logged.
  const bool databaseKept = GuardFile(system, database, log);
  const bool journalKept = GuardFile(system, database + u"-journal", log);
  return databaseKept && journalKept;
}

}  // namespace Service
