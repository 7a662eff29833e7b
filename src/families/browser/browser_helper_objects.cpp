#include "families/browser/browser_helper_objects.h"

#include <string>
#include <vector>

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/services/service_scan.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/rescan_pass.h"
#include "util/registry_readers.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using enum Intake::LoadPointType;
using enum Intake::MatcherCode;
using Ledger::FullScanStopping;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;
using Ledger::ReconcileLoadPoint;
using Ledger::Reconciled;
using Ledger::RecordChangeEvent;

namespace Families {

namespace {

struct HelperKey {
  const char16_t* path;  // below HKEY_LOCAL_MACHINE
  uint32_t type;
  uint32_t matcherCode;  // class watch of the helper's COM class
  bool wow64;
};

constexpr HelperKey kHelperKeys[] = {
    {kBrowserHelperObjectsKey, kBrowserHelperType, kBrowserHelperCode, false},
    {kBrowserHelperObjectsWow64Key, kBrowserHelperWow64Type, kBrowserHelperWow64Code, true},
};

// Every subkey is a helper named by its class; a helper without a default value is
// still loaded by the browser, so it is recorded with an empty command line.
std::vector<int32_t> ReconcileHelpers(LedgerContext& context, const HelperKey& helpers) {
  Platform::System& system = context.System();
  std::vector<std::u16string> classes;
  VyrUtilities::EnumerateSubkeys(system, Platform::kHkeyLocalMachine, helpers.path, classes);
  std::vector<int32_t> added;
  for (const std::u16string& classText : classes) {
    if (FullScanStopping(context)) break;
    std::u16string commandLine;
    VyrUtilities::ReadRegistryString(system, Platform::kHkeyLocalMachine,
                                     std::u16string(helpers.path) + u"\\" + classText, u"",
                                     commandLine);
    int32_t key = 0;
    const Reconciled result =
        ReconcileLoadPoint(context, helpers.type, u"", classText, commandLine, u"", &key);
    if (result == Reconciled::kAdded && key > 0) added.push_back(key);
  }
  return added;
}

void RefreshHelperClasses(LedgerContext& context, const HelperKey& helpers) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return;
  LoadPointRows rows;
  database->RequestLoadPointEntries(static_cast<int32_t>(helpers.type), rows);
  for (uint32_t row = 0; row < rows.Count(); ++row) {
    if (FullScanStopping(context)) return;
    RefreshIndirection(context, rows.ENTRY_NAME(row), rows.KEY(row), rows.INDIRECTION_KEY(row),
                       helpers.matcherCode, helpers.wow64);
  }
}

}  // namespace

void ScanBrowserHelperObjects(LedgerContext& context, int32_t startFlag, int32_t recordNew) {
  for (const HelperKey& helpers : kHelperKeys) {
    std::vector<int32_t> added = ReconcileHelpers(context, helpers);
    if (startFlag == 1) RefreshHelperClasses(context, helpers);
    if (recordNew != 1) continue;
    // The watcher only learns that the key changed, not who changed it.
    for (int32_t key : added) RecordChangeEvent(context, u"", key, 0, 1, nullptr);
  }
}

}  // namespace Families
