// fleet setup against a real server: the stream made with the operator's limits, and an
// existing stream with other settings named and changed only when asked.

#include <filesystem>

#include "fleet/links/jetstream_link.h"
#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void Sql(const std::string& conninfo, const std::string& sql) {
  Fleet::PgLink pg;
  std::string error;
  ASSERT_TRUE(pg.Connect(conninfo, &error) && pg.Exec(sql, &error)) << sql << ": " << error;
}

}  // namespace

// fleet setup makes the stream with the operator's limits, finds it as wanted the
// second time, names what differs in a stream made otherwise and changes it only
// when told to.
TEST(FleetSetup, TheStreamsLimitsAndAStreamMadeOtherwise) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000, false));
  std::string out;
  const std::vector<std::string> setup = {"fleet", "setup", "--server", server.Urls(), "--replicas", "1"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = setup;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  ASSERT_EQ(RunFleet(with({"--max-age", "7d", "--max-bytes", "1G"}), &out), 0) << out;
  EXPECT_TRUE(Contains(out, "created")) << out;
  ASSERT_EQ(RunFleet(with({"--max-age", "7d", "--max-bytes", "1G"}), &out), 0) << out;
  EXPECT_TRUE(Contains(out, "as wanted")) << out;
  EXPECT_EQ(RunFleet(with({"--max-age", "30d", "--max-bytes", "1G"}), &out), 1) << out;
  EXPECT_TRUE(Contains(out, "max age ns 604800000000000 (wanted 2592000000000000)")) << out;
  EXPECT_EQ(RunFleet(with({"--max-age", "30d", "--max-bytes", "1G", "--update"}), &out), 0) << out;
  EXPECT_EQ(RunFleet(with({"--max-age", "30d", "--max-bytes", "1G"}), &out), 0) << out;
  EXPECT_EQ(RunFleet(with({"--max-age", "soon"}), &out), 2) << out;

  // The consumers: a cap on deliveries, named when it differs, changed when told.
  EXPECT_EQ(RunFleet(with({"--max-age", "30d", "--max-bytes", "1G", "--max-deliver", "5"}), &out), 1) << out;
  EXPECT_TRUE(Contains(out, "consumer brumevale-events exists with other settings: max deliver 2000 (wanted 5)")) << out;
  EXPECT_EQ(RunFleet(with({"--max-age", "30d", "--max-bytes", "1G", "--max-deliver", "5", "--update"}), &out), 0) << out;
  EXPECT_TRUE(Contains(out, "consumer brumevale-inventory changed")) << out;
  EXPECT_FALSE(Contains(out, "consumer brumevale-capped changed")) << out;  // never capped itself

  // Without setup, neither an exporter nor a collector makes the stream: each says
  // what to run. A stream made otherwise (with the defaults of old) is named.
  NatsCluster other;
  std::filesystem::create_directories(folder.Path() / "other");
  ASSERT_TRUE(other.Start(folder.String() + "/other", 1));
  ASSERT_TRUE(WaitForJetStream(other.Urls(), 20000, false));
  EXPECT_EQ(RunFleet({"export", "--server", other.Urls(), DemoMachines()[0].database, "--machine", "M",
                      "--give-up-after", "1"}, &out), 1) << out;
  EXPECT_TRUE(Contains(out, "does not exist: an operator makes it once with brumevale fleet setup")) << out;
  EXPECT_EQ(RunFleet({"collect", "--server", other.Urls(), "--database", FreshDatabase("nostream"), "--drain",
                      "--give-up-after", "1"}, &out), 1) << out;
  EXPECT_TRUE(Contains(out, "brumevale fleet setup")) << out;
  Fleet::JetStreamLink link;
  std::string error;
  ASSERT_TRUE(link.Connect({{other.Urls()}}, &error)) << error;
  const char* subjects[] = {"brumevale.>"};
  jsStreamConfig config;
  jsStreamConfig_Init(&config);
  config.Name = Fleet::kStreamName;
  config.Subjects = subjects;
  config.SubjectsLen = 1;
  config.Storage = js_FileStorage;
  ASSERT_EQ(js_AddStream(nullptr, link.Context(), &config, nullptr, nullptr), NATS_OK);
  EXPECT_EQ(RunFleet({"fleet", "setup", "--server", other.Urls(), "--replicas", "1"}, &out), 1) << out;
  EXPECT_TRUE(Contains(out, "exists with other settings") && Contains(out, "max bytes -1")) << out;
}

// fleet migrate makes the tables as their owner, once; a collector whose role has
// row rights only then writes every event, and before that says what to run.
TEST(FleetMigrate, ACollectorWithRowRightsOnly) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  const std::string owner = FreshDatabase("rows");
  std::string rows = owner;
  rows.replace(rows.find("user=postgres"), 13, "user=fleet_rows");
  Sql(owner, "CREATE ROLE fleet_rows LOGIN");
  const Machine& machine = DemoMachines()[0];
  std::string out;
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machine.database, "--machine", machine.name}, &out), 0) << out;
  EXPECT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", rows, "--drain"}, &out), 1) << out;
  EXPECT_TRUE(Contains(out, "brumevale fleet migrate")) << out;

  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(RunFleet({"fleet", "--database", owner, "migrate"}, &out), 0) << out;
    EXPECT_TRUE(Contains(out, "schema version 3")) << out;
  }
  EXPECT_EQ(PgRows(owner, "SELECT version FROM fleet_schema"), (std::vector<std::vector<std::string>>{{"3"}}));
  Sql(owner, "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO fleet_rows");
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", rows, "--drain"}, &out), 0) << out;
  EXPECT_EQ(CollectedEvents(rows, machine.name), LocalEvents(machine.database));
}
