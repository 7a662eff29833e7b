// Record operations on the additive table EventOrigin.

#include "database/load_point_database.h"

int32_t LoadPointDatabase::AddEventOriginEntry(int32_t changeEventKey, ChangeOrigin origin,
                                               LoadPointStateChange stateChange) {
  if (origin == ChangeOrigin::kDriver && stateChange == LoadPointStateChange::kNone) return 0;
  // Two parts of the service may each know half of an event's row (how it was
  // learnt, whether it switched a load point off or on); a second write for the
  // same event adds its half instead of failing. The unmarked value of both
  // columns is 0, so the larger value is the one that says something.
  SqlText sql("INSERT INTO EventOrigin VALUES (");
  sql.Int(changeEventKey).Raw(", ").Int(static_cast<int32_t>(origin)).Raw(", ");
  sql.Int(static_cast<int32_t>(stateChange));
  sql.Raw(") ON CONFLICT(CHANGE_EVENT_KEY) DO UPDATE SET ORIGIN = MAX(ORIGIN, excluded.ORIGIN), "
          "STATE_CHANGE = MAX(STATE_CHANGE, excluded.STATE_CHANGE)");
  return Insert(sql, "AddEventOriginEntry") == -1 ? -1 : changeEventKey;
}

int32_t LoadPointDatabase::FindLastRemovalStateChange(std::span<const int32_t> types,
                                                      std::u16string_view userId,
                                                      std::span<const std::u16string> names,
                                                      LoadPointStateChange* stateChange) {
  if (types.empty() || names.empty()) return 0;
  // The newest removal whose ExtendedEvent names the load point: PARAM_0 its type,
  // PARAM_2 its user, PARAM_1 its entry name or the display name its handler
  // stored there instead.
  SqlText sql(
      "SELECT IFNULL(o.STATE_CHANGE, 0) FROM ChangeEvents c JOIN ExtendedEvent e ON "
      "e.CHANGE_EVENT_KEY = c.KEY LEFT JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = c.KEY WHERE "
      "c.EVENT_TYPE = 2 AND e.EX_EVENT_TYPE = 4 AND e.PARAM_2 = ");
  sql.Text(userId).Raw(" AND e.PARAM_0 IN (");
  for (size_t i = 0; i < types.size(); ++i) {
    sql.Raw(i == 0 ? "" : ", ").Text(FromUtf8(FormatInt(types[i])));
  }
  sql.Raw(") AND (");
  for (size_t i = 0; i < names.size(); ++i) {
    sql.Raw(i == 0 ? "" : " OR ").Raw("e.PARAM_1 = ").Text(names[i]).Raw(" COLLATE NOCASE");
  }
  sql.Raw(") ORDER BY c.KEY DESC LIMIT 1");
  BatchTakesRead();
  QueryResult result;
  if (!Run(sql, "FindLastRemovalStateChange", true, &result) || result.RowCount() == 0) return 0;
  int32_t state = 0;
  result.IntValue(0, 0, &state);
  if (stateChange != nullptr) *stateChange = static_cast<LoadPointStateChange>(state);
  return 1;
}
