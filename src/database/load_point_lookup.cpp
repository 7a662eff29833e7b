// Lookups of load points by identity, answered from the in-memory index
// (load_point_index.h) and one query by key.

#include "database/load_point_database.h"

namespace Database {

int64_t LoadPointDatabase::DataVersion() {
  SqlStatement* statement = statements_.Get(db_, "PRAGMA data_version");
  if (statement == nullptr) return -1;
  const int64_t version = statement->Step() == SqlStep::kRow ? statement->Int64(0) : -1;
  statement->Reset();
  return version;
}

bool LoadPointDatabase::LoadPointIndexReady() {
  if (!db_.IsOpen()) return false;
  BatchTakesRead();
  // Inside a transaction of ours no other connection commits (ours are exclusive),
  // so the version read once in it holds until it ends: a burst's lookups read it
  // once.
  const bool inTransaction = db_.InTransaction();
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
  SqlStatement rows(db_,
                    "SELECT KEY, LP_TYPE, USER_ID, ENTRY_NAME FROM LoadPoints WHERE LP_TYPE "
                    "IS NOT NULL AND USER_ID IS NOT NULL AND ENTRY_NAME IS NOT NULL ORDER BY KEY");
  if (!rows.Ok()) return false;
  index_.Reset();
  SqlStep step = SqlStep::kRow;
  while ((step = rows.Step()) == SqlStep::kRow) {
    index_.Add(LoadPointIndex::Identity(rows.Int(1), rows.View(2), rows.View(3)), rows.Int(0));
  }
  // Finalised before the index is judged, as the read ends with it.
  rows = SqlStatement();
  if (step != SqlStep::kDone) index_.Drop();
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

}  // namespace Database
