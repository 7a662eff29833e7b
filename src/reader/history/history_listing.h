#pragma once
// What a history command prints, wherever its events come from (a machine's own
// record or the fleet's copy of it): the events that pass the filters as text, JSON
// lines or CSV, or with --net the net change of each load point over the window.

#include <ostream>
#include <string>

#include "reader/history/event_format.h"
#include "reader/history/history_filter.h"
#include "reader/history/net_change.h"
#include "reader/commands/reader_options.h"

namespace Reader {

// Whether the filters asked for count back from the newest event (--since, --until).
bool NeedsLatestTime(const ReaderOptions& options);

// The filters of a history command; latest is the newest event's time. False with
// the message of the bad one.
bool HistoryFilterOf(const ReaderOptions& options, const std::string& latest, HistoryFilter* filter,
                     std::string* error);

// Takes the events oldest first; the CSV header goes out at once, the closing
// lines (and every net change) at Finish.
class HistoryListing {
 public:
  HistoryListing(const ReaderOptions& options, HistoryFilter filter, const AccountNames& accounts,
                 std::ostream& out);
  void Add(const EventRecord& event);
  void Finish();

 private:
  HistoryFilter filter_;
  const AccountNames& accounts_;
  std::ostream& out_;
  std::string format_;
  bool net_ = false;
  size_t shown_ = 0;
  NetChangeBuilder builder_;
};

}  // namespace Reader
