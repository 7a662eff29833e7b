// Record operations on the additive table UtcOffsets.

#include "database/load_point_database.h"

namespace Database {

int32_t LoadPointDatabase::AddUtcOffsetEntry(std::u16string_view since, int32_t offsetMinutes) {
  // One statement, so that the comparison with the latest row and the insert see the
  // same table: a row only when the offset differs from the one in force.
  SqlText sql("INSERT INTO UtcOffsets (SINCE, OFFSET_MINUTES) SELECT ");
  sql.Text(since).Raw(", ").Int(offsetMinutes).Raw(" WHERE ").Int(offsetMinutes);
  sql.Raw(" IS NOT (SELECT OFFSET_MINUTES FROM UtcOffsets ORDER BY KEY DESC LIMIT 1)");
  return Change(sql, "AddUtcOffsetEntry");
}

}  // namespace Database
