// Record operations on the additive table EventOrigin.

#include "database/load_point_database.h"

int32_t LoadPointDatabase::AddEventOriginEntry(int32_t changeEventKey, ChangeOrigin origin,
                                               LoadPointStateChange stateChange) {
  if (origin == ChangeOrigin::kDriver && stateChange == LoadPointStateChange::kNone) return 0;
  SqlText sql("INSERT INTO EventOrigin VALUES (");
  sql.Int(changeEventKey).Raw(", ").Int(static_cast<int32_t>(origin)).Raw(", ");
  sql.Int(static_cast<int32_t>(stateChange)).Raw(")");
  return Insert(sql, "AddEventOriginEntry");
}
