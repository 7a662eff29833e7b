// Lookups of load points by identity, answered from the in-memory index
// (load_point_index.h) and one query by key.

#include <sqlite3.h>

#include "database/load_point_database.h"

int64_t LoadPointDatabase::DataVersion() {
  sqlite3_stmt* statement = statements_.Get(db_, "PRAGMA data_version");
  if (statement == nullptr) return -1;
  const int64_t version = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
  sqlite3_reset(statement);
  return version;
}

bool LoadPointDatabase::LoadPointIndexReady() {
  if (db_ == nullptr) return false;
  BatchTakesRead();
  // Inside a transaction of ours no other connection commits (ours are exclusive),
  // so the version read once in it holds until it ends: a burst's lookups read it
  // once.
  const bool inTransaction = sqlite3_get_autocommit(db_) == 0;
  if (inTransaction && versionHeld_) return index_.Loaded() || LoadLoadPointIndex();
  // The version moves when another connection (a tool, another copy of the
  // service) has committed to the file: its rows are then read afresh.
  const int64_t version = DataVersion();
  if (version == -1) return false;
  if (version != indexVersion_) InvalidateLoadPointIndex();
  indexVersion_ = version;
  versionHeld_ = inTransaction;
  return index_.Loaded() || LoadLoadPointIndex();
}

// Read without a report on failure: the query the lookup falls back to reports it.
bool LoadPointDatabase::LoadLoadPointIndex() {
  sqlite3_stmt* rows = nullptr;
  if (sqlite3_prepare_v2(db_,
                         "SELECT KEY, LP_TYPE, USER_ID, ENTRY_NAME FROM LoadPoints WHERE LP_TYPE "
                         "IS NOT NULL AND USER_ID IS NOT NULL AND ENTRY_NAME IS NOT NULL ORDER BY KEY",
                         -1, &rows, nullptr) != SQLITE_OK) {
    sqlite3_finalize(rows);
    return false;
  }
  index_.Reset();
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
    const auto text = [rows](int column) {
      const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(rows, column));
      return std::string_view(bytes != nullptr ? bytes : "", sqlite3_column_bytes(rows, column));
    };
    index_.Add(LoadPointIndex::Identity(sqlite3_column_int(rows, 1), text(2), text(3)),
               sqlite3_column_int(rows, 0));
  }
  sqlite3_finalize(rows);
  if (rc != SQLITE_DONE) index_.Drop();
  return index_.Loaded();
}

int32_t LoadPointDatabase::QueryLoadPointKeys(const std::vector<int32_t>& keys,
                                              std::string_view operation, LoadPointRows& rows) {
  SqlText sql("SELECT * FROM LoadPoints WHERE KEY ");
  if (keys.size() == 1) {
    sql.Raw("= ").Int(keys.front());
  } else {
    sql.Raw("IN (");
    for (size_t i = 0; i < keys.size(); ++i) sql.Raw(i == 0 ? "" : ", ").Int(keys[i]);
    sql.Raw(") ORDER BY KEY");
  }
  return Query(sql, operation, rows);
}
