// DATETIME on a connection that follows a machine's own clock.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "database/machine_clock.h"
#include "platform/emulated/machine/machine.h"

namespace Database {

namespace {

std::string Text(const Platform::SystemTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return text;
}

std::string Query(sqlite3* db, const std::string& expression) {
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, ("SELECT " + expression).c_str(), -1, &statement, nullptr), SQLITE_OK);
  std::string result = "<none>";
  if (sqlite3_step(statement) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    result = text != nullptr ? text : "<null>";
  }
  sqlite3_finalize(statement);
  return result;
}

// A machine two days ahead of the host in a zone 90 minutes west of UTC: "now" and
// "localtime" are the machine's, every other date is computed as SQLite computes it.
TEST(MachineClock, NowAndLocalTimeAreTheMachinesEverythingElseSqlitesOwn) {
  Emulated::MachineConfig config;
  config.utcOffsetMinutes = -90;
  Emulated::Machine machine(config);
  machine.Time().Advance(std::chrono::hours(48));
  Platform::Environment& environment = machine.Process(4).Environment();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_TRUE(UseMachineClock(db, machine.Process(4)));
  // The clock moves between the two reads at most across one second boundary.
  const std::string local = Query(db, "DATETIME('NOW', 'LOCALTIME')");
  EXPECT_LE(local, Text(environment.GetLocalTime()));
  EXPECT_GE(local, Text(environment.GetLocalTime()).substr(0, 16));
  const std::string utc = Query(db, "DATETIME('now')");
  EXPECT_EQ(Query(db, "DATETIME('" + utc + "', '-90 minutes')").substr(0, 16), local.substr(0, 16));
  EXPECT_EQ(Query(db, "DATETIME('now', 'localtime', '+1 day')").substr(0, 10),
            Query(db, "DATETIME('" + local + "', '+1 day')").substr(0, 10));
  EXPECT_EQ(Query(db, "DATETIME('2020-02-28 23:30:00', '+1 hour')"), "2020-02-29 00:30:00");
  EXPECT_EQ(Query(db, "DATETIME(NULL)"), "<null>");
  EXPECT_EQ(Query(db, "DATETIME('not a date')"), "<null>");
  sqlite3_close(db);
}

}  // namespace

}  // namespace Database
