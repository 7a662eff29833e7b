// Record operations on SystemSetting and FileExtension. Both tables are updated the
// same way: the change-event key, the value, or both, in one statement.

#include "database/load_point_database.h"

namespace Database {

// UPDATE <table> SET[ CHANGE_EVENT_KEY = n][,][ <valueColumn> = 'v'] WHERE KEY = k.
// A negative changeEventKey leaves the link alone; with no value as well there is
// nothing to write, and nothing is executed.
int32_t LoadPointDatabase::UpdateSetting(std::string_view table, std::string_view valueColumn,
                                         std::string_view operation, int32_t key,
                                         int32_t changeEventKey,
                                         std::optional<std::u16string_view> value) {
  if (changeEventKey < 0 && !value) return 0;
  SqlText sql("UPDATE ");
  sql.Raw(table).Raw(" SET");
  if (changeEventKey >= 0) sql.Raw(" CHANGE_EVENT_KEY = ").Int(changeEventKey);
  if (value) {
    if (changeEventKey >= 0) sql.Raw(",");
    sql.Raw(" ").Raw(valueColumn).Raw(" = ").Text(*value);
  }
  return Change(sql.Raw(" WHERE KEY = ").Int(key), operation);
}

int32_t LoadPointDatabase::AddSystemSetting(int32_t type, std::u16string_view userId,
                                            std::u16string_view path,
                                            std::u16string_view currentValue) {
  SqlText sql("INSERT INTO SystemSetting VALUES (NULL, ");
  sql.Int(type).Raw(", ").Text(userId).Raw(", ").Text(path).Raw(", ").Text(currentValue);
  return Insert(sql.Raw(", 0)"), "AddSystemSetting");
}

int32_t LoadPointDatabase::UpdateSystemSettingEntry(int32_t key, int32_t changeEventKey,
                                                    std::optional<std::u16string_view> currentValue) {
  return UpdateSetting("SystemSetting", "CURRENT_VALUE", "UpdateSystemSettingEntry", key,
                       changeEventKey, currentValue);
}

int32_t LoadPointDatabase::UpdateSystemSettingEntry(int32_t key, std::u16string_view currentValue) {
  return UpdateSystemSettingEntry(key, -1, currentValue);
}

int32_t LoadPointDatabase::FindSystemSetting(int32_t type, std::u16string_view userId,
                                             SystemSettingRows& rows) {
  SqlText sql("SELECT * FROM SystemSetting WHERE SystemSetting.TYPE = ");
  sql.Int(type).Raw(" AND SystemSetting.USER_ID = ").Text(userId);
  return Query(sql, "FindSystemSetting", rows);
}

int32_t LoadPointDatabase::AddFileExtenstionEntry(int32_t type, std::u16string_view userId,
                                                  std::u16string_view entryId,
                                                  std::u16string_view entryValue,
                                                  std::u16string_view verb) {
  SqlText sql("INSERT INTO FileExtension VALUES (NULL, ");
  sql.Int(type).Raw(", ").Text(userId).Raw(", ").Text(entryId).Raw(", ").Text(verb);
  sql.Raw(", ").Text(entryValue).Raw(", 0)");
  return Insert(sql, "AddFileExtenstionEntry");
}

int32_t LoadPointDatabase::UpdateFileExtensionEntry(int32_t key, int32_t changeEventKey,
                                                    std::optional<std::u16string_view> entryValue) {
  return UpdateSetting("FileExtension", "ENTRY_VALUE", "UpdateFileExtensionEntry", key,
                       changeEventKey, entryValue);
}

int32_t LoadPointDatabase::UpdateFileExtensionEntry(int32_t key, std::u16string_view entryValue) {
  return UpdateFileExtensionEntry(key, -1, entryValue);
}

int32_t LoadPointDatabase::RemoveFileExtensionEntry(int32_t key) {
  return Change(SqlText("DELETE FROM FileExtension WHERE KEY = ").Int(key),
                "RemoveFileExtensionEntry");
}

int32_t LoadPointDatabase::FindFileExtensionEntry(int32_t type, std::u16string_view userId,
                                                  std::u16string_view entryId,
                                                  std::u16string_view verb,
                                                  FileExtensionRows& rows) {
  SqlText sql("SELECT * FROM FileExtension WHERE FileExtension.TYPE = ");
  sql.Int(type).Raw(" AND FileExtension.USER_ID = ").Text(userId);
  sql.Raw(" AND FileExtension.ENTRY_ID = ").Text(entryId);
  sql.Raw(" AND FileExtension.VERB = ").Text(verb);
  return Query(sql, "FindFileExtensionEntry", rows);
}

int32_t LoadPointDatabase::FindFileExtensionEntry(int32_t key, FileExtensionRows& rows) {
  return Query(SqlText("SELECT * FROM FileExtension WHERE FileExtension.KEY = ").Int(key),
               "FindFileExtensionEntry", rows);
}

}  // namespace Database
