// Record operations on LoadPoints, ChangeEvents, Indirection and ExtendedEvent.
// Each operation is its statement text, built piece by piece, and the result
// convention of its kind (Insert, Change or Query).

#include <algorithm>

#include "database/load_point_database.h"

namespace Database {

namespace {

constexpr char kLocalNow[] = "DATETIME('NOW', 'LOCALTIME')";

SqlText LoadPointSelect(bool keysOnly) {
  return SqlText(keysOnly ? "SELECT KEY, CHANGE_EVENT_KEY, INDIRECTION_KEY, USER_ID, LP_TYPE FROM LoadPoints"
                          : "SELECT * FROM LoadPoints");
}

}  // namespace

int32_t LoadPointDatabase::AddLoadPointEntry(int32_t lpType, std::u16string_view userId,
                                             std::u16string_view entryName,
                                             std::u16string_view commandLine,
                                             std::u16string_view displayName) {
  SqlText sql("INSERT INTO LoadPoints VALUES ");
  sql.Raw("(NULL, ").Int(lpType).Raw(", ").Text(userId).Raw(", ").Text(entryName).Raw(", ");
  sql.Text(commandLine).Raw(", 0, ").Raw(kLocalNow).Raw(", 0, ").Text(displayName).Raw(")");
  const int32_t key = Insert(sql, "AddLoadPointEntry");
  if (key == -1) return key;
  if (const auto identity = LoadPointIndex::Identity(lpType, userId, entryName)) index_.Add(*identity, key);
  AddNotifyListEntry(key);
  return key;
}

int32_t LoadPointDatabase::UpdateLoadPointEntry(int32_t key, int32_t changeEventKey) {
  SqlText sql("UPDATE LoadPoints SET CHANGE_EVENT_KEY = ");
  return Change(sql.Int(changeEventKey).Raw(" WHERE KEY = ").Int(key), "UpdateLoadPointEntry");
}

int32_t LoadPointDatabase::UpdateLoadPointEntry(int32_t key, std::u16string_view commandLine) {
  SqlText sql("UPDATE LoadPoints SET COMMAND_LINE = ");
  return Change(sql.Text(commandLine).Raw(" WHERE KEY = ").Int(key), "UpdateLoadPointEntry");
}

int32_t LoadPointDatabase::UpdateLoadPointDisplayName(int32_t key, std::u16string_view displayName) {
  SqlText sql("UPDATE LoadPoints SET DISPLAY_NAME = ");
  return Change(sql.Text(displayName).Raw(" WHERE KEY = ").Int(key), "UpdateLoadPointDisplayName");
}

int32_t LoadPointDatabase::UpdateLoadPointEntryIndirectionKey(int32_t key, int32_t indirectionKey) {
  SqlText sql("UPDATE LoadPoints SET INDIRECTION_KEY = ");
  return Change(sql.Int(indirectionKey).Raw(" WHERE KEY = ").Int(key),
                "UpdateLoadPointEntryIndirectionKey");
}

int32_t LoadPointDatabase::RemoveLoadPointEntry(int32_t key) {
  const int32_t result = Change(SqlText("DELETE FROM LoadPoints WHERE KEY = ").Int(key), "RemoveLoadPointEntry");
  if (result == 1) index_.Remove(key);
  return result;
}

int32_t LoadPointDatabase::FindLoadPointEntry(int32_t key, LoadPointRows& rows) {
  SqlText sql("SELECT * FROM LoadPoints WHERE LoadPoints.KEY = ");
  return Query(sql.Int(key), "FindLoadPointEntry", rows);
}

int32_t LoadPointDatabase::FindLoadPointEntry(int32_t lpType, std::u16string_view userId,
                                              std::u16string_view entryName, LoadPointRows& rows) {
  const auto identity = LoadPointIndex::Identity(lpType, userId, entryName);
  if (identity && LoadPointIndexReady()) {
    const std::vector<int32_t>* keys = index_.Find(*identity);
    return keys != nullptr ? QueryLoadPointKeys(*keys, "FindLoadPointEntry", rows) : 0;
  }
  SqlText sql("SELECT * FROM LoadPoints WHERE LoadPoints.LP_TYPE = ");
  sql.Int(lpType).Raw(" AND LoadPoints.USER_ID = ").Text(userId);
  sql.Raw(" AND LoadPoints.ENTRY_NAME = ").Text(entryName);
  return Query(sql, "FindLoadPointEntry", rows);
}

int32_t LoadPointDatabase::FindServiceEntry(std::u16string_view userId,
                                            std::u16string_view entryName, LoadPointRows& rows) {
  std::vector<int32_t> keys;
  bool indexed = LoadPointIndexReady();
  for (const int32_t type : {12, 13, 29}) {
    const auto identity = LoadPointIndex::Identity(type, userId, entryName);
    indexed = indexed && identity.has_value();
    if (!indexed) break;
    if (const std::vector<int32_t>* found = index_.Find(*identity)) keys.insert(keys.end(), found->begin(), found->end());
  }
  if (indexed) {
    std::sort(keys.begin(), keys.end());
    return keys.empty() ? 0 : QueryLoadPointKeys(keys, "FindServiceEntry", rows);
  }
  SqlText sql(
      "SELECT * FROM LoadPoints WHERE (LoadPoints.LP_TYPE = 12 OR LoadPoints.LP_TYPE = 13 OR "
      "LoadPoints.LP_TYPE = 29) AND LoadPoints.USER_ID = ");
  sql.Text(userId).Raw(" AND LoadPoints.ENTRY_NAME = ").Text(entryName);
  return Query(sql, "FindServiceEntry", rows);
}

int32_t LoadPointDatabase::RequestLoadPointEntries(int32_t lpType, LoadPointRows& rows,
                                                   bool keysOnly) {
  SqlText sql = LoadPointSelect(keysOnly);
  sql.Raw(" WHERE LP_TYPE = ").Int(lpType).Raw(" ORDER BY KEY");
  return Query(sql, "RequestLoadPointEntries", rows);
}

int32_t LoadPointDatabase::RequestLoadPointEntries(LoadPointRows& rows, bool keysOnly,
                                                   int32_t minKey) {
  SqlText sql = LoadPointSelect(keysOnly);
  sql.Raw(" WHERE KEY >= ").Int(minKey).Raw(" ORDER BY KEY");
  return Query(sql, "RequestLoadPointEntries", rows);
}

bool LoadPointDatabase::RequestKeysFromTable(std::set<int32_t>& keys, std::u16string_view table) {
  // The table name is a caller's constant, never user text: no quotes, no escaping.
  const SqlText sql = SqlText("SELECT KEY FROM ").Raw(ToUtf8(table));
  QueryResult result;
  if (!Run(sql, "RequestKeysFromTable", true, &result)) return false;
  for (uint32_t row = 0; row < result.RowCount(); ++row) {
    int32_t key = 0;
    if (result.IntValue(row, 0, &key)) keys.insert(key);
  }
  return true;
}

void LoadPointDatabase::DeleteLoadPoint(int32_t key) {
  RemoveLoadPointEntry(key);
  RemoveLoadPointsIndirectionEntry(key);
  RemoveLoadPointsNotifyListEntry(key);
}

int32_t LoadPointDatabase::AddChangeEventEntry(std::u16string_view eventTime, int32_t loadPointKey,
                                               int32_t processKey, int32_t eventType) {
  // The process key comes before the load-point key in the row.
  SqlText sql("INSERT INTO ChangeEvents VALUES (NULL, ");
  eventTime.empty() ? sql.Raw(kLocalNow) : sql.Text(eventTime);
  sql.Raw(", ").Int(processKey).Raw(", ").Int(loadPointKey).Raw(", ").Int(eventType).Raw(")");
  return Insert(sql, "AddChangeEventEntry");
}

int32_t LoadPointDatabase::AddChangeEventEntry(int32_t loadPointKey, int32_t processKey,
                                               int32_t eventType) {
  return AddChangeEventEntry(u"", loadPointKey, processKey, eventType);
}

int32_t LoadPointDatabase::AddIndirectionEntry(int32_t lpKey, std::u16string_view entryName,
                                               std::u16string_view commandLine) {
  SqlText sql("INSERT INTO Indirection VALUES (NULL, ");
  sql.Int(lpKey).Raw(", ").Text(entryName).Raw(", ").Text(commandLine).Raw(")");
  const int32_t key = Insert(sql, "AddIndirectionEntry");
  if (key != -1) UpdateLoadPointEntryIndirectionKey(lpKey, key);
  return key;
}

int32_t LoadPointDatabase::UpdateIndirectionEntry(int32_t key, std::u16string_view entryName,
                                                  std::u16string_view commandLine) {
  SqlText sql("UPDATE Indirection SET ENTRY_NAME = ");
  sql.Text(entryName).Raw(", COMMAND_LINE = ").Text(commandLine).Raw(" WHERE KEY = ").Int(key);
  return Change(sql, "UpdateIndirectionEntry");
}

int32_t LoadPointDatabase::UpdateIndirectionEntryCommandLine(int32_t key,
                                                             std::u16string_view commandLine) {
  SqlText sql("UPDATE Indirection SET COMMAND_LINE = ");
  return Change(sql.Text(commandLine).Raw(" WHERE KEY = ").Int(key),
                "UpdateIndirectionEntryCommandLine");
}

int32_t LoadPointDatabase::RemoveIndirectionEntry(int32_t key) {
  return Change(SqlText("DELETE FROM Indirection WHERE KEY = ").Int(key), "RemoveIndirectionEntry");
}

int32_t LoadPointDatabase::RemoveLoadPointsIndirectionEntry(int32_t lpKey) {
  return Change(SqlText("DELETE FROM Indirection WHERE LP_KEY = ").Int(lpKey),
                "RemoveLoadPointsIndirectionEntry");
}

int32_t LoadPointDatabase::FindIndirectionEntry(int32_t lpKey, IndirectionRows& rows) {
  return Query(SqlText("SELECT * FROM Indirection WHERE LP_KEY = ").Int(lpKey),
               "FindIndirectionEntry", rows);
}

int32_t LoadPointDatabase::FindIndirectionEntryByKey(int32_t key, IndirectionRows& rows) {
  return Query(SqlText("SELECT * FROM Indirection WHERE KEY = ").Int(key), "FindIndirectionEntry",
               rows);
}

int32_t LoadPointDatabase::AddExtendedEventEntry(const ExtendedEventData& data) {
  SqlText sql("INSERT INTO ExtendedEvent VALUES (NULL, ");
  sql.Int(data.changeEventKey).Raw(", ").Int(static_cast<int32_t>(data.extendedEventType));
  for (int i = 0; i < ExtendedEventData::kParamCount; ++i) sql.Raw(", ").Text(data.GetParam(i));
  sql.Raw(")");
  return Insert(sql, "AddExtendedEventEntry") != -1 ? 1 : 0;
}

}  // namespace Database
