#include "fleet/export/raw_rows.h"

#include <map>

#include <sqlite3.h>

#include "fleet/export/row_json.h"

namespace Fleet {
namespace {

// One SQLite statement, finalized when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
  ~Statement() { sqlite3_finalize(stmt_); }
  bool ok() const { return ok_; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool ok_ = false;
};

// One read transaction over the statements made while it lives: one shared lock
// taken and dropped instead of one per statement (each lock, unlock and check for a
// journal is a round trip through the Wine server under Wine). A read that fails is
// left to its statement's own check.
class ReadTransaction {
 public:
  explicit ReadTransaction(sqlite3* db)
      : db_(db), open_(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) {}
  ~ReadTransaction() {
    if (open_) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  }

 private:
  sqlite3* db_;
  bool open_;
};

nlohmann::json ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER: return sqlite3_column_int64(stmt, i);
    case SQLITE_FLOAT: return sqlite3_column_double(stmt, i);
    case SQLITE_NULL: return nullptr;
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      return std::string(text, sqlite3_column_bytes(stmt, i));
    }
  }
}

nlohmann::json RowObject(sqlite3_stmt* stmt) {
  nlohmann::json row = nlohmann::json::object();
  for (int i = 0; i < sqlite3_column_count(stmt); ++i) row[sqlite3_column_name(stmt, i)] = ColumnValue(stmt, i);
  return row;
}

int ColumnIndex(sqlite3_stmt* stmt, const char* name) {
  for (int i = 0; i < sqlite3_column_count(stmt); ++i)
    if (sqlite3_stricmp(sqlite3_column_name(stmt, i), name) == 0) return i;
  return -1;
}

RawEvent EventOf(sqlite3_stmt* stmt) {
  RawEvent event;
  event.changeEvent = RowObject(stmt);
  event.key = sqlite3_column_int64(stmt, ColumnIndex(stmt, "KEY"));
  const int type = ColumnIndex(stmt, "EVENT_TYPE");
  if (type >= 0) event.eventType = sqlite3_column_int64(stmt, type);
  event.extendedEvent = nullptr;
  return event;
}

std::string Failed(sqlite3* db, const std::string& what) { return what + ": " + sqlite3_errmsg(db); }

}  // namespace

RecordFile::~RecordFile() { Close(); }

void RecordFile::Close() {
  sqlite3_close(db_);
  db_ = nullptr;
}

bool RecordFile::Open(const std::string& path, std::string* error) {
  Close();
  // immutable=0 and mode=ro: SQLite's locks still apply, so a read never sees half a
  // transaction of the service, and nothing is ever written beside the file.
  const std::string uri = "file:" + path + "?mode=ro";
  if (sqlite3_open_v2(uri.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
    *error = "cannot open " + path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
    return false;
  }
  // One of the service's 500 ms busy retries; a longer lock fails the read, which is tried again.
  sqlite3_busy_timeout(db_, 1000);
  Statement probe(db_, "SELECT KEY, EVENT_TIME, PROCESS_ENTRY_KEY, LOAD_POINT_KEY FROM ChangeEvents LIMIT 1");
  if (!probe.ok()) {
    *error = path + " is not a Brumevale record: " + sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

bool RecordFile::ReadEvents(int64_t after, int limit, std::vector<RawEventText>* out, std::string* error) {
  out->clear();
  // The events and their extended rows as one snapshot, still one short read.
  ReadTransaction transaction(db_);
  Statement stmt(db_, "SELECT * FROM ChangeEvents WHERE KEY > ? ORDER BY KEY LIMIT ?");
  if (!stmt.ok()) return *error = Failed(db_, "reading the change events"), false;
  sqlite3_bind_int64(stmt.get(), 1, after);
  sqlite3_bind_int(stmt.get(), 2, limit);
  const std::vector<int> order = MemberOrder(stmt.get());
  const int key = ColumnIndex(stmt.get(), "KEY");
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    RawEventText& event = out->emplace_back();
    event.key = sqlite3_column_int64(stmt.get(), key);
    event.changeEvent.reserve(256);
    AppendRowJson(stmt.get(), order, &event.changeEvent);
  }
  if (rc != SQLITE_DONE) return *error = Failed(db_, "reading the change events"), false;
  if (out->empty()) return true;
  return ExtendedRows(out->front().key, out->back().key, out, error);
}

bool RecordFile::ReadEventsByKey(const std::vector<int64_t>& keys, std::vector<RawEvent>* out,
                                 std::string* error) {
  out->clear();
  Statement stmt(db_, "SELECT * FROM ChangeEvents WHERE KEY = ?");
  Statement ext(db_, "SELECT * FROM ExtendedEvent WHERE CHANGE_EVENT_KEY = ?");
  if (!stmt.ok() || !ext.ok()) return *error = Failed(db_, "reading the change events"), false;
  for (const int64_t key : keys) {
    sqlite3_reset(stmt.get());
    sqlite3_bind_int64(stmt.get(), 1, key);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) continue;
    RawEvent event = EventOf(stmt.get());
    sqlite3_reset(ext.get());
    sqlite3_bind_int64(ext.get(), 1, key);
    if (sqlite3_step(ext.get()) == SQLITE_ROW) event.extendedEvent = RowObject(ext.get());
    out->push_back(std::move(event));
  }
  return true;
}

bool RecordFile::ExtendedRows(int64_t first, int64_t last, std::vector<RawEventText>* events,
                              std::string* error) {
  Statement stmt(db_, "SELECT * FROM ExtendedEvent WHERE CHANGE_EVENT_KEY BETWEEN ? AND ?");
  if (!stmt.ok()) return *error = Failed(db_, "reading the extended events"), false;
  sqlite3_bind_int64(stmt.get(), 1, first);
  sqlite3_bind_int64(stmt.get(), 2, last);
  const std::vector<int> order = MemberOrder(stmt.get());
  const int owner = ColumnIndex(stmt.get(), "CHANGE_EVENT_KEY");
  // Of two rows for one event, the later read stands.
  std::map<int64_t, std::string> byEvent;
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    std::string& text = byEvent[sqlite3_column_int64(stmt.get(), owner)];
    text.clear();
    text.reserve(512);
    AppendRowJson(stmt.get(), order, &text);
  }
  if (rc != SQLITE_DONE) return *error = Failed(db_, "reading the extended events"), false;
  for (RawEventText& event : *events) {
    const auto found = byEvent.find(event.key);
    if (found != byEvent.end()) event.extendedEvent = std::move(found->second);
  }
  return true;
}

int64_t RecordFile::KeyBefore(int64_t key, int limit) {
  Statement stmt(db_, "SELECT KEY FROM ChangeEvents WHERE KEY <= ? ORDER BY KEY DESC LIMIT 1 OFFSET ?");
  if (!stmt.ok()) return 0;
  sqlite3_bind_int64(stmt.get(), 1, key);
  sqlite3_bind_int(stmt.get(), 2, limit - 1);
  return sqlite3_step(stmt.get()) == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : 0;
}

int64_t RecordFile::LatestRescanKey(int64_t atMost) {
  Statement stmt(db_, "SELECT MAX(KEY) FROM ChangeEvents WHERE EVENT_TYPE = 9 AND KEY <= ?");
  if (!stmt.ok()) return 0;
  sqlite3_bind_int64(stmt.get(), 1, atMost);
  return sqlite3_step(stmt.get()) == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : 0;
}

bool RecordFile::ReadLoadPoints(std::vector<nlohmann::json>* out, std::string* error) {
  out->clear();
  Statement stmt(db_, "SELECT * FROM LoadPoints ORDER BY KEY");
  if (!stmt.ok()) return *error = Failed(db_, "reading the load points"), false;
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) out->push_back(RowObject(stmt.get()));
  if (rc != SQLITE_DONE) return *error = Failed(db_, "reading the load points"), false;
  return true;
}

}  // namespace Fleet
