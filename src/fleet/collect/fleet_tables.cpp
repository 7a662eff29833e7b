#include "fleet/collect/fleet_tables.h"

#include <algorithm>
#include <climits>

#include "reader/record/event_time.h"

namespace Fleet {
namespace {

// The batch goes in by COPY: the message bytes as they came (message), the same as
// jsonb (event, which cannot hold U+0000: see VisibleNul) and the other columns taken
// from the message's fields, then each event's key into fleet_event_keys, which
// refuses one stored already; a batch holding a stored event goes through a table of
// the session's own, from which only the new rows go on.
#define BRUMEVALE_EVENT_COLUMNS \
  "machine_key, key, event_at, utc_offset, event_type, load_point_key, process_entry_key, event, message"
constexpr char kCopyEvents[] = "COPY fleet_events (" BRUMEVALE_EVENT_COLUMNS ") FROM STDIN";
constexpr char kCopyKeys[] = "COPY fleet_event_keys (machine_key, key, event_at) FROM STDIN";
constexpr char kBatchTable[] =
    "CREATE TEMP TABLE IF NOT EXISTS fleet_batch (LIKE fleet_events) ON COMMIT DELETE ROWS";
constexpr char kCopyBatch[] = "COPY fleet_batch (" BRUMEVALE_EVENT_COLUMNS ") FROM STDIN";
// The new rows of the batch, and what they add to each machine's counters.
constexpr char kInsertBatch[] = R"sql(
WITH claimed AS (
  INSERT INTO fleet_event_keys SELECT machine_key, key, event_at FROM fleet_batch ORDER BY machine_key, key
  ON CONFLICT DO NOTHING RETURNING machine_key, key),
stored AS (
  INSERT INTO fleet_events (machine_key, key, event_at, utc_offset, event_type, load_point_key,
                            process_entry_key, event, message)
  SELECT b.machine_key, b.key, b.event_at, b.utc_offset, b.event_type, b.load_point_key, b.process_entry_key,
         b.event, b.message
  FROM fleet_batch b JOIN claimed USING (machine_key, key) RETURNING machine_key, event_type)
SELECT machine_key, count(*), count(*) FILTER (WHERE event_type = 13), count(*) FILTER (WHERE event_type = 1),
       count(*) FILTER (WHERE event_type = 2)
FROM stored GROUP BY machine_key)sql";
#undef BRUMEVALE_EVENT_COLUMNS
// A row of the batch whose machine and key hold another event already (compared on
// the bytes; a row stored before the bytes were kept, on the jsonb).
constexpr char kBatchConflicts[] = R"sql(
SELECT b.machine_key, b.key FROM fleet_batch b JOIN fleet_event_keys k USING (machine_key, key)
JOIN fleet_events e ON e.machine_key = k.machine_key AND e.key = k.key AND e.event_at = k.event_at
WHERE CASE WHEN e.message IS NULL THEN e.event <> b.event ELSE e.message <> b.message END)sql";
constexpr char kUniqueViolation[] = "23505";

// Each machine's counters and latest event, in one order so that two collectors never
// wait on each other in a circle; an older batch committed later moves the latest
// event nothing back.
#define BRUMEVALE_IF_NEWER(column) \
  column " = CASE WHEN f.last_key IS NULL OR f.last_key < excluded.last_key THEN excluded." column " ELSE f." column " END"
constexpr char kUpdateMachines[] =
    "INSERT INTO fleet_machines AS f (machine_id, machine_key, machine, last_key, last_event_time, last_event_at, "
    "  last_offset, events, added, changed, removed, last_heard, last_added_at) "
    "SELECT machine_id, machine_key, machine, last_key, last_event_time, last_event_at, last_offset, events, added, "
    "  changed, removed, now(), to_timestamp(last_added) "
    "FROM jsonb_to_recordset($1::jsonb) AS m(machine_id text, machine_key bigint, machine text, last_key bigint, "
    "  last_event_time text, last_event_at timestamptz, last_offset smallint, events bigint, added bigint, "
    "  changed bigint, removed bigint, last_added bigint) "
    "ORDER BY machine_id "
    "ON CONFLICT (machine_id) DO UPDATE SET machine_key = excluded.machine_key, last_heard = excluded.last_heard, "
    "  last_added_at = greatest(f.last_added_at, excluded.last_added_at), "
    "  events = f.events + excluded.events, added = f.added + excluded.added, "
    "  changed = f.changed + excluded.changed, removed = f.removed + excluded.removed, " BRUMEVALE_IF_NEWER("machine")
    ", " BRUMEVALE_IF_NEWER("last_event_time") ", " BRUMEVALE_IF_NEWER("last_event_at") ", "
    BRUMEVALE_IF_NEWER("last_offset") ", " BRUMEVALE_IF_NEWER("last_key");
#undef BRUMEVALE_IF_NEWER

// Keys for the ids not yet known, and those of the ids known already.
constexpr char kMachineKeys[] = R"sql(
WITH wanted AS (SELECT DISTINCT unnest($1::text[]) AS machine_id),
made AS (INSERT INTO fleet_machine_keys (machine_id) SELECT machine_id FROM wanted ORDER BY 1
         ON CONFLICT DO NOTHING RETURNING machine_key, machine_id)
SELECT machine_key, machine_id FROM made
UNION ALL SELECT k.machine_key, k.machine_id FROM fleet_machine_keys k JOIN wanted USING (machine_id))sql";

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
INSERT INTO fleet_machines (machine_id, machine, snapshot, last_heard) VALUES ($1, $3, $2::bigint, now())
ON CONFLICT (machine_id) DO UPDATE SET snapshot = excluded.snapshot, last_heard = excluded.last_heard
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

// The message bytes in bytea's escape format, itself escaped for COPY: printable
// ASCII as it is (a backslash doubled twice), any other byte as \\ooo. A message is
// mostly printable ASCII, so this carries about half what the hex format would.
void AppendCopyBytea(std::string* out, std::string_view bytes) {
  while (!bytes.empty()) {
    size_t plain = 0;
    while (plain < bytes.size() && bytes[plain] >= 0x20 && bytes[plain] < 0x7F && bytes[plain] != '\\') ++plain;
    out->append(bytes.data(), plain);
    if (plain == bytes.size()) break;
    const unsigned char byte = static_cast<unsigned char>(bytes[plain]);
    if (byte == '\\') {
      out->append("\\\\\\\\");
    } else {
      const char octal[] = {'\\', '\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                            static_cast<char>('0' + (byte & 7))};
      out->append(octal, sizeof octal);
    }
    bytes.remove_prefix(plain + 1);
  }
}

}  // namespace

// Another collector giving the same new id its key at the same moment makes the
// insert wait for that one's commit and then do nothing, while the statement's
// snapshot, taken before, does not see the key made: that id comes back without a
// key. The statement is asked again for what is missing; a new statement sees the
// committed key. Only an id nobody can give a key to twice in a row is an error.
bool MachineKeys(PgLink& pg, const std::vector<std::string>& ids, std::map<std::string, int64_t>* keys,
                 std::string* error) {
  std::vector<std::string> missing = ids;
  for (int attempt = 0; attempt < 3 && !missing.empty(); ++attempt) {
    std::string array = "{";
    for (const std::string& id : missing) array += (array.size() > 1 ? ",\"" : "\"") + id + "\"";  // subject tokens
    std::vector<PgRow> rows;
    if (!pg.Exec(kMachineKeys, {array + "}"}, error, &rows)) return false;
    for (const PgRow& row : rows) (*keys)[row[1].value_or("")] = std::stoll(row[0].value_or("0"));
    std::erase_if(missing, [&](const std::string& id) { return keys->count(id) != 0; });
  }
  if (missing.empty()) return true;
  *error = "no machine key could be given to " + missing.front();
  return false;
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

EventBatch::Added EventBatch::Add(const EventFields& fields, int64_t machineKey, std::string_view bytes,
                                  size_t index) {
  const auto [seen, first] = seen_.try_emplace({machineKey, fields.key}, Seen{index, bytes});
  if (!first) return seen->second.bytes == bytes ? Added::kRepeat : Added::kConflict;
  const std::string head = std::to_string(machineKey) + '\t' + std::to_string(fields.key) + '\t' + fields.eventAt;
  rows_ += head;
  rows_ += fields.utcOffsetKnown ? '\t' + std::to_string(fields.utcOffset) : std::string("\t\\N");
  for (const std::string* number : {&fields.eventType, &fields.loadPointKey, &fields.processEntryKey})
    rows_ += number->empty() ? std::string("\t\\N") : '\t' + *number;
  rows_ += '\t';
  if (bytes.find("\\u0000") == std::string_view::npos) AppendCopyText(&rows_, bytes);
  else AppendCopyText(&rows_, VisibleNul(bytes));
  rows_ += '\t';
  AppendCopyBytea(&rows_, bytes);
  rows_ += '\n';
  keys_ += head + '\n';
  Machine& machine = machines_[machineKey];
  if (machine.id.empty() || machine.lastKey < fields.key) {
    machine.id = fields.machineId;
    machine.name = fields.machine;
    machine.lastKey = fields.key;
    machine.lastTime = fields.eventTime;
    machine.lastAt = fields.eventAt;
    machine.lastOffset = fields.utcOffsetKnown ? std::optional<int32_t>(fields.utcOffset) : std::nullopt;
  }
  static const std::map<std::string, int> kCounted = {{"13", 1}, {"1", 2}, {"2", 3}};
  ++machine.counts[0];
  if (const auto counted = kCounted.find(fields.eventType); counted != kCounted.end()) ++machine.counts[counted->second];
  int64_t local = 0;
  if (fields.eventType == "13" && Reader::LocalSeconds(fields.eventTime, &local))
    machine.lastAdded = std::max(machine.lastAdded, local - int64_t{fields.utcOffset} * 60);
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
  std::vector<PgRow> conflicting, stored;
  if (!pg_.Exec("ROLLBACK TO SAVEPOINT direct", error) || !pg_.Exec(kBatchTable, error) ||
      !pg_.Copy(kCopyBatch, rows_, error) || !pg_.Exec(kBatchConflicts, {}, error, &conflicting) ||
      !pg_.Exec(kInsertBatch, {}, error, &stored))
    return false;
  for (const PgRow& row : conflicting) {
    const auto seen = seen_.find({std::stoll(row[0].value_or("0")), std::stoll(row[1].value_or("0"))});
    if (seen != seen_.end()) conflicts->push_back(seen->second.index);
  }
  // Only what was stored counts.
  for (auto& [key, machine] : machines_) std::fill(std::begin(machine.counts), std::end(machine.counts), 0);
  for (const PgRow& row : stored) {
    Machine& machine = machines_[std::stoll(row[0].value_or("0"))];
    for (size_t i = 0; i < 4; ++i) machine.counts[i] = std::stoll(row[i + 1].value_or("0"));
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
  if (ok) ok = pg_.Copy(kCopyKeys, keys_, error);
  if (ok) ok = pg_.Exec("RELEASE SAVEPOINT direct", error);
  else if (pg_.SqlState() == kUniqueViolation) ok = WriteThroughSessionTable(conflicts, error);
  else if (!copying_) *error = beginError_;
  if (!ok) return false;
  nlohmann::json machines = nlohmann::json::array();
  for (const auto& [key, m] : machines_)
    machines.push_back({{"machine_id", m.id}, {"machine_key", key}, {"machine", m.name}, {"last_key", m.lastKey},
                        {"last_event_time", m.lastTime}, {"last_event_at", m.lastAt},
                        {"last_offset", m.lastOffset ? nlohmann::json(*m.lastOffset) : nlohmann::json()},
                        {"events", m.counts[0]}, {"added", m.counts[1]}, {"changed", m.counts[2]},
                        {"removed", m.counts[3]},
                        {"last_added", m.lastAdded == INT64_MIN ? nlohmann::json() : nlohmann::json(m.lastAdded)}});
  return pg_.Exec(kUpdateMachines, {machines.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)}, error);
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
