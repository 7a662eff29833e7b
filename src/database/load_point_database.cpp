#include "database/load_point_database.h"

#include <sqlite3.h>

#include <chrono>
#include <iterator>
#include <thread>
#include <vector>

#include "database/machine_clock.h"

namespace Database {

namespace {

constexpr char16_t kDefaultLogName[] = u"Database_Log.txt";

std::u16string Widen(std::string_view ascii) { return FromAnsi(ascii); }

}  // namespace

// Another program holding the file locked is a normal state (a reader exporting
// the history, a backup): wait as long as it takes rather than lose a write. The
// first retry of a statement leaves one line in the log, so that a long pause of
// the service can be traced to the lock rather than taken for a hang. The wait is
// real time on the host, because the lock belongs to a host process, so it does not
// go through the machine's (possibly simulated) Sleep. Most locks last a moment (a
// reader taking a page of the history): the first retries come quickly, so that
// such a moment does not hold a change back for half a second, and then settle at
// half a second for a lock that stays.
bool LoadPointDatabase::WaitWhileBusy(int attempt) {
  if (attempt == 0) {
    log_.Write(
        u"-Database file locked by another program; waiting for it to be released.", 1, 1, 0);
  }
  constexpr int kFirstWaitsMs[] = {1, 2, 5, 10, 20, 50, 100, 200};
  constexpr int kFirstWaits = static_cast<int>(std::size(kFirstWaitsMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(attempt < kFirstWaits ? kFirstWaitsMs[attempt] : 500));
  return true;
}

LoadPointDatabase::LoadPointDatabase(Platform::System& system,
                                     VyrUtilities::VyrAppSettings& settings,
                                     std::u16string_view logName)
    : system_(system), settings_(settings), log_(system) {
  std::u16string path = settings_.LogDirectory();
  path += u'\\';
  path += logName.empty() ? std::u16string_view(kDefaultLogName) : logName;
  log_.Open(path, 1);
}

LoadPointDatabase::~LoadPointDatabase() {
  CloseDatabase();
  log_.Close();
}

bool LoadPointDatabase::OpenDatabase(std::u16string_view path, bool readOnly) {
  // A second open must not leak the first connection.
  CloseDatabase();
  log_.Write(u"-Opening Database: ", 0, 1, 0);
  log_.Write(path, 1, 0, 0);
  // The host name of the file comes from the platform: on Windows the path itself,
  // on the emulated machine the file in the drive's host folder. A path on no
  // drive cannot be opened.
  const std::optional<std::string> hostPath = system_.Files().HostPath(path);
  if (!hostPath || !db_.Open(*hostPath, readOnly ? SqlAccess::kReadOnly : SqlAccess::kReadWrite)) {
    log_.Write(u"ERROR(OpenDatabase): Failed to open database.", 1, 1, 0);
    db_.Close();
    return false;
  }
  // Room for the many small allocations of a burst's statements without the heap:
  // 1,000 slots of 1,200 bytes, about 1.2 MB for the connection.
  sqlite3_db_config(db_.Handle(), SQLITE_DBCONFIG_LOOKASIDE, nullptr, 1200, 1000);
  db_.WaitWhileBusy([this](int attempt) { return WaitWhileBusy(attempt); });
  if (!system_.Environment().SqlClockIsMachineClock()) UseMachineClock(db_.Handle(), system_);
  SetDatabaseSettings();
  schemaReady_ = readOnly;
  if (!readOnly && !CreateTables()) return false;
  log_.Write(u"-Open Database Complete.", 1, 1, 0);
  return true;
}

bool LoadPointDatabase::SetDatabaseSettings() {
  if (!db_.IsOpen()) return false;
  log_.Write(u"-Setting Database Settings.", 1, 1, 0);
  if (!Execute("PRAGMA journal_mode = PERSIST", "SetDatabaseSettings", true)) return false;
  if (!Execute("PRAGMA synchronous = NORMAL", "SetDatabaseSettings", true)) return false;
  log_.Write(u"-Set Database Settings Complete.", 1, 1, 0);
  return true;
}

bool LoadPointDatabase::CloseDatabase() {
  statements_.Clear();
  db_.Close();
  schemaReady_ = false;
  batch_ = {};
  index_.Drop();
  indexVersion_ = -1;
  versionHeld_ = false;
  return true;
}

void LoadPointDatabase::ReportSqlError(std::string_view operation, char* message, bool print,
                                       std::string_view table) {
  const char* text = message != nullptr ? message : "";
  if (print && console_) console_("ERROR(" + std::string(operation) + "): " + text);
  std::u16string label = u"ERROR(" + Widen(operation) + u")";
  if (!table.empty()) label += u" [" + Widen(table) + u"]";
  label += u": ";
  log_.Write(label, 0, 1, 0);
  log_.Write(FromAnsi(text), 1, 0, 0);
  sqlite3_free(message);
}

bool LoadPointDatabase::Execute(const std::string& sql, std::string_view operation, bool print,
                                QueryResult* rows) {
  char* message = nullptr;
  int rc = SQLITE_MISUSE;
  const bool inTransaction = db_.InTransaction();
  if (db_.IsOpen()) {
    rc = sqlite3_exec(db_.Handle(), sql.c_str(), rows != nullptr ? CollectRow : nullptr, rows, &message);
  } else {
    // Without a connection SQLite has nothing to say; report what it says for a call
    // on no connection so the log still shows which operation was lost.
    message = sqlite3_mprintf("%s", sqlite3_errstr(SQLITE_MISUSE));
  }
  if (rc == SQLITE_OK) return true;
  ReportSqlError(operation, message, print);
  if (inTransaction && !db_.InTransaction()) TransactionLost();
  return false;
}

// The departure from SQL text with its values written in, for speed, is made here
// and only here. What a statement stores, finds and reports is unchanged: a bound
// text is the bytes that stood between its quotes, a number the same integer, and
// a failure SQLite's same message under the same label. A text holding a NUL unit
// ended the statement's text inside its quotes, so that statement failed; it still
// runs as text, and fails the same way.
bool LoadPointDatabase::Run(const SqlText& sql, std::string_view operation, bool print,
                            QueryResult* rows) {
  SqlStatement* statement = db_.IsOpen() && !sql.HoldsNul() ? statements_.Get(db_, sql.Str()) : nullptr;
  // Not prepared: SQL text again, which reports why.
  if (statement == nullptr) return Execute(sql.Literal(), operation, print, rows);
  const bool inTransaction = db_.InTransaction();
  bool ok = BindValues(sql, *statement);
  SqlStep step = SqlStep::kDone;
  if (ok) {
    const int columns = rows != nullptr ? statement->ColumnCount() : 0;
    std::vector<char*> names(columns), cells(columns);
    for (int i = 0; i < columns; ++i) names[i] = const_cast<char*>(statement->ColumnName(i));
    while ((step = statement->Step()) == SqlStep::kRow) {
      if (rows == nullptr) continue;
      // As sqlite3_exec hands them to its callback: every cell as text, NULL as null.
      for (int i = 0; i < columns; ++i) cells[i] = const_cast<char*>(statement->Text(i));
      CollectRow(rows, columns, cells.data(), names.data());
    }
    ok = step == SqlStep::kDone;
  }
  char* message = ok ? nullptr : sqlite3_mprintf("%s", db_.ErrorMessage().c_str());
  // Every run binds every parameter of its text anew: nothing to clear.
  statement->Reset();
  if (ok) return true;
  ReportSqlError(operation, message, print);
  if (inTransaction && !db_.InTransaction()) TransactionLost();
  return false;
}

bool LoadPointDatabase::BindValues(const SqlText& sql, SqlStatement& statement) {
  int position = 0;
  for (const SqlText::Value& value : sql.Values()) {
    ++position;
    const bool bound = value.isText ? statement.BindText(position, sql.TextOf(value))
                                    : statement.BindInt(position, value.number);
    if (!bound) return false;
  }
  return true;
}

int32_t LoadPointDatabase::Insert(const SqlText& sql, std::string_view operation) {
  if (!BatchAdmitsWrite()) return -1;
  if (!Run(sql, operation, false)) {
    AfterFailedWrite();
    return -1;
  }
  return static_cast<int32_t>(db_.LastInsertKey());
}

int32_t LoadPointDatabase::Change(const SqlText& sql, std::string_view operation) {
  if (!BatchAdmitsWrite()) return 0;
  if (Run(sql, operation, false)) return 1;
  AfterFailedWrite();
  return 0;
}

int32_t LoadPointDatabase::Query(const SqlText& sql, std::string_view operation, RowReader& rows) {
  BatchTakesRead();
  // A reader that already holds rows keeps them; only this query's rows count.
  const uint32_t before = rows.Count();
  if (!Run(sql, operation, true, &rows.Result())) return 0;
  return rows.Count() > before ? 1 : 0;
}

}  // namespace Database
