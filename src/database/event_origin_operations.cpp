// Record operations on the additive table EventOrigin.

#include "database/load_point_database.h"

namespace Database {

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

namespace {

// The removals (EVENT_TYPE 2) whose ExtendedEvent names the load point: PARAM_0 its
// type, PARAM_2 its user, PARAM_1 its entry name or the display name its handler
// stored there instead. c is the event, e its ExtendedEvent.
void AppendRemovalOf(SqlText& sql, std::span<const int32_t> types, std::u16string_view userId,
                     std::span<const std::u16string> names) {
  sql.Raw("c.EVENT_TYPE = 2 AND e.EX_EVENT_TYPE = 4 AND e.PARAM_2 = ").Text(userId).Raw(" AND e.PARAM_0 IN (");
  for (size_t i = 0; i < types.size(); ++i) {
    sql.Raw(i == 0 ? "" : ", ").Text(FromUtf8(FormatInt(types[i])));
  }
  sql.Raw(") AND (");
  for (size_t i = 0; i < names.size(); ++i) {
    sql.Raw(i == 0 ? "" : " OR ").Raw("e.PARAM_1 = ").Text(names[i]).Raw(" COLLATE NOCASE");
  }
  sql.Raw(")");
}

}  // namespace

int32_t LoadPointDatabase::FindLastRemovalDisabled(std::span<const int32_t> types, std::u16string_view userId,
                                                   std::span<const std::u16string> names) {
  if (types.empty() || names.empty()) return 0;
  // Every addition asks this, so it must not walk the events. Two steps: the newest
  // disable of the load point, newest first through the partial index of the
  // disables (a handful on any record); then whether any removal of it came after,
  // a range of keys above that one. A load point never disabled costs a probe per
  // disable on record, whatever the number of events.
  SqlText sql(
      "SELECT COUNT(*) FROM (SELECT o.CHANGE_EVENT_KEY AS k FROM EventOrigin o JOIN ChangeEvents c "
      "ON c.KEY = o.CHANGE_EVENT_KEY JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY WHERE "
      "o.STATE_CHANGE = 1 AND ");
  AppendRemovalOf(sql, types, userId, names);
  sql.Raw(" ORDER BY o.CHANGE_EVENT_KEY DESC LIMIT 1) d WHERE NOT EXISTS (SELECT 1 FROM ChangeEvents c "
          "JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY WHERE c.KEY > d.k AND ");
  AppendRemovalOf(sql, types, userId, names);
  sql.Raw(")");
  BatchTakesRead();
  QueryResult result;
  int32_t found = 0;
  if (!Run(sql, "FindLastRemovalDisabled", true, &result) || result.RowCount() == 0) return 0;
  result.IntValue(0, 0, &found);
  return found == 1 ? 1 : 0;
}

}  // namespace Database
