#include "fleet/queries/fleet_status.h"

#include <ostream>

#include "fleet/links/stream_setup.h"
#include "reader/history/event_format.h"

namespace Fleet {
namespace {

constexpr char kMachineCounts[] =
    "SELECT count(*), count(*) FILTER (WHERE last_heard >= now() - interval '1 day') FROM fleet_machines";
// A machine last heard from before the tables kept the time reads as never heard.
constexpr char kSilent[] = R"sql(
SELECT machine, machine_id, coalesce(to_char(last_heard AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS"Z"'), 'never')
FROM fleet_machines WHERE last_heard IS NULL OR last_heard < now() - interval '1 day'
ORDER BY last_heard NULLS FIRST, machine, machine_id)sql";
constexpr char kDeadLetters[] =
    "SELECT count(*), coalesce(to_char(max(received) AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS\"Z\"'), '-') "
    "FROM fleet_dead_letters";
constexpr char kEntries[] = R"sql(
SELECT entry_name, lp_type, count(DISTINCT machine_id) FROM fleet_inventory
GROUP BY entry_name, lp_type ORDER BY 3, 1, 2)sql";

struct Watched {
  const char* stream;
  const char* durable;
};
constexpr Watched kConsumers[] = {
    {kStreamName, kEventsConsumer}, {kStreamName, kInventoryConsumer}, {kCappedStreamName, kCappedConsumer}};

bool Run(PgLink& pg, const char* sql, std::vector<PgRow>* rows, std::ostream& err) {
  std::string error;
  if (pg.Exec(sql, {}, &error, rows)) return true;
  err << "brumevale fleet: " << error << std::endl;
  return false;
}

std::string Text(const PgRow& row, size_t column) { return row.size() > column ? row[column].value_or("") : ""; }

// Messages the stream holds for a consumer that it has not delivered yet, and those
// delivered but not yet acknowledged.
bool ConsumerLag(const NatsSettings& nats, std::ostream& out, std::ostream& err) {
  JetStreamLink link;
  std::string error;
  if (!link.Connect(nats, &error)) {
    err << "brumevale fleet: cannot reach JetStream: " << error << std::endl;
    return false;
  }
  for (const auto& [stream, durable] : kConsumers) {
    jsConsumerInfo* info = nullptr;
    jsErrCode code = static_cast<jsErrCode>(0);
    const natsStatus s = js_GetConsumerInfo(&info, link.Context(), stream, durable, nullptr, &code);
    if (s == NATS_NOT_FOUND) {
      out << "consumer " << durable << ": missing (brumevale fleet setup makes it)" << std::endl;
      continue;
    }
    if (s != NATS_OK) {
      err << "brumevale fleet: " << NatsError(s) << std::endl;
      return false;
    }
    out << "consumer " << durable << ": " << info->NumPending << " waiting, " << info->NumAckPending
        << " unacknowledged, " << info->NumRedelivered << " delivered again" << std::endl;
    jsConsumerInfo_Destroy(info);
  }
  return true;
}

}  // namespace

int QueryStatus(PgLink& pg, const std::optional<NatsSettings>& nats, std::ostream& out, std::ostream& err) {
  std::vector<PgRow> counts, silent, dead;
  if (!Run(pg, kMachineCounts, &counts, err) || !Run(pg, kSilent, &silent, err) || !Run(pg, kDeadLetters, &dead, err))
    return 1;
  out << "machines: " << Text(counts[0], 0) << ", heard from within a day: " << Text(counts[0], 1) << std::endl;
  out << "silent for over a day: " << silent.size() << std::endl;
  for (const PgRow& row : silent)
    out << "  " << Text(row, 0) << "  " << Text(row, 1) << "  last heard " << Text(row, 2) << std::endl;
  out << "dead letters: " << Text(dead[0], 0) << ", latest " << Text(dead[0], 1) << std::endl;
  if (!nats) {
    out << "consumer lag: not asked (give --server)" << std::endl;
    return 0;
  }
  return ConsumerLag(*nats, out, err) ? 0 : 1;
}

int QueryEntries(PgLink& pg, OutputFormat format, std::ostream& out, std::ostream& err) {
  Table table{{"entry", "type", "machines"}, {}, {false, false, true}};
  if (!Run(pg, kEntries, &table.rows, err)) return 1;
  for (auto& row : table.rows) row[1] = Reader::LoadPointTypeName(std::stoi(row[1].value_or("0")));
  out << FormatTable(table, format);
  return 0;
}

}  // namespace Fleet
