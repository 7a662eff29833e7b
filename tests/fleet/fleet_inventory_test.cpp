// A machine sends its inventory only when its load points changed since the one it
// last sent: a rescan that found nothing new sends its settings check and no
// inventory; one that changed a load point sends the whole snapshot, which replaces
// the one in place.

#include <sqlite3.h>

#include <filesystem>

#include "fleet/export/machine_identity.h"
#include "fleet_fixture.h"

namespace fs = std::filesystem;
using namespace FleetTest;

namespace {

void Execute(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(database.c_str(), &db);
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// One more settings check, as a rescan ends, a copy of the last one under a new key.
void Rescan(const std::string& database) {
  Execute(database,
          "CREATE TEMP TABLE again AS SELECT * FROM ChangeEvents WHERE KEY = "
          "(SELECT max(KEY) FROM ChangeEvents WHERE EVENT_TYPE = 9);"
          "UPDATE again SET KEY = (SELECT max(KEY) + 1 FROM ChangeEvents);"
          "INSERT INTO ChangeEvents SELECT * FROM again; DROP TABLE again;");
}

}  // namespace

TEST(FleetInventory, SentOnlyWhenTheLoadPointsChanged) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  const std::string database = folder.String() + "/steady.data";
  fs::copy_file(DemoMachines()[0].database, database);
  const std::string subject = Fleet::InventorySubject(Fleet::MachineIdOfName("STEADY"));
  std::string out;
  auto exportAndCount = [&] {
    EXPECT_EQ(RunFleet({"export", "--server", server.Urls(), database, "--machine", "STEADY"}, &out), 0) << out;
    return SubjectCounts(server.Urls(), "brumevale.inventory.>")[subject];
  };
  const uint64_t first = exportAndCount();
  ASSERT_GT(first, 1u);

  Rescan(database);
  EXPECT_EQ(exportAndCount(), first);

  Execute(database, "UPDATE LoadPoints SET COMMAND_LINE = COMMAND_LINE || ' /changed' "
                    "WHERE KEY = (SELECT min(KEY) FROM LoadPoints)");
  Rescan(database);
  EXPECT_EQ(exportAndCount(), 2 * first);

  const std::string pg = FreshDatabase("inventory");
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;
  EXPECT_EQ(CollectedEvents(pg, "STEADY"), LocalEvents(database));
  EXPECT_EQ(PgRows(pg, "SELECT count(*) FROM fleet_inventory WHERE command_line LIKE '% /changed'")[0][0], "1");
  EXPECT_EQ(PgRows(pg, "SELECT count(*) FROM fleet_inventory")[0][0], std::to_string(first - 1));
}
