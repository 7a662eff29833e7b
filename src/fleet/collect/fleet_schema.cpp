#include "fleet/collect/fleet_schema.h"

namespace Fleet {
namespace {

// The second layout, the step every older deployment passes through.
constexpr char kSecondLayout[] = R"sql(
CREATE TABLE IF NOT EXISTS fleet_events (machine_id text, machine text, key bigint, event_time text,
  event_type integer, load_point_key bigint, process_entry_key bigint, event jsonb, message bytea,
  unique (machine_id, key));
CREATE TABLE IF NOT EXISTS fleet_machines (machine_id text PRIMARY KEY, machine text, last_key bigint,
  last_event_time text, snapshot bigint);
CREATE TABLE IF NOT EXISTS fleet_inventory (machine_id text, machine text, snapshot bigint,
  load_point_key bigint, lp_type integer, user_id text, entry_name text, command_line text,
  load_point jsonb, PRIMARY KEY (machine_id, load_point_key));
CREATE TABLE IF NOT EXISTS fleet_inventory_parts (machine_id text, snapshot bigint, load_point_key bigint,
  load_point jsonb, PRIMARY KEY (machine_id, snapshot, load_point_key));
CREATE TABLE IF NOT EXISTS fleet_dead_letters (subject text, stream_sequence bigint PRIMARY KEY,
  reason text, received timestamptz DEFAULT now());
ALTER TABLE fleet_events ADD COLUMN IF NOT EXISTS message bytea;
DO $$ BEGIN
  -- where: any part of an entry or command line.
  IF to_regclass('fleet_inventory_entry_trgm') IS NULL THEN
    BEGIN
      CREATE EXTENSION IF NOT EXISTS pg_trgm;
      CREATE INDEX fleet_inventory_entry_trgm ON fleet_inventory USING gin (lower(entry_name) gin_trgm_ops);
      CREATE INDEX fleet_inventory_command_trgm ON fleet_inventory USING gin (lower(command_line) gin_trgm_ops);
    EXCEPTION WHEN insufficient_privilege OR undefined_file THEN
      NULL;  -- without pg_trgm (or the right to add it) where reads the whole inventory
    END;
  END IF;
END $$;
)sql";

// The third layout. Events carry the machine's bigint key instead of its id and name,
// and their UTC time; they are partitioned by month of it, so that old months leave
// with DROP TABLE instead of DELETE. PostgreSQL enforces uniqueness on a partitioned
// table only with the partition key in it, so (machine key, event key) is kept
// unique by fleet_event_keys, an unpartitioned table every stored event has a row in,
// written in the same transaction. The machines' counters are kept by the collector
// as it stores events, and the time of its latest addition, which lets `new` pass
// over a machine without a look at its events. The older events move over with their times read from the
// message's time and offset, as the collector reads them.
constexpr char kThirdLayout[] = R"sql(
CREATE TABLE fleet_machine_keys (machine_key bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  machine_id text NOT NULL UNIQUE);
INSERT INTO fleet_machine_keys (machine_id)
  SELECT machine_id FROM fleet_machines UNION SELECT machine_id FROM fleet_events WHERE machine_id IS NOT NULL
  ORDER BY 1;
ALTER TABLE fleet_machines ADD COLUMN machine_key bigint UNIQUE, ADD COLUMN events bigint NOT NULL DEFAULT 0,
  ADD COLUMN added bigint NOT NULL DEFAULT 0, ADD COLUMN changed bigint NOT NULL DEFAULT 0,
  ADD COLUMN removed bigint NOT NULL DEFAULT 0, ADD COLUMN last_event_at timestamptz,
  ADD COLUMN last_offset smallint, ADD COLUMN last_heard timestamptz, ADD COLUMN last_added_at timestamptz;
UPDATE fleet_machines m SET machine_key = k.machine_key FROM fleet_machine_keys k WHERE k.machine_id = m.machine_id;
ALTER TABLE fleet_events RENAME TO fleet_events_second;
DROP INDEX IF EXISTS fleet_events_added;
CREATE TABLE fleet_events (machine_key bigint NOT NULL, key bigint NOT NULL, event_at timestamptz NOT NULL,
  utc_offset smallint, event_type integer, load_point_key bigint, process_entry_key bigint, event jsonb,
  message bytea) PARTITION BY RANGE (event_at);
CREATE TABLE fleet_events_default PARTITION OF fleet_events DEFAULT;
-- history and audit: one machine's events by key; new: its additions by time.
CREATE INDEX fleet_events_by_key ON fleet_events (machine_key, key);
CREATE INDEX fleet_events_added ON fleet_events (machine_key, event_at) WHERE event_type = 13;
CREATE TABLE fleet_event_keys (machine_key bigint, key bigint, event_at timestamptz NOT NULL,
  PRIMARY KEY (machine_key, key));
CREATE INDEX fleet_event_keys_at ON fleet_event_keys USING brin (event_at);
INSERT INTO fleet_events
SELECT k.machine_key, o.key, t.event_at, t.utc_offset, o.event_type, o.load_point_key, o.process_entry_key,
       o.event, o.message
FROM fleet_events_second o JOIN fleet_machine_keys k USING (machine_id),
LATERAL (SELECT o.event->>'time' AS iso) i,
LATERAL (SELECT CASE WHEN i.iso ~ '^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$'
                      AND replace(left(i.iso, 19), 'T', ' ') = o.event_time THEN i.iso::timestamptz
                     ELSE (o.event_time || '+00:00')::timestamptz END AS event_at,
                CASE WHEN i.iso ~ '^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$'
                      AND replace(left(i.iso, 19), 'T', ' ') = o.event_time
                     THEN (CASE substr(i.iso, 20, 1) WHEN '-' THEN -1 ELSE 1 END) *
                          (substr(i.iso, 21, 2)::integer * 60 + substr(i.iso, 24, 2)::integer) END AS utc_offset) t
WHERE o.key IS NOT NULL AND o.event_time IS NOT NULL;
INSERT INTO fleet_event_keys SELECT machine_key, key, event_at FROM fleet_events;
UPDATE fleet_machines m SET events = c.events, added = c.added, changed = c.changed, removed = c.removed
FROM (SELECT machine_key, count(*) AS events, count(*) FILTER (WHERE event_type = 13) AS added,
             count(*) FILTER (WHERE event_type = 1) AS changed, count(*) FILTER (WHERE event_type = 2) AS removed
      FROM fleet_events GROUP BY machine_key) c
WHERE m.machine_key = c.machine_key;
UPDATE fleet_machines m SET last_event_at = e.event_at, last_offset = e.utc_offset
FROM fleet_events e WHERE e.machine_key = m.machine_key AND e.key = m.last_key;
UPDATE fleet_machines m SET last_added_at = a.at
FROM (SELECT machine_key, max(event_at) AS at FROM fleet_events WHERE event_type = 13 GROUP BY 1) a
WHERE m.machine_key = a.machine_key;
DROP TABLE fleet_events_second;
)sql";

// Upkeep of the partitions, as functions of the tables' owner.
// fleet_add_month makes the partition of the month holding m (UTC), taking over
// the default partition's events of that month, which PostgreSQL would otherwise
// refuse to attach beside.
// fleet_prune drops whole months that ended keep_months months before the current
// one began, the default partition's events older than that, their keys, and their
// share of the machines' counters; it returns how many events went.
constexpr char kUpkeep[] = R"sql(
CREATE OR REPLACE FUNCTION fleet_add_month(m timestamptz) RETURNS void LANGUAGE plpgsql AS $f$
DECLARE
  month_start timestamp := date_trunc('month', m AT TIME ZONE 'UTC');
  low timestamptz := month_start AT TIME ZONE 'UTC';
  high timestamptz := (month_start + interval '1 month') AT TIME ZONE 'UTC';
  part text := 'fleet_events_' || to_char(month_start, 'YYYY_MM');
BEGIN
  IF to_regclass(part) IS NOT NULL THEN RETURN; END IF;
  -- No collector adds to the default partition until the month is attached.
  LOCK TABLE fleet_events_default IN SHARE ROW EXCLUSIVE MODE;
  EXECUTE format('CREATE TABLE %I (LIKE fleet_events INCLUDING DEFAULTS INCLUDING CONSTRAINTS)', part);
  EXECUTE format('INSERT INTO %I SELECT * FROM fleet_events_default WHERE event_at >= $1 AND event_at < $2', part)
    USING low, high;
  DELETE FROM fleet_events_default WHERE event_at >= low AND event_at < high;
  EXECUTE format('ALTER TABLE fleet_events ATTACH PARTITION %I FOR VALUES FROM (%L) TO (%L)', part, low, high);
END $f$;
CREATE OR REPLACE FUNCTION fleet_prune(keep_months integer) RETURNS bigint LANGUAGE plpgsql AS $f$
DECLARE
  bound timestamptz := (date_trunc('month', now() AT TIME ZONE 'UTC') - make_interval(months => keep_months))
                       AT TIME ZONE 'UTC';
  part record;
  gone bigint;
BEGIN
  DROP TABLE IF EXISTS fleet_pruned;
  CREATE TEMP TABLE fleet_pruned (machine_key bigint, event_type integer, key bigint) ON COMMIT DROP;
  FOR part IN
    SELECT c.relname FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid
    WHERE i.inhparent = 'fleet_events'::regclass AND c.relname ~ '^fleet_events_\d{4}_\d\d$'
      AND (to_date(substr(c.relname, 14), 'YYYY_MM') + interval '1 month') AT TIME ZONE 'UTC' <= bound
  LOOP
    EXECUTE format('INSERT INTO fleet_pruned SELECT machine_key, event_type, key FROM %I', part.relname);
    EXECUTE format('DROP TABLE %I', part.relname);
  END LOOP;
  WITH old AS (DELETE FROM fleet_events_default WHERE event_at < bound RETURNING machine_key, event_type, key)
  INSERT INTO fleet_pruned SELECT * FROM old;
  DELETE FROM fleet_event_keys k USING fleet_pruned p WHERE k.machine_key = p.machine_key AND k.key = p.key;
  UPDATE fleet_machines m SET events = m.events - p.events, added = m.added - p.added,
    changed = m.changed - p.changed, removed = m.removed - p.removed
  FROM (SELECT machine_key, count(*) AS events, count(*) FILTER (WHERE event_type = 13) AS added,
               count(*) FILTER (WHERE event_type = 1) AS changed, count(*) FILTER (WHERE event_type = 2) AS removed
        FROM fleet_pruned GROUP BY machine_key) p
  WHERE m.machine_key = p.machine_key;
  SELECT count(*) INTO gone FROM fleet_pruned;
  RETURN gone;
END $f$;
)sql";

// The months holding events (within the last ten years; a clock further off stays in
// the default partition) and the current one with the three after it.
constexpr char kMakeMonths[] = R"sql(
SELECT fleet_add_month(m) FROM (
  SELECT DISTINCT date_trunc('month', event_at AT TIME ZONE 'UTC') AT TIME ZONE 'UTC' AS m FROM fleet_events_default
  WHERE event_at >= now() - interval '10 years' AND event_at < now() + interval '4 months'
  UNION SELECT now() + make_interval(months => n) FROM generate_series(0, 3) AS n) months ORDER BY m)sql";

int SchemaVersion(PgLink& pg, std::string* error) {
  std::vector<PgRow> rows;
  if (!pg.Exec("SELECT to_regclass('fleet_schema') IS NOT NULL", {}, error, &rows)) return -1;
  if (rows.empty() || rows[0][0] != "t") return 0;
  if (!pg.Exec("SELECT coalesce(max(version), 0) FROM fleet_schema", {}, error, &rows) || rows.empty()) return -1;
  return std::stoi(rows[0][0].value_or("0"));
}

// CREATE TABLE IF NOT EXISTS is not safe against itself, so migrations take turns under
// a lock held by the session. The transaction that migrates begins only once the lock is
// granted: one begun before the wait keeps the catalogue it saw then, so it would miss
// the tables another migration committed meanwhile and try to make them again ("relation
// ... already exists", met by collectors starting together on a fresh database).
constexpr char kTakeTurn[] =
    "BEGIN; SET LOCAL lock_timeout = 0; SELECT pg_advisory_lock(726354); COMMIT; BEGIN";
constexpr char kEndTurn[] = "SELECT pg_advisory_unlock(726354)";

bool Migrate(PgLink& pg, std::string* error) {
  if (!pg.Exec(kTakeTurn, error)) return false;
  const int version = SchemaVersion(pg, error);
  if (version < 0) return false;
  if (version < 3 && !(pg.Exec(kSecondLayout, error) && pg.Exec(kThirdLayout, error))) return false;
  const std::string recorded = std::to_string(kFleetSchemaVersion);
  return pg.Exec(kUpkeep, error) && pg.Exec(kMakeMonths, {}, error) &&
         pg.Exec("CREATE TABLE IF NOT EXISTS fleet_schema (version integer NOT NULL, migrated timestamptz DEFAULT now());"
                 "INSERT INTO fleet_schema (version) SELECT " + recorded +
                 " WHERE NOT EXISTS (SELECT 1 FROM fleet_schema WHERE version >= " + recorded + "); COMMIT",
                 error) &&
         pg.Exec(kEndTurn, error);
}

}  // namespace

bool MigrateFleetTables(PgLink& pg, std::string* error) {
  if (Migrate(pg, error)) return true;
  std::string ignored;
  pg.Exec("ROLLBACK", &ignored);
  pg.Exec(kEndTurn, &ignored);  // not held when the wait itself failed: a warning only
  return false;
}

bool EnsureFleetTables(PgLink& pg, std::string* error) {
  std::string ignored;
  if (SchemaVersion(pg, &ignored) >= kFleetSchemaVersion) return true;
  if (MigrateFleetTables(pg, error)) return true;
  *error += "; the tables need brumevale fleet migrate, run as their owner";
  return false;
}

bool PruneFleetEvents(PgLink& pg, int keepMonths, int64_t* dropped, std::string* error) {
  std::vector<PgRow> rows;
  if (!pg.Exec("BEGIN", error)) return false;
  if (pg.Exec("SELECT fleet_prune($1::integer)", {std::to_string(keepMonths)}, error, &rows) && !rows.empty() &&
      pg.Exec("COMMIT", error)) {
    *dropped = std::stoll(rows[0][0].value_or("0"));
    return true;
  }
  std::string ignored;
  pg.Exec("ROLLBACK", &ignored);
  return false;
}

}  // namespace Fleet
