#include "families/common/class_indirection.h"

#include <vector>

#include "database/load_point_database.h"
#include "families/common/class_indirection.h"
#include "families/services/service_scan.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/path_routines.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Database::IndirectionRows;
using Database::LoadPointDatabase;
using Ledger::LedgerContext;

namespace Families {

namespace {

std::u16string ClassKeyBelowClassesRoot(const std::u16string& classText, bool wow64) {
  return (wow64 ? u"Wow6432Node\\CLSID\\" : u"CLSID\\") + classText;
}

// The server key a class watch follows, below HKEY_LOCAL_MACHINE.
std::u16string ClassServerWatchPath(const std::u16string& classText, bool wow64) {
  return (wow64 ? u"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\" : u"SOFTWARE\\Classes\\CLSID\\") +
         classText + u"\\InProcServer32";
}

}  // namespace

int32_t ResolveClass(LedgerContext& context, const std::u16string& classText,
                     std::u16string& outName, std::u16string& outServer, bool wow64) {
  Platform::System& system = context.System();
  const std::u16string key = ClassKeyBelowClassesRoot(classText, wow64);
  if (!VyrUtilities::ReadRegistryString(system, Platform::kHkeyClassesRoot, key, u"", outName)) {
    return 0;
  }
  return VyrUtilities::ReadRegistryString(system, Platform::kHkeyClassesRoot,
                                          key + u"\\InProcServer32", u"", outServer)
             ? 1
             : 0;
}

int32_t UpdateIndirection(LedgerContext& context, int32_t indirectionKey,
                          const std::u16string& name, const std::u16string& server) {
  LoadPointDatabase* database = context.Database();
  if (indirectionKey <= 0 || database == nullptr) return 0;
  IndirectionRows rows;
  if (database->FindIndirectionEntryByKey(indirectionKey, rows) != 1) return 0;
  if (VyrUtilities::EqualsIgnoreCase(rows.ENTRY_NAME(0), name) &&
      VyrUtilities::EqualsIgnoreCase(rows.COMMAND_LINE(0), server)) {
    return 0;
  }
  database->UpdateIndirectionEntry(indirectionKey, name, server);
  return 1;
}

int32_t IsServiceHostMember(LedgerContext& context, const std::u16string& serviceName,
                            const std::u16string& imagePath, bool wow64) {
  std::u16string program;
  std::vector<std::u16string> arguments;
  VyrUtilities::SplitCommandLine(imagePath, program, arguments);
  if (program.empty()) return 0;
  const std::u16string host = VyrUtilities::ExpandEnvironment(context.System(), program);
  const bool isHost = VyrUtilities::EqualsIgnoreCase(host, context.SvchostPath()) ||
                      (wow64 && VyrUtilities::EqualsIgnoreCase(host, context.SvchostPathWow64()));
  // The service host itself reads "-k" case-sensitively; "-K" starts no group.
  if (!isHost || arguments.size() < 2 || arguments[0] != u"-k") return 0;
  const char16_t* groupsKey = wow64
                                  ? u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost"
                                  : u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost";
  std::vector<std::u16string> members;
  if (!VyrUtilities::ReadRegistryMultiString(context.System(), Platform::kHkeyLocalMachine,
                                             groupsKey, arguments[1], members)) {
    return 0;
  }
  for (const std::u16string& member : members) {
    if (VyrUtilities::EqualsIgnoreCase(member, serviceName)) return 1;
  }
  return 0;
}

void RefreshIndirection(LedgerContext& context, const std::u16string& classText,
                        int32_t loadPointKey, int32_t indirectionKey, uint32_t matcherCode,
                        bool wow64) {
  context.ClassWatch().WatchClass(Platform::kHkeyLocalMachine, ClassServerWatchPath(classText, wow64),
                                 u"", matcherCode, loadPointKey);
  std::u16string name;
  std::u16string server;
  // Whatever could be read is stored, also a name without a server.
  ResolveClass(context, classText, name, server, wow64);
  LoadPointDatabase* database = context.Database();
  if (database == nullptr) return;
  if (indirectionKey < 1) {
    database->AddIndirectionEntry(loadPointKey, name, server);
  } else {
    UpdateIndirection(context, indirectionKey, name, server);
  }
}

}  // namespace Families
