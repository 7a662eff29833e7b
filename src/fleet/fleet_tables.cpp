#include "fleet/fleet_tables.h"

#include <algorithm>

namespace Fleet {
namespace {

constexpr char kTables[] = R"sql(
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
DO $$ BEGIN
  -- Asked of the catalog first: ALTER TABLE would wait for every writer of the table.
  IF NOT EXISTS (SELECT 1 FROM information_schema.columns
                 WHERE table_name = 'fleet_events' AND column_name = 'message') THEN
    ALTER TABLE fleet_events ADD COLUMN message bytea;
  END IF;
  -- new: each machine's additions by time; where: any part of an entry or command line.
  IF to_regclass('fleet_events_added') IS NULL THEN
    CREATE INDEX fleet_events_added ON fleet_events (machine_id, event_time) WHERE event_type = 13;
  END IF;
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

// The batch goes in by COPY: the message bytes as they came (message), the same as
// jsonb (event, which cannot hold U+0000: see VisibleNul) and the other columns taken
// from the parsed message; a batch holding a stored event goes through a table of
// the session's own, from which only the new rows go on.
#define BRUMEVALE_EVENT_COLUMNS \
  "machine_id, machine, key, event_time, event_type, load_point_key, process_entry_key, event, message"
constexpr char kCopyEvents[] = "COPY fleet_events (" BRUMEVALE_EVENT_COLUMNS ") FROM STDIN";
constexpr char kBatchTable[] =
    "CREATE TEMP TABLE IF NOT EXISTS fleet_batch (LIKE fleet_events) ON COMMIT DELETE ROWS";
constexpr char kCopyBatch[] = "COPY fleet_batch (" BRUMEVALE_EVENT_COLUMNS ") FROM STDIN";
constexpr char kInsertBatch[] = "INSERT INTO fleet_events (" BRUMEVALE_EVENT_COLUMNS ") SELECT " BRUMEVALE_EVENT_COLUMNS
                                " FROM fleet_batch ON CONFLICT DO NOTHING";
#undef BRUMEVALE_EVENT_COLUMNS
// A row of the batch whose machine and key hold another event already (compared on
// the bytes; a row stored before the bytes were kept, on the jsonb).
constexpr char kBatchConflicts[] =
    "SELECT b.machine_id, b.key FROM fleet_batch b JOIN fleet_events e USING (machine_id, key) "
    "WHERE CASE WHEN e.message IS NULL THEN e.event <> b.event ELSE e.message <> b.message END";
constexpr char kUniqueViolation[] = "23505";

// Each machine's latest event of the batch, in one order so that two collectors never
// wait on each other in a circle; an older batch committed later moves nothing back.
constexpr char kUpdateMachines[] = R"sql(
INSERT INTO fleet_machines (machine_id, machine, last_key, last_event_time)
SELECT machine_id, machine, last_key, last_event_time
FROM jsonb_to_recordset($1::jsonb) AS m(machine_id text, machine text, last_key bigint, last_event_time text)
ORDER BY machine_id
ON CONFLICT (machine_id) DO UPDATE SET machine = excluded.machine, last_key = excluded.last_key,
  last_event_time = excluded.last_event_time
WHERE fleet_machines.last_key IS NULL OR fleet_machines.last_key < excluded.last_key)sql";

constexpr char kInsertParts[] = R"sql(
INSERT INTO fleet_inventory_parts
SELECT e->>'machineId', (e->>'snapshot')::bigint, (e->'loadPoint'->>'KEY')::bigint, e
FROM jsonb_array_elements($1::jsonb) AS e
ON CONFLICT DO NOTHING)sql";

// A closing message delivered again after its snapshot (or a later one) was put in
// place finds its parts gone: it is done, not incomplete.
constexpr char kSnapshotInPlace[] =
    "SELECT 1 FROM fleet_machines WHERE machine_id = $1 AND snapshot >= $2::bigint";

constexpr char kPartsCount[] =
    "SELECT count(*) >= $3::bigint FROM fleet_inventory_parts WHERE machine_id = $1 AND snapshot = $2::bigint";

// A snapshot older than the one in place changes nothing: the update returns no row.
constexpr char kClaimSnapshot[] = R"sql(
INSERT INTO fleet_machines (machine_id, machine, snapshot) VALUES ($1, $3, $2::bigint)
ON CONFLICT (machine_id) DO UPDATE SET snapshot = excluded.snapshot
WHERE fleet_machines.snapshot IS NULL OR fleet_machines.snapshot < excluded.snapshot
RETURNING machine_id)sql";

constexpr char kDropInventory[] = "DELETE FROM fleet_inventory WHERE machine_id = $1";

constexpr char kFillInventory[] = R"sql(
INSERT INTO fleet_inventory
SELECT machine_id, $3, snapshot, load_point_key, (load_point->'loadPoint'->>'LP_TYPE')::integer,
       load_point->'loadPoint'->>'USER_ID', load_point->'loadPoint'->>'ENTRY_NAME',
       load_point->'loadPoint'->>'COMMAND_LINE', load_point->'loadPoint'
FROM fleet_inventory_parts WHERE machine_id = $1 AND snapshot = $2::bigint)sql";

constexpr char kDropParts[] =
    "DELETE FROM fleet_inventory_parts WHERE machine_id = $1 AND snapshot <= $2::bigint";

bool IsText(const nlohmann::json& body, const char* field) {
  const auto found = body.find(field);
  return found != body.end() && found->is_string() && !found->get<std::string>().empty();
}

bool IsCount(const nlohmann::json& body, const char* field) {
  const auto found = body.find(field);
  return found != body.end() && found->is_number_integer() && found->get<int64_t>() >= 0;
}

// "YYYY-MM-DD HH:MM:SS" as the service writes it; the window of `fleet new` counts on it.
bool IsStoredTime(const nlohmann::json& value) {
  if (!value.is_string()) return false;
  const std::string text = value.get<std::string>();
  static constexpr char kShape[] = "0000-00-00 00:00:00";
  if (text.size() != sizeof(kShape) - 1) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (kShape[i] == '0' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i]) return false;
  return true;
}

std::string EnvelopeProblem(const nlohmann::json& body) {
  if (body.is_discarded()) return "not JSON";
  if (!body.is_object()) return "not a JSON object";
  if (!IsText(body, "machineId")) return "no machineId";
  if (!IsText(body, "machine")) return "no machine";
  return "";
}

// A field in COPY's text format, appended a run at a time: the messages are large
// and hold few characters that need escaping.
void AppendCopyText(std::string* out, std::string_view text) {
  static constexpr std::string_view kSpecial("\\\n\r\t", 4);
  while (!text.empty()) {
    const size_t special = std::min(text.find_first_of(kSpecial), text.size());
    out->append(text.data(), special);
    if (special == text.size()) break;
    static constexpr char kEscaped[] = {'\\', 'n', 'r', 't'};
    out->push_back('\\');
    out->push_back(kEscaped[kSpecial.find(text[special])]);
    text.remove_prefix(special + 1);
  }
}

// jsonb refuses U+0000, a known way to hide a Run value from tools that stop at it.
// The jsonb copy (what queries search) carries U+2400 SYMBOL FOR NULL in its place,
// visible to whoever reads it; the message column keeps the bytes, and what is shown
// of an event is read from them.
std::string VisibleNul(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  bool inString = false;
  for (size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (!inString) {
      inString = c == '"';
      out += c;
    } else if (c == '"') {
      inString = false;
      out += c;
    } else if (c == '\\' && i + 1 < json.size()) {
      const bool nul = json.compare(i, 6, "\\u0000") == 0;
      out.append(nul ? std::string_view("\\u2400") : json.substr(i, 2));
      i += nul ? 5 : 1;
    } else {
      out += c;
    }
  }
  return out;
}

void AppendCopyBytea(std::string* out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->append("\\\\x");
  for (const unsigned char byte : bytes) {
    out->push_back(kHex[byte >> 4]);
    out->push_back(kHex[byte & 0x0F]);
  }
}

}  // namespace

bool MigrateFleetTables(PgLink& pg, std::string* error) {
  const std::string version = std::to_string(kFleetSchemaVersion);
  // CREATE TABLE IF NOT EXISTS is not safe against itself; a lock makes it so.
  if (pg.Exec("BEGIN; SELECT pg_advisory_xact_lock(726354); " + std::string(kTables) +
                  "CREATE TABLE IF NOT EXISTS fleet_schema (version integer NOT NULL, migrated timestamptz DEFAULT now());"
                  "INSERT INTO fleet_schema (version) SELECT " + version +
                  " WHERE NOT EXISTS (SELECT 1 FROM fleet_schema WHERE version >= " + version + "); COMMIT;",
              error))
    return true;
  std::string ignored;
  pg.Exec("ROLLBACK", &ignored);
  return false;
}

bool EnsureFleetTables(PgLink& pg, std::string* error) {
  std::vector<PgRow> rows;
  std::string ignored;
  // A missing fleet_schema (tables of the first layout, or none) reads as version 0.
  if (pg.Exec("SELECT coalesce(max(version), 0) FROM fleet_schema", {}, &ignored, &rows) && !rows.empty() &&
      std::stoi(rows[0][0].value_or("0")) >= kFleetSchemaVersion)
    return true;
  if (MigrateFleetTables(pg, error)) return true;
  *error += "; the tables need brumevale fleet migrate, run as their owner";
  return false;
}

std::string EventProblem(const nlohmann::json& body) {
  std::string problem = EnvelopeProblem(body);
  if (!problem.empty()) return problem;
  if (!IsCount(body, "key") || body["key"].get<int64_t>() == 0) return "no event key";
  const auto raw = body.find("raw");
  if (raw == body.end() || !raw->is_object() || !raw->contains("ChangeEvents") ||
      !(*raw)["ChangeEvents"].is_object())
    return "no ChangeEvents row";
  const nlohmann::json& row = (*raw)["ChangeEvents"];
  if (!IsCount(row, "KEY") || row["KEY"].get<int64_t>() != body["key"].get<int64_t>())
    return "the ChangeEvents row is not the event's";
  if (!row.contains("EVENT_TIME") || !IsStoredTime(row["EVENT_TIME"])) return "EVENT_TIME is not a time";
  for (const char* column : {"LOAD_POINT_KEY", "PROCESS_ENTRY_KEY"})
    if (row.contains(column) && !row[column].is_null() && !row[column].is_number_integer())
      return std::string(column) + " is not a number";
  if (row.contains("EVENT_TYPE") && !row["EVENT_TYPE"].is_null() && !row["EVENT_TYPE"].is_number_integer())
    return "EVENT_TYPE is not a number";
  return "";
}

std::string InventoryProblem(const nlohmann::json& body) {
  std::string problem = EnvelopeProblem(body);
  if (!problem.empty()) return problem;
  if (!IsCount(body, "snapshot")) return "no snapshot";
  if (body.contains("rows")) return IsCount(body, "rows") ? "" : "rows is not a count";
  const auto row = body.find("loadPoint");
  if (row == body.end() || !row->is_object() || !(*row)["KEY"].is_number_integer()) return "no LoadPoints row";
  return "";
}

EventBatch::Added EventBatch::Add(const nlohmann::json& body, std::string_view bytes, size_t index) {
  const nlohmann::json& row = body["raw"]["ChangeEvents"];
  const std::string& id = body["machineId"].get_ref<const std::string&>();
  const std::string& machine = body["machine"].get_ref<const std::string&>();
  const std::string& eventTime = row["EVENT_TIME"].get_ref<const std::string&>();
  const int64_t key = body["key"].get<int64_t>();
  const auto [seen, first] = seen_.try_emplace({id, key}, Seen{index, bytes});
  if (!first) return seen->second.bytes == bytes ? Added::kRepeat : Added::kConflict;
  AppendCopyText(&rows_, id);
  rows_ += '\t';
  AppendCopyText(&rows_, machine);
  rows_ += '\t' + body["key"].dump() + '\t';
  AppendCopyText(&rows_, eventTime);
  for (const char* column : {"EVENT_TYPE", "LOAD_POINT_KEY", "PROCESS_ENTRY_KEY"}) {
    const auto found = row.find(column);
    rows_ += found == row.end() || found->is_null() ? std::string("\t\\N") : '\t' + found->dump();
  }
  rows_ += '\t';
  if (bytes.find("\\u0000") == std::string_view::npos) AppendCopyText(&rows_, bytes);
  else AppendCopyText(&rows_, VisibleNul(bytes));
  rows_ += '\t';
  AppendCopyBytea(&rows_, bytes);
  rows_ += '\n';
  const auto [last, added] = latest_.try_emplace(id, Latest{key, machine, eventTime});
  if (!added && last->second.key < key) last->second = Latest{key, machine, eventTime};
  return Added::kNew;
}

void EventBatch::Send() {
  if (rows_.size() == sent_) return;
  if (!started_) {
    started_ = true;
    copying_ = pg_.Exec("SAVEPOINT direct", &beginError_) && pg_.CopyBegin(kCopyEvents, &beginError_);
    sendFailed_ = !copying_;
  }
  sendFailed_ = sendFailed_ || !pg_.CopySend(std::string_view(rows_).substr(sent_));
  sent_ = rows_.size();
}

bool EventBatch::WriteThroughSessionTable(std::vector<size_t>* conflicts, std::string* error) {
  std::vector<PgRow> rows;
  if (!pg_.Exec("ROLLBACK TO SAVEPOINT direct", error) || !pg_.Exec(kBatchTable, error) ||
      !pg_.Copy(kCopyBatch, rows_, error) || !pg_.Exec(kBatchConflicts, {}, error, &rows) ||
      !pg_.Exec(kInsertBatch, error))
    return false;
  for (const PgRow& row : rows) {
    const auto seen = seen_.find({row[0].value_or(""), std::stoll(row[1].value_or("0"))});
    if (seen != seen_.end()) conflicts->push_back(seen->second.index);
  }
  return true;
}

// COPY has no ON CONFLICT, so it is tried first behind a savepoint; only a unique
// violation (a batch holding a stored event, after a redelivery) takes the slower
// way. Any other refusal is the caller's to judge by its SQLSTATE.
bool EventBatch::Finish(std::vector<size_t>* conflicts, std::string* error) {
  conflicts->clear();
  if (rows_.empty()) return true;
  Send();
  bool ok = copying_ && pg_.CopyEnd(error);
  if (ok && sendFailed_) return *error = "PostgreSQL: the connection failed while the rows were sent", false;
  if (ok) ok = pg_.Exec("RELEASE SAVEPOINT direct", error);
  else if (pg_.SqlState() == kUniqueViolation) ok = WriteThroughSessionTable(conflicts, error);
  else if (!copying_) *error = beginError_;
  if (!ok) return false;
  nlohmann::json machines = nlohmann::json::array();
  for (const auto& [id, last] : latest_)
    machines.push_back({{"machine_id", id}, {"machine", last.machine}, {"last_key", last.key},
                        {"last_event_time", last.eventTime}});
  return pg_.Exec(kUpdateMachines, {machines.dump()}, error);
}

bool WriteInventory(PgLink& pg, const std::vector<nlohmann::json>& parts,
                    const std::vector<nlohmann::json>& closings, std::vector<size_t>* incomplete,
                    std::string* error) {
  incomplete->clear();
  if (!parts.empty()) {
    const std::string batch = nlohmann::json(parts).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (!pg.Exec(kInsertParts, {batch}, error)) return false;
  }
  for (size_t i = 0; i < closings.size(); ++i) {
    const nlohmann::json& closing = closings[i];
    const std::string id = closing["machineId"], machine = closing["machine"];
    const std::string snapshot = std::to_string(closing["snapshot"].get<int64_t>());
    std::vector<PgRow> rows;
    if (!pg.Exec(kSnapshotInPlace, {id, snapshot}, error, &rows)) return false;
    if (!rows.empty()) continue;
    if (!pg.Exec(kPartsCount, {id, snapshot, std::to_string(closing["rows"].get<int64_t>())}, error, &rows))
      return false;
    if (rows.empty() || rows[0][0] != "t") {
      incomplete->push_back(i);
      continue;
    }
    if (!pg.Exec(kClaimSnapshot, {id, snapshot, machine}, error, &rows)) return false;
    if (!rows.empty() && (!pg.Exec(kDropInventory, {id}, error) || !pg.Exec(kFillInventory, {id, snapshot, machine}, error)))
      return false;
    if (!pg.Exec(kDropParts, {id, snapshot}, error)) return false;
  }
  return true;
}

bool WriteDeadLetter(PgLink& pg, const std::string& subject, uint64_t sequence, const std::string& reason,
                     std::string* error) {
  return pg.Exec("INSERT INTO fleet_dead_letters (subject, stream_sequence, reason) VALUES ($1, $2::bigint, $3) "
                 "ON CONFLICT DO NOTHING",
                 {subject, std::to_string(sequence), reason}, error);
}

}  // namespace Fleet
