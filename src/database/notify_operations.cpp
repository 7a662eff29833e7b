// Notification lists: each load point owns a NotifyList row under its own key whose
// NOTIFY_KEYS text lists its Notify rows ("40,41"), oldest first.

#include "database/load_point_database.h"

namespace Database {

int32_t LoadPointDatabase::AddNotifyListEntry(int32_t key) {
  return Insert(SqlText("INSERT INTO NotifyList VALUES (").Int(key).Raw(", '')"),
                "AddNotifyListEntry");
}

int32_t LoadPointDatabase::FindNotifyListEntry(int32_t key, NotifyListRows& rows) {
  return Query(SqlText("SELECT * FROM NotifyList WHERE KEY = ").Int(key), "FindNotifyListEntry",
               rows);
}

// Only an existing list is extended; a list is never created here.
int32_t LoadPointDatabase::AddNotifyKeyToNotifyList(int32_t listKey, int32_t notifyKey) {
  NotifyListRows rows;
  if (!FindNotifyListEntry(listKey, rows)) return 0;
  std::u16string keys = rows.NOTIFY_KEYS(0);
  if (!keys.empty()) keys += u',';
  keys += FromAnsi(FormatInt(notifyKey));
  SqlText sql("UPDATE NotifyList SET NOTIFY_KEYS = ");
  return Change(sql.Text(keys).Raw(" WHERE KEY = ").Int(listKey), "AddNotifyKeyToNotifyList");
}

int32_t LoadPointDatabase::AddNotifyEntry(int32_t listKey, int32_t notifyType,
                                          std::u16string_view info) {
  SqlText sql("INSERT INTO Notify VALUES (NULL, ");
  sql.Int(listKey).Raw(", ").Int(notifyType).Raw(", DATETIME('NOW', 'LOCALTIME'), ").Text(info);
  const int32_t key = Insert(sql.Raw(")"), "AddNotifyEntry");
  if (key != -1) AddNotifyKeyToNotifyList(listKey, key);
  return key;
}

int32_t LoadPointDatabase::RemoveNotifyEntry(int32_t key) {
  return Change(SqlText("DELETE FROM Notify WHERE KEY = ").Int(key), "RemoveNotifyEntry");
}

int32_t LoadPointDatabase::RemoveLoadPointsNotifyListEntry(int32_t listKey) {
  NotifyListRows rows;
  if (!FindNotifyListEntry(listKey, rows)) return 0;
  std::vector<int32_t> keys;
  ParseNotifyKeys(rows, keys, 0);
  for (int32_t key : keys) RemoveNotifyEntry(key);
  return Change(SqlText("DELETE FROM NotifyList WHERE KEY = ").Int(listKey),
                "RemoveLoadPointsNotifyListEntry");
}

bool LoadPointDatabase::ParseNotifyKeys(const NotifyListRows& rows, std::vector<int32_t>& keys,
                                        uint32_t row) {
  const std::vector<int32_t> parsed = rows.NotifyKeys(row);
  if (parsed.empty()) return false;
  keys.insert(keys.end(), parsed.begin(), parsed.end());
  return true;
}

}  // namespace Database
