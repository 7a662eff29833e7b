// brumevale fleet history: one machine's exported events, filtered and printed by
// the reader's routines, exactly as `brumevale history` prints them on the machine.

#include <ostream>

#include "fleet/fleet_queries.h"
#include "fleet/stored_event.h"
#include "reader/event_format.h"
#include "reader/history_filter.h"

namespace Fleet {
namespace {

constexpr char kHistory[] =
    "SELECT event FROM fleet_events WHERE machine = $1 OR machine_id = $1 ORDER BY machine_id, key";

// --since/--until wait for the latest event's time, so they are kept aside.
bool ParseFilters(const std::vector<std::string>& args, Reader::HistoryFilter* filter, std::string* since,
                  std::string* until, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--unattributed") {
      filter->unattributed = true;
      continue;
    }
    if (i + 1 >= args.size()) return *error = name + " needs a value", false;
    const std::string& value = args[++i];
    if (name == "--since") *since = value;
    else if (name == "--until") *until = value;
    else if (name == "--type") {
      if (!Reader::ParseTypeFilter(value, filter, error)) return false;
    } else if (name == "--entry") filter->entry = Reader::Folded(value);
    else if (name == "--user") filter->user = Reader::Folded(value);
    else if (name == "--process") filter->process = Reader::Folded(value);
    else return *error = "unknown option " + name, false;
  }
  return true;
}

std::string Formatted(const std::vector<Reader::EventRecord>& events, OutputFormat format) {
  if (format == OutputFormat::Text) return Reader::EventsText(events, {});
  std::string out = format == OutputFormat::Csv ? Reader::EventCsvHeader() : "";
  for (const Reader::EventRecord& event : events)
    out += format == OutputFormat::Csv ? Reader::EventCsvRow(event) : Reader::EventJsonLine(event);
  return out;
}

}  // namespace

int QueryHistory(PgLink& pg, const std::string& machine, const std::vector<std::string>& filters,
                 OutputFormat format, std::ostream& out, std::ostream& err) {
  Reader::HistoryFilter filter;
  std::string since, until, error;
  if (!ParseFilters(filters, &filter, &since, &until, &error)) {
    err << "brumevale fleet: " << error << std::endl;
    return 2;
  }
  std::vector<PgRow> rows;
  if (!pg.Exec(kHistory, {machine}, &error, &rows)) {
    err << "brumevale fleet: " << error << std::endl;
    return 1;
  }
  std::vector<Reader::EventRecord> events;
  for (const PgRow& row : rows)
    events.push_back(EventRecordOfMessage(nlohmann::json::parse(row[0].value_or("{}"), nullptr, false)));
  const std::string latest = events.empty() ? "" : events.back().time;
  if ((!since.empty() && !Reader::ParseTimeBound(since, false, latest, &filter.since, &error)) ||
      (!until.empty() && !Reader::ParseTimeBound(until, true, latest, &filter.until, &error))) {
    err << "brumevale fleet: " << error << std::endl;
    return 2;
  }
  std::vector<Reader::EventRecord> shown;
  for (Reader::EventRecord& event : events)
    if (filter.Matches(event)) shown.push_back(std::move(event));
  out << Formatted(shown, format);
  return 0;
}

}  // namespace Fleet
