#include "reader/history/history_filter.h"

#include <regex>

#include "reader/record/event_time.h"

namespace Reader {
namespace {

bool Contains(const std::string& text, const std::string& folded) {
  return folded.empty() || Folded(text).find(folded) != std::string::npos;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "YYYY-MM-DD", then optionally "[ T]HH:MM[:SS]" and a "Z" or "+HH:MM" offset.
const std::regex& StampPattern() {
  static const std::regex pattern(
      R"((\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2}))?(Z|[+-]\d{2}:\d{2})?)?)");
  return pattern;
}

// A bound as seconds since 1970, a UTC bound's as UTC, a local one's as if UTC.
bool BoundSeconds(const std::string& bound, int64_t* seconds) {
  const bool utc = !bound.empty() && bound.back() == 'Z';
  return LocalSeconds(utc ? bound.substr(0, bound.size() - 1) : bound, seconds);
}

// The event's time in the bound's terms: its local text, or for a UTC bound
// ("...Z") its UTC text. An event whose offset is unknown is taken as UTC.
std::string EventTimeFor(const EventRecord& e, bool utc) {
  if (!utc && e.time.size() == 19 && e.time[10] == ' ') return e.time;  // as stored: the usual case
  std::string local;
  std::optional<int32_t> offset;
  if (!SplitTime(e.time, &local, &offset)) return e.time;
  if (!utc) return local;
  if (!offset) offset = e.utcOffset;
  int64_t seconds = 0;
  LocalSeconds(local, &seconds);
  return LocalText(seconds - int64_t{offset.value_or(0)} * 60) + "Z";
}

bool Before(const EventRecord& e, const std::string& bound) {
  return EventTimeFor(e, bound.back() == 'Z') < bound;
}

bool After(const EventRecord& e, const std::string& bound) {
  return EventTimeFor(e, bound.back() == 'Z') > bound;
}

}  // namespace

std::string Folded(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool HistoryFilter::Matches(const EventRecord& e) const {
  if (!since.empty() && Before(e, since)) return false;
  if (!until.empty() && After(e, until)) return false;
  if (type && (e.loadPointType != *type || e.typeName == "System setting" ||
               e.typeName == "File extension" || e.eventType == 6 || e.eventType == 9)) {
    return false;
  }
  if (!typeName.empty() && Folded(e.typeName) != typeName) return false;
  if (unattributed && e.change.processEntryKey != 0) return false;
  // A user is matched by its SID or its name.
  if (!Contains(e.entry, entry) || !(Contains(e.user, user) || Contains(e.userName, user))) return false;
  if (!process.empty() && (e.noProcess || !Contains(e.processPath + "\n" + e.process, process))) {
    return false;
  }
  return true;
}

bool ParseTimeBound(const std::string& text, bool endOfWindow, const std::string& latest,
                    std::string* bound, std::string* error) {
  const char unit = text.empty() ? 0 : text.back();
  const std::string count = text.empty() ? "" : text.substr(0, text.size() - 1);
  if ((unit == 'm' || unit == 'h' || unit == 'd') && AllDigits(count) && count.size() <= 6) {
    std::string local;
    std::optional<int32_t> offset;
    int64_t newest = 0;
    if (!SplitTime(latest, &local, &offset) || !LocalSeconds(local, &newest)) {
      *bound = "";  // no event to count back from: the window holds everything there is
      return true;
    }
    const int64_t unitSeconds = unit == 'm' ? 60 : unit == 'h' ? 3600 : 86400;
    *bound = LocalText(newest - std::stoll(count) * unitSeconds);
    return true;
  }
  std::smatch m;
  int64_t seconds = 0;
  if (std::regex_match(text, m, StampPattern())) {
    const bool timeGiven = m[4].matched;
    const std::string second = m[6].matched ? m[6].str() : endOfWindow ? "59" : "00";
    const std::string local = m[1].str() + "-" + m[2].str() + "-" + m[3].str() + " " +
                              (timeGiven ? m[4].str() + ":" + m[5].str() + ":" + second
                                         : std::string(endOfWindow ? "23:59:59" : "00:00:00"));
    std::optional<int32_t> offset;
    std::string unused;
    const std::string zone = m[7].str();
    if (LocalSeconds(local, &seconds) && (zone.empty() || SplitTime(local + zone, &unused, &offset))) {
      *bound = offset ? LocalText(seconds - int64_t{*offset} * 60) + "Z" : local;
      return true;
    }
  }
  *error = "bad time \"" + text + "\": use YYYY-MM-DD[ HH:MM[:SS]] (local time of the record), the same "
           "with T and Z or an offset such as +01:00 (ISO 8601), or 30m, 2h or 7d";
  return false;
}

bool CheckWindow(const std::string& since, const std::string& until, std::string* error) {
  int64_t from = 0, to = 0;
  if (since.empty() || until.empty() || !BoundSeconds(since, &from) || !BoundSeconds(until, &to)) return true;
  if (from <= to) return true;
  *error = "the window ends before it starts: --since is after --until";
  return false;
}

bool ParseTypeFilter(const std::string& text, HistoryFilter* filter, std::string* error) {
  if (AllDigits(text) && text.size() <= 2 && std::stoi(text) >= 1 && std::stoi(text) <= 65) {
    filter->type = std::stoi(text);
    return true;
  }
  const std::string folded = Folded(text);
  if (folded == "system setting" || folded == "file extension") {
    filter->typeName = folded;
    return true;
  }
  for (int32_t type = 1; type <= 65; ++type) {
    if (Folded(LoadPointTypeName(type)) == folded) {
      filter->type = type;
      return true;
    }
  }
  *error = "bad type \"" + text + "\": use a load-point type number 1 to 65, a type name as the "
           "history lists it, \"System setting\" or \"File extension\"";
  return false;
}

}  // namespace Reader
