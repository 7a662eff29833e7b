#include "fleet/queries/fleet_audit.h"

#include <map>
#include <ostream>

#include "fleet/collect/fleet_tables.h"
#include "fleet/export/raw_rows.h"

namespace Fleet {
namespace {

// Read from the message's bytes, so that a value holding U+0000 compares as it was.
const std::string kExported =
    std::string("SELECT key, ") + kStoredMessage + 
    " FROM fleet_events WHERE machine_key = (SELECT machine_key FROM fleet_machine_keys WHERE machine_id = $1) "
    "ORDER BY key";

// "EVENT_TIME was "a", now "b"" for each column that differs, in column order.
std::string Differences(const char* table, const nlohmann::json& exported, const nlohmann::json& local) {
  std::string out;
  auto say = [&](const std::string& column, const nlohmann::json& was, const nlohmann::json& now) {
    out += std::string(out.empty() ? "" : "; ") + table + "." + column + " was " + was.dump() + ", now " + now.dump();
  };
  if (exported.is_null() != local.is_null()) {
    say("row", exported.is_null() ? nlohmann::json("absent") : nlohmann::json("present"),
        local.is_null() ? nlohmann::json("absent") : nlohmann::json("present"));
    return out;
  }
  if (exported.is_null()) return out;
  for (const auto& [column, value] : exported.items()) {
    const nlohmann::json now = local.contains(column) ? local[column] : nlohmann::json("(no column)");
    if (now != value) say(column, value, now);
  }
  for (const auto& [column, value] : local.items())
    if (!exported.contains(column)) say(column, "(no column)", value);
  return out;
}

nlohmann::json Member(const nlohmann::json& object, const char* name) {
  return object.is_object() && object.contains(name) ? object[name] : nlohmann::json();
}

std::string Described(const nlohmann::json& message) {
  auto text = [&](const char* name) {
    const nlohmann::json value = Member(message, name);
    return value.is_string() ? value.get<std::string>() : std::string();
  };
  return "(" + text("event") + " " + text("type") + " " + text("entry") + ")";
}

}  // namespace

int AuditMachine(PgLink& pg, const std::string& machine, const std::string& database, std::ostream& out,
                 std::ostream& err) {
  RecordFile file;
  std::string error;
  if (!file.Open(database, &error)) {
    err << "brumevale fleet audit: " << error << std::endl;
    return 2;
  }
  std::vector<PgRow> exported;
  if (!pg.Exec(kExported, {machine}, &error, &exported)) {
    err << "brumevale fleet audit: " << error << std::endl;
    return 2;
  }
  if (exported.empty()) {
    err << "brumevale fleet audit: nothing of " << machine << " was exported" << std::endl;
    return 2;
  }
  std::vector<int64_t> keys;
  for (const PgRow& row : exported) keys.push_back(std::stoll(row[0].value_or("0")));
  std::vector<RawEvent> local;
  if (!file.ReadEventsByKey(keys, &local, &error)) {
    err << "brumevale fleet audit: " << error << std::endl;
    return 2;
  }
  std::map<int64_t, const RawEvent*> localOf;
  for (const RawEvent& event : local) localOf[event.key] = &event;
  int found = 0;
  for (const PgRow& row : exported) {
    const int64_t key = std::stoll(row[0].value_or("0"));
    const nlohmann::json message = nlohmann::json::parse(row[1].value_or("{}"), nullptr, false);
    const nlohmann::json raw = Member(message, "raw");
    const nlohmann::json change = Member(raw, "ChangeEvents");
    const nlohmann::json time = Member(change, "EVENT_TIME");
    const std::string head = "event " + std::to_string(key) + " of " + (time.is_string() ? time.get<std::string>() : "?") +
                             " " + Described(message);
    const auto mine = localOf.find(key);
    if (mine == localOf.end()) {
      out << head << ": deleted on the machine after its export" << std::endl;
      ++found;
      continue;
    }
    std::string diff = Differences("ChangeEvents", change, mine->second->changeEvent);
    const std::string ext = Differences("ExtendedEvent", Member(raw, "ExtendedEvent"),
                                        mine->second->extendedEvent);
    if (!ext.empty()) diff += (diff.empty() ? "" : "; ") + ext;
    if (diff.empty()) continue;
    out << head << ": altered on the machine after its export: " << diff << std::endl;
    ++found;
  }
  return found > 0 ? 1 : 0;
}

}  // namespace Fleet
