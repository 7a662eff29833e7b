// Reading ChangeEvents with what each event points at. The ExtendedEvent row is the
// record of the moment (a removed load point survives only there); without one,
// the load point, setting or extension row gives its current values.

#include <cstdlib>

#include <sqlite3.h>

#include "database/sql_text.h"
#include "ledger/load_point_catalogue.h"
#include "platform/text_encoding.h"
#include "sim/change_report.h"

namespace Sim {
namespace {

constexpr char kQuery[] =
    "SELECT c.KEY, c.EVENT_TIME, c.EVENT_TYPE, c.PROCESS_ENTRY_KEY, "
    "e.EX_EVENT_TYPE, e.PARAM_0, e.PARAM_1, e.PARAM_2, e.PARAM_4, e.PARAM_5, "
    "l.LP_TYPE, l.ENTRY_NAME, l.USER_ID, l.COMMAND_LINE, "
    "s.TYPE, s.USER_ID, s.PATH, s.CURRENT_VALUE, "
    "f.USER_ID, f.ENTRY_ID, f.VERB, f.ENTRY_VALUE, "
    "p.PROCESS_PATH, p.PROCESS_FILE_NAME, p.VERSION, p.COMPANY_NAME, p.DOWNLOAD_DATA, "
    "d.SIGNER_NAME, d.VALID "
    "FROM ChangeEvents c "
    "LEFT JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY "
    "LEFT JOIN LoadPoints l ON l.KEY = c.LOAD_POINT_KEY AND c.EVENT_TYPE IN (1, 2, 13) "
    "LEFT JOIN SystemSetting s ON s.KEY = c.LOAD_POINT_KEY AND c.EVENT_TYPE = 7 "
    "LEFT JOIN FileExtension f ON f.KEY = c.LOAD_POINT_KEY AND c.EVENT_TYPE = 8 "
    "LEFT JOIN Processes p ON p.KEY = c.PROCESS_ENTRY_KEY AND c.PROCESS_ENTRY_KEY > 0 "
    "LEFT JOIN DigitalSignatures d ON d.KEY = p.DIGITAL_SIGNATURE_KEY AND p.DIGITAL_SIGNATURE_KEY > 0 "
    "ORDER BY c.KEY";

// The value each SystemSetting TYPE watches, 1 to 20.
constexpr const char* kSettingValues[] = {
    "",  "DisableRegistryTools", "DisableTaskMgr", "NoRun", "NoDispCPL", "NoDispBackgroundPage",
    "NoDisplScrSavPage", "NoDispAppearancePage", "NoDispSettingsPage", "NoDriveTypeAutoRun",
    "AntiVirusOverride", "AntiVirusDisableNotify", "FirewallOverride", "FirewallDisableNotify",
    "GuardProfile", "Policy", "BehaviorOnFailedVerify", "pavil_uid", "pavil_access",
    "Common Startup", "Startup"};

struct Columns {
  sqlite3_stmt* statement;
  // The service stores each UTF-16 unit on its own, so a character outside the
  // Basic Multilingual Plane arrives as two three-byte halves; the report wants
  // standard UTF-8 (a half without its partner becomes U+FFFD).
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (text == nullptr) return "";
    return Platform::Utf16ToUtf8(FromUtf8(reinterpret_cast<const char*>(text)));
  }
  int64_t Number(int column) const { return sqlite3_column_int64(statement, column); }
  bool Present(int column) const { return sqlite3_column_type(statement, column) != SQLITE_NULL; }
};

std::string TypeName(int32_t type) {
  const std::u16string name = LoadPointTypeDisplayName(static_cast<uint32_t>(type));
  return name.empty() ? "type " + std::to_string(type) : Platform::Utf16ToUtf8(name);
}

void FillFromExtended(const Columns& c, ChangeReportRow* row) {
  row->loadPointType = static_cast<int32_t>(std::strtol(c.Text(5).c_str(), nullptr, 10));
  row->entry = c.Text(6);
  row->user = c.Text(7);
  const int64_t kind = c.Number(4);
  if (kind == 4) {
    row->oldCommandLine = c.Text(8);
  } else {
    row->newCommandLine = c.Text(8);
    if (kind == 2 || kind == 3) row->oldCommandLine = c.Text(9);
  }
}

void FillTarget(const Columns& c, ChangeReportRow* row) {
  if (c.Present(4) && c.Number(4) != 0) {
    FillFromExtended(c, row);
  } else if (c.Present(10)) {
    row->loadPointType = static_cast<int32_t>(c.Number(10));
    row->entry = c.Text(11);
    row->user = c.Text(12);
    row->newCommandLine = c.Text(13);
  } else if (c.Present(14)) {
    const int64_t type = c.Number(14);
    const bool known = type > 0 && type <= 20;
    row->typeName = "System setting";
    row->entry = c.Text(16) + "\\" + (known ? kSettingValues[type] : std::to_string(type));
    row->user = c.Text(15);
    row->newCommandLine = c.Text(17);
    return;
  } else if (c.Present(18)) {
    row->typeName = "File extension";
    row->entry = c.Text(19) + (c.Text(20).empty() ? "" : "\\shell\\" + c.Text(20));
    row->user = c.Text(18);
    row->newCommandLine = c.Text(21);
    return;
  }
  if (row->loadPointType > 0) row->typeName = TypeName(row->loadPointType);
}

void FillProcess(const Columns& c, ChangeReportRow* row) {
  row->processPath = c.Text(22);
  row->process = c.Text(23);
  row->noProcess = false;
  row->fileVersion = c.Text(24);
  row->companyName = c.Text(25);
  const std::string download = c.Text(26);
  row->downloadAddress = download.substr(0, download.find('\n'));
  row->hasSignature = c.Present(28);
  row->signer = c.Text(27);
  row->signatureValid = c.Text(28) == "Y";
}

ChangeReportRow ReadRow(sqlite3_stmt* statement) {
  const Columns c{statement};
  ChangeReportRow row;
  row.key = c.Number(0);
  row.time = c.Text(1);
  row.eventType = static_cast<int32_t>(c.Number(2));
  row.event = ChangeEventName(row.eventType);
  FillTarget(c, &row);
  if (c.Present(22)) FillProcess(c, &row);
  return row;
}

}  // namespace

std::string ChangeEventName(int32_t eventType) {
  switch (eventType) {
    case 1: return "changed";
    case 2: return "removed";
    case 6: return "rescan found changes";
    case 7: return "setting changed";
    case 8: return "extension written";
    case 9: return "settings checked";
    case 13: return "added";
    case 14: return "extension deleted";
    default: return "event " + std::to_string(eventType);
  }
}

bool ReadChangeHistory(const std::string& databaseHostPath, std::vector<ChangeReportRow>* rows,
                       std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(databaseHostPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    *error = databaseHostPath + ": " + (db ? sqlite3_errmsg(db) : "cannot be opened") +
             " (has the service run on this machine?)";
    sqlite3_close(db);
    return false;
  }
  sqlite3_busy_timeout(db, 10000);
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, kQuery, -1, &statement, nullptr);
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) rows->push_back(ReadRow(statement));
  }
  const bool ok = rc == SQLITE_DONE;
  if (!ok) *error = databaseHostPath + ": " + sqlite3_errmsg(db);
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return ok;
}

}  // namespace Sim
