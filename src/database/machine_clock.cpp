#include "database/machine_clock.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace Database {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t Seconds(const Platform::SystemTime& time) {
  return DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600 +
         time.minute * 60 + time.second;
}

std::string Text(const Platform::SystemTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return text;
}

bool Is(sqlite3_value* value, std::string_view word) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  if (text == nullptr || std::string_view(text).size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if ((text[i] | 0x20) != word[i]) return false;
  }
  return true;
}

struct MachineClock {
  Platform::System& system;
  sqlite3* plain = nullptr;  // SQLite's own DATETIME, for everything but the machine's now
  // The last local "now" and its text: a burst asks for the same second many times.
  Platform::SystemTime lastSecond{};
  std::string lastText;
  ~MachineClock() { sqlite3_close(plain); }
};

// DATETIME(time, modifiers...) with "now" as the machine's UTC time and "localtime"
// as the machine's offset from it, evaluated by SQLite's own function.
void EvaluatePlain(sqlite3_context* context, MachineClock& clock, int count, sqlite3_value** args) {
  Platform::Environment& environment = clock.system.Environment();
  const Platform::SystemTime utc = environment.GetSystemTime();
  const int64_t offset = Seconds(environment.GetLocalTime()) - Seconds(utc);
  if (clock.plain == nullptr && sqlite3_open(":memory:", &clock.plain) != SQLITE_OK) {
    sqlite3_result_error(context, "DATETIME: no clock", -1);
    return;
  }
  std::string sql = "SELECT DATETIME(";
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[i]));
    if (i == 0 && Is(args[i], "now")) texts.push_back(Text(utc));
    else if (i > 0 && Is(args[i], "localtime")) texts.push_back(std::to_string(offset) + " seconds");
    else texts.push_back(text != nullptr ? text : "");
    sql += i == 0 ? "?" : ", ?";
  }
  sql += ")";
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(clock.plain, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
    for (int i = 0; i < count; ++i) {
      if (sqlite3_value_type(args[i]) == SQLITE_NULL) continue;
      sqlite3_bind_text(statement, i + 1, texts[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    if (sqlite3_step(statement) == SQLITE_ROW) sqlite3_result_value(context, sqlite3_column_value(statement, 0));
  }
  sqlite3_finalize(statement);
}

void DateTime(sqlite3_context* context, int count, sqlite3_value** args) {
  auto& clock = *static_cast<MachineClock*>(sqlite3_user_data(context));
  // The one form every statement of this product uses, answered without a detour.
  if (count == 2 && Is(args[0], "now") && Is(args[1], "localtime")) {
    Platform::SystemTime now = clock.system.Environment().GetLocalTime();
    now.milliseconds = 0;
    if (clock.lastText.empty() || !(now == clock.lastSecond)) {
      clock.lastSecond = now;
      clock.lastText = Text(now);
    }
    sqlite3_result_text(context, clock.lastText.c_str(), static_cast<int>(clock.lastText.size()),
                        SQLITE_TRANSIENT);
    return;
  }
  EvaluatePlain(context, clock, count, args);
}

}  // namespace

bool UseMachineClock(sqlite3* db, Platform::System& system) {
  auto* clock = new MachineClock{system};
  // Registered for any number of arguments; SQLite frees the clock with the
  // connection (or at once when the registration fails).
  return sqlite3_create_function_v2(db, "DATETIME", -1, SQLITE_UTF8, clock, DateTime, nullptr,
                                    nullptr, [](void* p) { delete static_cast<MachineClock*>(p); }) ==
         SQLITE_OK;
}

}  // namespace Database
