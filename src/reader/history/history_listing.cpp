#include "reader/history/history_listing.h"

namespace Reader {

bool NeedsLatestTime(const ReaderOptions& o) { return o.values.count("--since") || o.values.count("--until"); }

bool HistoryFilterOf(const ReaderOptions& o, const std::string& latest, HistoryFilter* filter, std::string* error) {
  if (o.values.count("--type") && !ParseTypeFilter(o.Value("--type"), filter, error)) return false;
  if (o.values.count("--since") && !ParseTimeBound(o.Value("--since"), false, latest, &filter->since, error)) {
    return false;
  }
  if (o.values.count("--until") && !ParseTimeBound(o.Value("--until"), true, latest, &filter->until, error)) {
    return false;
  }
  if (!CheckWindow(filter->since, filter->until, error)) return false;
  filter->entry = Folded(o.Value("--entry"));
  filter->user = Folded(o.Value("--user"));
  filter->process = Folded(o.Value("--process"));
  filter->unattributed = o.Flag("--unattributed");
  return true;
}

HistoryListing::HistoryListing(const ReaderOptions& options, HistoryFilter filter, const AccountNames& accounts,
                               std::ostream& out)
    : filter_(std::move(filter)),
      accounts_(accounts),
      out_(out),
      format_(options.Value("--format", "text")),
      net_(options.Flag("--net")) {
  if (format_ == "csv") out_ << (net_ ? NetChangeCsvHeader() : EventCsvHeader());
}

void HistoryListing::Add(const EventRecord& event) {
  if (!filter_.Matches(event)) return;
  ++shown_;
  if (net_) builder_.Add(event);
  else if (format_ == "json") out_ << EventJsonLine(event);
  else if (format_ == "csv") out_ << EventCsvRow(event);
  else out_ << EventText(event, accounts_);
}

void HistoryListing::Finish() {
  if (!net_) {
    if (format_ == "text" && shown_ == 0) out_ << "No changes recorded.\n";
    return;
  }
  const std::vector<NetChange> changes = builder_.Result();
  for (const NetChange& change : changes) {
    if (format_ == "json") {
      out_ << NetChangeJson(change).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else if (format_ == "csv") {
      out_ << NetChangeCsvRow(change);
    } else {
      out_ << NetChangeText(change);
    }
  }
  if (format_ == "text" && changes.empty()) out_ << "No net changes in the window.\n";
}

}  // namespace Reader
