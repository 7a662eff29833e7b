// brumevale fleet history: one machine's exported events through the reader's own
// filters and listing, so that it prints exactly what `brumevale history` prints on
// the machine, --net included.

#include <ostream>

#include "fleet/queries/fleet_queries.h"
#include "fleet/collect/fleet_tables.h"
#include "fleet/queries/stored_event.h"
#include "reader/history/history_listing.h"

namespace Fleet {
namespace {

const std::string kHistory =
    std::string("SELECT ") + kStoredMessage + 
    " FROM fleet_events WHERE machine_key = (SELECT machine_key FROM fleet_machine_keys WHERE machine_id = $1) "
    "ORDER BY key";

}  // namespace

int QueryHistory(PgLink& pg, const std::string& machine, const Reader::ReaderOptions& options, std::ostream& out,
                 std::ostream& err) {
  std::string error;
  std::vector<PgRow> rows;
  if (!pg.Exec(kHistory, {machine}, &error, &rows)) {
    err << "brumevale fleet: " << error << std::endl;
    return 1;
  }
  std::vector<Reader::EventRecord> events;
  events.reserve(rows.size());
  for (const PgRow& row : rows)
    events.push_back(EventRecordOfMessage(nlohmann::json::parse(row[0].value_or("{}"), nullptr, false)));
  Reader::HistoryFilter filter;
  if (!Reader::HistoryFilterOf(options, events.empty() ? "" : events.back().time, &filter, &error)) {
    err << "brumevale fleet: " << error << std::endl;
    return 2;
  }
  const Reader::AccountNames accounts;
  Reader::HistoryListing listing(options, std::move(filter), accounts, out);
  for (const Reader::EventRecord& event : events) listing.Add(event);
  listing.Finish();
  return 0;
}

}  // namespace Fleet
