#include "reader/record/own_machine.h"

#include "database/database_file_name.h"
#include "fileinfo/user_identity.h"
#include "platform/text_encoding.h"
#include "util/brumevale_settings.h"
#include "util/path_routines.h"

using Database::kDatabaseFileName;
using FileInfo::LoadProfileTable;
using FileInfo::UserTable;

namespace Reader {

std::u16string ServiceDatabasePath(Platform::System& system) {
  // The settings object would create the folders; a reader must not.
  std::u16string path = VyrUtilities::GetSpecialFolder(system, Platform::kCsidlCommonAppData) + u"\\";
  const std::u16string group = VyrUtilities::kBrumevaleGroup;
  if (!group.empty()) path += group + u"\\";
  return path + VyrUtilities::kBrumevaleCompany + u"\\" + VyrUtilities::kBrumevaleProduct + u"\\" +
         kDatabaseFileName;
}

std::u16string MachineName(Platform::System& system) {
  std::u16string name;
  return system.Environment().GetComputerName(256, &name) == Platform::kErrorSuccess ? name : u"";
}

AccountNames MachineAccounts(Platform::System& system) {
  AccountNames names;
  UserTable profiles;
  if (!LoadProfileTable(system, profiles)) return names;
  for (const auto& [sid, loaded] : profiles) {
    std::u16string name, domain;
    if (system.Processes().LookupAccountSid(sid, &name, &domain) != Platform::kErrorSuccess || name.empty()) continue;
    names[Platform::Utf16ToUtf8(sid)] = Platform::Utf16ToUtf8(domain.empty() ? name : domain + u"\\" + name);
  }
  return names;
}

}  // namespace Reader
