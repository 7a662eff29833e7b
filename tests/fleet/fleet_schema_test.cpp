// The tables of a deployment from before the machine key, brought over by
// `fleet migrate`: every event keeps its machine, its key and its time (now in UTC,
// from the offset its message carried), the months get partitions of their own,
// and `fleet prune` drops whole old months with their share of the counters.

#include <nlohmann/json.hpp>

#include <chrono>
#include <thread>

#include "fleet/collect/fleet_schema.h"
#include "fleet/collect/fleet_tables.h"
#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

using Rows = std::vector<std::vector<std::string>>;

void Sql(const std::string& conninfo, const std::string& sql) {
  Fleet::PgLink pg;
  std::string error;
  ASSERT_TRUE(pg.Connect(conninfo, &error) && pg.Exec(sql, &error)) << sql << ": " << error;
}

// An event as the second layout held it: its message as jsonb, its local time as text.
std::string OldEvent(const std::string& id, const std::string& name, int key, const std::string& local,
                     const std::string& iso, int type) {
  const std::string message = R"({"machine":")" + name + R"(","machineId":")" + id + R"(","key":)" +
                              std::to_string(key) + R"(,"time":")" + iso +
                              R"(","raw":{"ChangeEvents":{"KEY":)" + std::to_string(key) + R"(,"EVENT_TIME":")" +
                              local + R"(","EVENT_TYPE":)" + std::to_string(type) + "}}}";
  return "('" + id + "', '" + name + "', " + std::to_string(key) + ", '" + local + "', " + std::to_string(type) +
         ", 5, 6, '" + message + "'::jsonb, convert_to('" + message + "', 'UTF8'))";
}

}  // namespace

TEST(FleetSchema, MigrateBringsTheSecondLayoutOverAndPruneDropsOldMonths) {
  const std::string pg = FreshDatabase("schema");
  Sql(pg, "CREATE TABLE fleet_events (machine_id text, machine text, key bigint, event_time text, "
          "event_type integer, load_point_key bigint, process_entry_key bigint, event jsonb, message bytea, "
          "unique (machine_id, key)); "
          "CREATE TABLE fleet_machines (machine_id text PRIMARY KEY, machine text, last_key bigint, "
          "last_event_time text, snapshot bigint); "
          "CREATE TABLE fleet_schema (version integer NOT NULL, migrated timestamptz DEFAULT now()); "
          "INSERT INTO fleet_schema (version) VALUES (2); "
          "INSERT INTO fleet_events VALUES " +
              OldEvent("id-a", "LAB", 1, "2024-05-01 10:00:00", "2024-05-01T10:00:00+02:00", 13) + ", " +
              OldEvent("id-a", "LAB", 2, "2024-05-01 00:30:00", "2024-05-01T00:30:00-05:30", 2) + ", " +
              OldEvent("id-b", "LAB", 1, "2024-05-31 23:00:00", "2024-05-31T23:00:00", 13) + ", " +
              OldEvent("id-b", "LAB", 2, "2012-01-01 08:00:00", "2012-01-01T08:00:00+00:00", 1) + "; " +
              "INSERT INTO fleet_machines VALUES ('id-a', 'LAB', 2, '2024-05-01 00:30:00', NULL), "
              "('id-b', 'LAB', 2, '2012-01-01 08:00:00', NULL)");
  std::string out;
  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "migrate"}, &out), 0) << out;
  // UTC from each message's offset; without one, the local time is taken as UTC and
  // the offset stays unknown. A month holding events has its partition; a clock
  // years off stays in the default one.
  const std::string events =
      "SELECT machine_id, key, to_char(event_at AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI'), coalesce(utc_offset::text, "
      "'?'), e.tableoid::regclass::text FROM fleet_events e JOIN fleet_machine_keys USING (machine_key) ORDER BY 1, 2";
  EXPECT_EQ(PgRows(pg, events), (Rows{{"id-a", "1", "2024-05-01 08:00", "120", "fleet_events_2024_05"},
                                      {"id-a", "2", "2024-05-01 06:00", "-330", "fleet_events_2024_05"},
                                      {"id-b", "1", "2024-05-31 23:00", "?", "fleet_events_2024_05"},
                                      {"id-b", "2", "2012-01-01 08:00", "0", "fleet_events_default"}}));
  EXPECT_EQ(CollectedEventsOfId(pg, "id-a"), (std::vector<std::string>{"1|2024-05-01 10:00:00|13|5|6",
                                                                        "2|2024-05-01 00:30:00|2|5|6"}));
  const std::string machines = "SELECT machine_id, events, added, changed, removed FROM fleet_machines ORDER BY 1";
  const Rows counted = {{"id-a", "2", "1", "0", "1"}, {"id-b", "2", "1", "1", "0"}};
  EXPECT_EQ(PgRows(pg, machines), counted);
  // Again: nothing moves, nothing is counted twice.
  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "migrate"}, &out), 0) << out;
  EXPECT_EQ(PgRows(pg, machines), counted);
  EXPECT_EQ(PgRows(pg, "SELECT max(version) FROM fleet_schema"), (Rows{{"3"}}));
  // One event per (machine, key) across the partitions.
  Fleet::PgLink link;
  std::string error;
  ASSERT_TRUE(link.Connect(pg, &error)) << error;
  EXPECT_FALSE(link.Exec("INSERT INTO fleet_event_keys SELECT machine_key, 1, now() FROM fleet_machine_keys "
                         "WHERE machine_id = 'id-a'", &error));
  EXPECT_EQ(link.SqlState(), "23505");

  // Neither machine has been heard from since the tables kept the time.
  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "status"}, &out), 0) << out;
  EXPECT_NE(out.find("machines: 2, heard from within a day: 0\nsilent for over a day: 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  LAB  id-a  last heard never\n"), std::string::npos) << out;

  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "prune", "--keep-months", "1"}, &out), 0) << out;
  EXPECT_EQ(out, "4 events older than 1 months dropped\n");
  EXPECT_EQ(PgRows(pg, "SELECT count(*) FROM fleet_events"), (Rows{{"0"}}));
  EXPECT_EQ(PgRows(pg, "SELECT count(*) FROM fleet_event_keys"), (Rows{{"0"}}));
  EXPECT_EQ(PgRows(pg, "SELECT to_regclass('fleet_events_2024_05') IS NULL"), (Rows{{"t"}}));
  EXPECT_EQ(PgRows(pg, machines), (Rows{{"id-a", "0", "0", "0", "0"}, {"id-b", "0", "0", "0", "0"}}));
  EXPECT_EQ(RunFleet({"fleet", "--database", pg, "prune"}, &out), 2) << out;
}

// Collectors starting together on a fresh database: the one that waited for another's
// migration finds the tables made and neither fails.
TEST(FleetSchema, AMigrationThatWaitedFindsTheTablesTheOtherMade) {
  const std::string pg = FreshDatabase("schema_turns");
  Fleet::PgLink first, second;
  std::string error;
  ASSERT_TRUE(first.Connect(pg, &error) && second.Connect(pg, &error)) << error;
  ASSERT_TRUE(first.Exec("SELECT pg_advisory_lock(726354)", &error)) << error;
  bool waited = false;
  std::string waitedError;
  std::thread late([&] { waited = Fleet::EnsureFleetTables(second, &waitedError); });
  for (int i = 0; i < 200 && PgRows(pg, "SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND NOT "
                                        "granted")[0][0] == "0"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(Fleet::MigrateFleetTables(first, &error)) << error;
  EXPECT_TRUE(first.Exec("SELECT pg_advisory_unlock(726354)", &error)) << error;
  late.join();
  EXPECT_TRUE(waited) << waitedError;
  EXPECT_EQ(PgRows(pg, "SELECT count(*) FROM fleet_schema"), (Rows{{"1"}}));
}

// Two collectors giving a new machine its key at once: the one whose insert waited
// for the other's commit is given the key the other made, not nothing.
TEST(FleetSchema, AMachineKeyMadeMeanwhileByAnotherCollectorIsFound) {
  const std::string pg = FreshDatabase("schema_keys");
  Fleet::PgLink first, second;
  std::string error;
  ASSERT_TRUE(first.Connect(pg, &error) && second.Connect(pg, &error)) << error;
  ASSERT_TRUE(Fleet::EnsureFleetTables(first, &error)) << error;
  std::map<std::string, int64_t> keys;
  ASSERT_TRUE(Fleet::MachineKeys(second, {"id-old"}, &keys, &error)) << error;
  ASSERT_TRUE(first.Exec("BEGIN", &error) &&
              first.Exec("INSERT INTO fleet_machine_keys (machine_id) VALUES ('id-new')", &error))
      << error;
  bool given = false;
  std::string givenError;
  std::thread late([&] { given = Fleet::MachineKeys(second, {"id-new", "id-old"}, &keys, &givenError); });
  for (int i = 0; i < 200 && PgRows(pg, "SELECT count(*) FROM pg_locks WHERE locktype = 'transactionid' AND NOT "
                                        "granted")[0][0] == "0"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(first.Exec("COMMIT", &error)) << error;
  late.join();
  ASSERT_TRUE(given) << givenError;
  const Rows made = PgRows(pg, "SELECT machine_id, machine_key FROM fleet_machine_keys ORDER BY 1");
  ASSERT_EQ(made.size(), 2u);
  for (const auto& row : made) EXPECT_EQ(keys.count(row[0]) ? std::to_string(keys[row[0]]) : "none", row[1]) << row[0];
}
