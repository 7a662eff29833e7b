#include "fleet/queries/fleet_queries.h"

#include <ostream>
#include <regex>

#include "fleet/queries/stored_event.h"
#include "reader/history/event_format.h"
#include "reader/history/history_filter.h"

namespace Fleet {
namespace {

// The counters are kept as events are stored: no event is read.
constexpr char kMachines[] = R"sql(
SELECT machine, machine_id, last_event_time, events, added, changed, removed
FROM fleet_machines ORDER BY machine, machine_id)sql";

// The window ends at each machine's own latest event (by key, as kept in
// fleet_machines), whatever its clock said, and is read on the UTC times; a time
// given is the machine's local time, read in the offset of its latest event. A
// machine whose latest addition is older than its window is passed over; each other
// machine's additions are read through its own index range, in the partitions the
// window reaches (OFFSET 0 keeps the planner from turning the lateral join into a
// scan of every addition of every month).
constexpr char kNew[] = R"sql(
SELECT m.machine, m.machine_id, e.event->'raw'->'ChangeEvents'->>'EVENT_TIME', e.event->>'type',
       e.event->>'entry', e.event->>'user', e.event->>'newCommandLine', e.event->>'processPath',
       e.event->>'signer', e.event->>'signatureValid'
FROM fleet_machines m
CROSS JOIN LATERAL (
  SELECT CASE WHEN $1::text = '' THEN (NULLIF($2::text, '')::timestamp - make_interval(mins => coalesce(m.last_offset, 0)))
                                      AT TIME ZONE 'UTC'
              ELSE m.last_event_at - NULLIF($1::text, '')::interval END AS since) w
CROSS JOIN LATERAL (
  SELECT e.key, e.event FROM fleet_events e
  WHERE e.machine_key = m.machine_key AND e.event_type = 13 AND e.event_at >= w.since
    AND ($3::boolean IS FALSE OR (e.event->>'signatureValid') IS DISTINCT FROM 'true')
  OFFSET 0) e
WHERE m.machine_key IS NOT NULL AND m.last_added_at >= w.since
ORDER BY m.machine, m.machine_id, e.key)sql";

constexpr char kWhere[] = R"sql(
SELECT machine, machine_id, lp_type, entry_name, user_id, command_line
FROM fleet_inventory,
     (SELECT '%' || replace(replace(replace(lower($1), '\', '\\'), '%', '\%'), '_', '\_') || '%' AS pattern) p
WHERE lower(entry_name) LIKE p.pattern OR lower(command_line) LIKE p.pattern
ORDER BY machine, machine_id, load_point_key)sql";

constexpr char kMachineIds[] =
    "SELECT machine_id FROM fleet_machines WHERE ($2 = '' AND machine = $1) OR machine_id = $2 ORDER BY machine_id";


bool Run(PgLink& pg, const char* sql, const std::vector<std::optional<std::string>>& params,
         std::vector<PgRow>* rows, std::ostream& err) {
  std::string error;
  if (pg.Exec(sql, params, &error, rows)) return true;
  err << "brumevale fleet: " << error << std::endl;
  return false;
}

// "24h" and "7d" become an interval; anything else must be a time as stored.
bool ParseSince(const std::string& since, std::string* interval, std::string* time) {
  std::smatch match;
  if (std::regex_match(since, match, std::regex(R"((\d{1,6})([hd]))"))) {
    *interval = match[1].str() + (match[2] == "h" ? " hours" : " days");
    return true;
  }
  std::string error;
  return Reader::ParseTimeBound(since, false, "", time, &error) && !time->empty();
}

}  // namespace

int ResolveMachine(PgLink& pg, const std::string& name, const std::string& id, std::string* machineId,
                   std::ostream& err) {
  std::vector<PgRow> rows;
  if (!Run(pg, kMachineIds, {name, id}, &rows, err)) return 1;
  if (rows.empty()) {
    err << "brumevale fleet: no machine " << (id.empty() ? "named " + name : "with id " + id) << " has reported"
        << std::endl;
    return 2;
  }
  if (rows.size() > 1) {
    err << "brumevale fleet: " << rows.size() << " machines are named " << name << "; choose one with --machine-id:";
    for (const PgRow& row : rows) err << " " << row[0].value_or("");
    err << std::endl;
    return 2;
  }
  *machineId = rows[0][0].value_or("");
  return 0;
}

int QueryMachines(PgLink& pg, OutputFormat format, std::ostream& out, std::ostream& err) {
  Table table{{"machine", "machineId", "lastEvent", "events", "added", "changed", "removed"}, {},
              {false, false, false, true, true, true, true}};
  if (!Run(pg, kMachines, {}, &table.rows, err)) return 1;
  out << FormatTable(table, format);
  return 0;
}

int QueryNew(PgLink& pg, const std::string& since, bool unsignedOnly, OutputFormat format, std::ostream& out,
             std::ostream& err) {
  std::string interval, time;
  if (!ParseSince(since, &interval, &time)) {
    err << "brumevale fleet: --since takes 24h, 7d or YYYY-MM-DD[ HH:MM[:SS]], not \"" << since << "\"" << std::endl;
    return 2;
  }
  Table table{{"machine", "machineId", "time", "type", "entry", "user", "commandLine", "process", "signer", "signatureValid"}};
  if (!Run(pg, kNew, {interval, time, unsignedOnly ? "true" : "false"}, &table.rows, err)) return 1;
  out << FormatTable(table, format);
  return 0;
}

int QueryWhere(PgLink& pg, const std::string& text, OutputFormat format, std::ostream& out, std::ostream& err) {
  Table table{{"machine", "machineId", "type", "entry", "user", "commandLine"}};
  if (!Run(pg, kWhere, {text}, &table.rows, err)) return 1;
  for (auto& row : table.rows) row[2] = Reader::LoadPointTypeName(std::stoi(row[2].value_or("0")));
  out << FormatTable(table, format);
  return 0;
}

}  // namespace Fleet
