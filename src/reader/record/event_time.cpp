#include "reader/record/event_time.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace Reader {

std::optional<int32_t> UtcOffsets::At(const std::string& local) const {
  std::optional<int32_t> found;
  for (const UtcOffsetNote& note : notes_) {
    if (note.since <= local) found = note.minutes;
  }
  return found;
}

std::string OffsetText(int32_t minutes) {
  const int32_t magnitude = std::abs(minutes);
  char text[16];
  std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return text;
}

std::string TimeText(const std::string& local, std::optional<int32_t> offset) {
  if (local.empty()) return local;
  return local + (offset ? " " + OffsetText(*offset) : std::string(" (offset unknown)"));
}

std::string TimeIso(const std::string& local, std::optional<int32_t> offset) {
  if (local.size() != 19) return local;  // not a stored time: kept as it is
  std::string iso = local;
  iso[10] = 'T';
  return offset ? iso + OffsetText(*offset) : iso;
}

bool LocalSeconds(const std::string& local, int64_t* seconds) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  if (std::sscanf(local.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
      used != 19 || local.size() != 19) {
    return false;
  }
  using namespace std::chrono;
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
  if (!date.ok() || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0) return false;
  *seconds = sys_days{date}.time_since_epoch().count() * 86400LL + h * 3600LL + mi * 60LL + s;
  return true;
}

std::string LocalText(int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds then{std::chrono::seconds{seconds}};
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

bool SplitTime(const std::string& text, std::string* local, std::optional<int32_t>* offset) {
  if (text.size() < 19) return false;
  std::string head = text.substr(0, 19);
  if (head[10] == 'T') head[10] = ' ';
  int64_t seconds = 0;
  if (!LocalSeconds(head, &seconds)) return false;
  *local = head;
  offset->reset();
  std::string rest = text.substr(19);
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  if (rest.empty() || rest == "(offset unknown)") return true;
  if (rest == "Z") {
    *offset = 0;
    return true;
  }
  int hours = 0, minutes = 0, used = 0;
  if ((rest[0] != '+' && rest[0] != '-') ||
      std::sscanf(rest.c_str() + 1, "%2d:%2d%n", &hours, &minutes, &used) != 2 || used != 5 ||
      rest.size() != 6 || hours > 14 || minutes > 59) {
    return false;
  }
  *offset = (rest[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
  return true;
}

}  // namespace Reader
