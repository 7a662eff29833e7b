#include "reader/history_filter.h"

#include <chrono>
#include <cstdio>

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

// A stored time moved back by seconds, in the stored form.
std::string SecondsBefore(int y, int mo, int d, int h, int mi, int s, int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds then = sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + std::chrono::seconds{s} -
                           std::chrono::seconds{seconds};
  const sys_days day = floor<days>(then);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> clock{then - day};
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long long>(clock.hours().count()), static_cast<long long>(clock.minutes().count()),
                static_cast<long long>(clock.seconds().count()));
  return text;
}

// "YYYY-MM-DD[ HH:MM[:SS]]" into its parts; fields not given stay as passed in.
bool ParseStamp(const std::string& text, int* y, int* mo, int* d, int* h, int* mi, int* s) {
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", y, mo, d, &used) != 3 || used != 10) return false;
  if (text.size() > 10 && (std::sscanf(text.c_str() + 10, " %2d:%2d%n", h, mi, &used) != 2 ||
                           used != 6 || text.size() > 16) &&
      (std::sscanf(text.c_str() + 10, " %2d:%2d:%2d%n", h, mi, s, &used) != 3 || used != 9 ||
       text.size() != 19)) {
    return false;
  }
  return *mo >= 1 && *mo <= 12 && *d >= 1 && *d <= 31 && *h >= 0 && *h <= 23 && *mi >= 0 &&
         *mi <= 59 && *s >= 0 && *s <= 59;
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
  if (!since.empty() && e.time < since) return false;
  if (!until.empty() && e.time > until) return false;
  if (type && (e.loadPointType != *type || e.typeName == "System setting" ||
               e.typeName == "File extension" || e.eventType == 6 || e.eventType == 9)) {
    return false;
  }
  if (!typeName.empty() && Folded(e.typeName) != typeName) return false;
  if (unattributed && e.change.processEntryKey != 0) return false;
  if (!Contains(e.entry, entry) || !Contains(e.user, user)) return false;
  if (!process.empty() && (e.noProcess || !Contains(e.processPath + "\n" + e.process, process))) {
    return false;
  }
  return true;
}

bool ParseTimeBound(const std::string& text, bool endOfWindow, const std::string& latest,
                    std::string* bound, std::string* error) {
  const char unit = text.empty() ? 0 : text.back();
  const std::string count = text.empty() ? "" : text.substr(0, text.size() - 1);
  if ((unit == 'h' || unit == 'd') && AllDigits(count) && count.size() <= 6) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (latest.empty() || !ParseStamp(latest, &y, &mo, &d, &h, &mi, &s)) {
      *bound = "";  // no event to count back from: the window holds everything there is
      return true;
    }
    *bound = SecondsBefore(y, mo, d, h, mi, s, std::stoll(count) * (unit == 'h' ? 3600 : 86400));
    return true;
  }
  int y = 0, mo = 0, d = 0, h = endOfWindow ? 23 : 0, mi = endOfWindow ? 59 : 0, s = endOfWindow ? 59 : 0;
  if (!ParseStamp(text, &y, &mo, &d, &h, &mi, &s)) {
    *error = "bad time \"" + text + "\": use YYYY-MM-DD[ HH:MM[:SS]], or 24h or 7d";
    return false;
  }
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  *bound = out;
  return true;
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
