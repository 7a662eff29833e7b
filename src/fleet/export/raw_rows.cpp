#include "fleet/export/raw_rows.h"

#include <map>

#include "database/sql_read_transaction.h"
#include "fleet/export/row_json.h"

using Database::SqlAccess;
using Database::SqlConnection;
using Database::SqlReadTransaction;
using Database::SqlStatement;
using Database::SqlStep;
using Database::SqlType;

namespace Fleet {
namespace {

nlohmann::json ColumnValue(const SqlStatement& stmt, int i) {
  switch (stmt.Type(i)) {
    case SqlType::kInteger: return stmt.Int64(i);
    case SqlType::kFloat: return stmt.Double(i);
    case SqlType::kNull: return nullptr;
    default: return std::string(stmt.View(i));
  }
}

nlohmann::json RowObject(const SqlStatement& stmt) {
  nlohmann::json row = nlohmann::json::object();
  for (int i = 0; i < stmt.ColumnCount(); ++i) row[stmt.ColumnName(i)] = ColumnValue(stmt, i);
  return row;
}

RawEvent EventOf(const SqlStatement& stmt) {
  RawEvent event;
  event.changeEvent = RowObject(stmt);
  event.key = stmt.Int64(stmt.ColumnIndex("KEY"));
  const int type = stmt.ColumnIndex("EVENT_TYPE");
  if (type >= 0) event.eventType = stmt.Int64(type);
  event.extendedEvent = nullptr;
  return event;
}

std::string Failed(const SqlConnection& db, const std::string& what) { return what + ": " + db.ErrorMessage(); }

}  // namespace

RecordFile::~RecordFile() { Close(); }

void RecordFile::Close() { db_.Close(); }

bool RecordFile::Open(const std::string& path, std::string* error) {
  Close();
  // immutable=0 and mode=ro: SQLite's locks still apply, so a read never sees half a
  // transaction of the service, and nothing is ever written beside the file.
  const std::string uri = "file:" + path + "?mode=ro";
  if (!db_.Open(uri, SqlAccess::kReadOnly, true)) {
    *error = "cannot open " + path + ": " + db_.ErrorMessage();
    return false;
  }
  // One of the service's 500 ms busy retries; a longer lock fails the read, which is tried again.
  db_.WaitWhileBusy(std::chrono::milliseconds(1000));
  SqlStatement probe(db_, "SELECT KEY, EVENT_TIME, PROCESS_ENTRY_KEY, LOAD_POINT_KEY FROM ChangeEvents LIMIT 1");
  if (!probe.Ok()) {
    *error = path + " is not a Brumevale record: " + db_.ErrorMessage();
    return false;
  }
  return true;
}

bool RecordFile::ReadEvents(int64_t after, int limit, std::vector<RawEventText>* out, std::string* error) {
  out->clear();
  // The events and their extended rows as one snapshot, still one short read.
  SqlReadTransaction transaction(db_);
  SqlStatement stmt(db_, "SELECT * FROM ChangeEvents WHERE KEY > ? ORDER BY KEY LIMIT ?");
  if (!stmt.Ok()) return *error = Failed(db_, "reading the change events"), false;
  stmt.Bind(1, after);
  stmt.BindInt(2, limit);
  const std::vector<int> order = MemberOrder(stmt);
  const int key = stmt.ColumnIndex("KEY");
  SqlStep step;
  while ((step = stmt.Step()) == SqlStep::kRow) {
    RawEventText& event = out->emplace_back();
    event.key = stmt.Int64(key);
    event.changeEvent.reserve(256);
    AppendRowJson(stmt, order, &event.changeEvent);
  }
  if (step != SqlStep::kDone) return *error = Failed(db_, "reading the change events"), false;
  if (out->empty()) return true;
  return ExtendedRows(out->front().key, out->back().key, out, error);
}

bool RecordFile::ReadEventsByKey(const std::vector<int64_t>& keys, std::vector<RawEvent>* out,
                                 std::string* error) {
  out->clear();
  SqlStatement stmt(db_, "SELECT * FROM ChangeEvents WHERE KEY = ?");
  SqlStatement ext(db_, "SELECT * FROM ExtendedEvent WHERE CHANGE_EVENT_KEY = ?");
  if (!stmt.Ok() || !ext.Ok()) return *error = Failed(db_, "reading the change events"), false;
  for (const int64_t key : keys) {
    stmt.Reset();
    stmt.Bind(1, key);
    if (stmt.Step() != SqlStep::kRow) continue;
    RawEvent event = EventOf(stmt);
    ext.Reset();
    ext.Bind(1, key);
    if (ext.Step() == SqlStep::kRow) event.extendedEvent = RowObject(ext);
    out->push_back(std::move(event));
  }
  return true;
}

bool RecordFile::ExtendedRows(int64_t first, int64_t last, std::vector<RawEventText>* events,
                              std::string* error) {
  SqlStatement stmt(db_, "SELECT * FROM ExtendedEvent WHERE CHANGE_EVENT_KEY BETWEEN ? AND ?");
  if (!stmt.Ok()) return *error = Failed(db_, "reading the extended events"), false;
  stmt.Bind(1, first);
  stmt.Bind(2, last);
  const std::vector<int> order = MemberOrder(stmt);
  const int owner = stmt.ColumnIndex("CHANGE_EVENT_KEY");
  // Of two rows for one event, the later read stands.
  std::map<int64_t, std::string> byEvent;
  SqlStep step;
  while ((step = stmt.Step()) == SqlStep::kRow) {
    std::string& text = byEvent[stmt.Int64(owner)];
    text.clear();
    text.reserve(512);
    AppendRowJson(stmt, order, &text);
  }
  if (step != SqlStep::kDone) return *error = Failed(db_, "reading the extended events"), false;
  for (RawEventText& event : *events) {
    const auto found = byEvent.find(event.key);
    if (found != byEvent.end()) event.extendedEvent = std::move(found->second);
  }
  return true;
}

int64_t RecordFile::KeyBefore(int64_t key, int limit) {
  SqlStatement stmt(db_, "SELECT KEY FROM ChangeEvents WHERE KEY <= ? ORDER BY KEY DESC LIMIT 1 OFFSET ?");
  if (!stmt.Ok()) return 0;
  stmt.Bind(1, key);
  stmt.BindInt(2, limit - 1);
  return stmt.Step() == SqlStep::kRow ? stmt.Int64(0) : 0;
}

int64_t RecordFile::LatestRescanKey(int64_t atMost) {
  SqlStatement stmt(db_, "SELECT MAX(KEY) FROM ChangeEvents WHERE EVENT_TYPE = 9 AND KEY <= ?");
  if (!stmt.Ok()) return 0;
  stmt.Bind(1, atMost);
  return stmt.Step() == SqlStep::kRow ? stmt.Int64(0) : 0;
}

bool RecordFile::ReadLoadPoints(std::vector<nlohmann::json>* out, std::string* error) {
  out->clear();
  SqlStatement stmt(db_, "SELECT * FROM LoadPoints ORDER BY KEY");
  if (!stmt.Ok()) return *error = Failed(db_, "reading the load points"), false;
  SqlStep step;
  while ((step = stmt.Step()) == SqlStep::kRow) out->push_back(RowObject(stmt));
  if (step != SqlStep::kDone) return *error = Failed(db_, "reading the load points"), false;
  return true;
}

}  // namespace Fleet
