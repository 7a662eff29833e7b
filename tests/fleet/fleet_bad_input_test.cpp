// What goes wrong around the fleet: servers that cannot be reached or lack
// JetStream, messages on the stream that are not events, PostgreSQL refusing or
// stopping mid-batch, bad command lines. Each says so in one clear line, and
// nothing is lost once the trouble is over.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <nats/nats.h>

#include "fleet/links/jetstream_link.h"
#include "fleet/export/machine_identity.h"
#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Unreachable() { return "nats://127.0.0.1:" + std::to_string(FreePort()); }

}  // namespace

TEST(FleetBadInput, ServersThatCannotServe) {
  const Machine& machine = DemoMachines()[0];
  std::string out;
  EXPECT_EQ(RunFleet({"export", "--server", Unreachable(), machine.database, "--machine", "M", "--give-up-after", "1"}, &out), 1);
  EXPECT_TRUE(Contains(out, "cannot reach")) << out;
  EXPECT_TRUE(Contains(out, "no reachable JetStream for 1 s")) << out;
  EXPECT_EQ(RunFleet({"collect", "--server", Unreachable(), "--database", SharedPostgres().Conninfo(),
                   "--give-up-after", "1"}, &out), 1);
  EXPECT_TRUE(Contains(out, "no reachable JetStream")) << out;

  TemporaryFolder folder;
  NatsCluster plain;
  ASSERT_TRUE(plain.Start(folder.String(), 1, "", false));
  EXPECT_EQ(RunFleet({"export", "--server", plain.Urls(), machine.database, "--machine", "M", "--give-up-after", "1"}, &out), 1);
  EXPECT_TRUE(Contains(out, "JetStream not available")) << out;

  EXPECT_EQ(RunFleet({"collect", "--server", plain.Urls(), "--database",
                   "host=127.0.0.1 port=" + std::to_string(FreePort()) + " user=postgres connect_timeout=2"}, &out), 1);
  EXPECT_TRUE(Contains(out, "PostgreSQL refused the connection")) << out;
}

TEST(FleetBadInput, CommandLinesAndFiles) {
  TemporaryFolder folder;
  std::ofstream(folder.String() + "/not-a-database") << "hello";
  std::string out;
  const std::string server = Unreachable();
  struct Case {
    std::vector<std::string> args;
    const char* said;
  };
  for (const Case& c : std::vector<Case>{
           {{"export", folder.String() + "/x", "--machine", "M"}, "--server"},
           {{"export", "--server", server, "--machine", "M"}, "database file"},
           {{"export", "--server", server, folder.String() + "/missing.data", "--machine", "M"}, "no such file"},
           {{"export", "--server", server, folder.String() + "/not-a-database", "--machine", "M"}, "not a SQLite database"},
           {{"export", "--server", server, folder.String(), "--machine", "M"}, "folder"},
           {{"export", "--server", server, DemoMachines()[0].database}, "--machine NAME"},
           {{"export", "--server", server, DemoMachines()[0].database, "--machine", "M", "--bogus"}, "unknown option"},
           {{"export", "--server", server, DemoMachines()[0].database, "--machine", "M", "--machine-id", "a.b"},
            "--machine-id takes"},
           {{"fleet", "--database", "x", "history", "--machine", "M", "--machine-id", "m"}, "--machine NAME or"},
           {{"collect", "--server", server}, "--database"},
           {{"collect", "--server", server, "--database", "x", "--tls-cert", "c.pem"}, "go together"},
           {{"collect", "--server", server, "--database", "host=db password=secret"}, "no password in --database"},
           {{"fleet", "--database", "postgresql://u:secret@db/fleet", "machines"}, "no password in --database"},
           {{"exports", "--server", server}, "export, collect or fleet"},
           {{"fleet", "--database", "x", "where"}, "one TEXT"},
           {{"fleet", "--database", "x", "audit", "--machine", "M"}, "one DB"},
           {{"fleet", "--database", "x", "machines", "--format", "xml"}, "--format"},
           {{"fleet", "--database", "x", "nonsense"}, "unknown query"},
           {{"fleet", "--database", "x", "history"}, "--machine NAME"},
           {{"fleet", "--database", "x", "history", "--machine", "M", "--net", "--format", "xml"}, "bad format"},
       }) {
    EXPECT_EQ(RunFleet(c.args, &out), 2) << c.args[0] << " " << out;
    EXPECT_TRUE(Contains(out, c.said)) << out;
  }
}

// Foreign and malformed messages go to brumevale.dead.<machine> with their reason;
// the events around them arrive.
TEST(FleetBadInput, MessagesThatAreNotEvents) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  const Machine& machine = DemoMachines()[0];
  std::string out;
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machine.database, "--machine", machine.name}, &out), 0) << out;
  Fleet::JetStreamLink link;
  std::string error;
  ASSERT_TRUE(link.Connect({{server.Urls()}}, &error)) << error;
  const std::vector<std::pair<std::string, std::string>> foreign = {
      {"brumevale.events.INTRUDER", "this is not JSON"},
      {"brumevale.events.INTRUDER", "[1, 2, 3]"},
      {"brumevale.events.INTRUDER", R"({"machine":"INTRUDER","machineId":"x","key":5})"},
      {"brumevale.events.INTRUDER",
       R"({"machine":"INTRUDER","machineId":"x","key":5,"raw":{"ChangeEvents":{"KEY":5,"EVENT_TIME":"yesterday"}}})"},
      {"brumevale.inventory.INTRUDER", R"({"machine":"INTRUDER","machineId":"x","snapshot":"s"})"},
  };
  auto publish = [&](const std::string& subject, const std::string& data) {
    jsPubAck* ack = nullptr;
    ASSERT_EQ(js_Publish(&ack, link.Context(), subject.c_str(), data.data(), static_cast<int>(data.size()), nullptr, nullptr),
              NATS_OK);
    jsPubAck_Destroy(ack);
  };
  for (const auto& [subject, data] : foreign) publish(subject, data);
  // A valid event sent twice without a message id, so that the stream keeps both, its
  // text holding what the database's bulk load must escape; it is stored once, as sent.
  const std::string echo = "{\"machine\":\"ECHO\",\"machineId\":\"echo-id\",\"key\":7,\n\t\"note\":\"a\\tb\\nc \\\\ d\","
                           "\"raw\":{\"ChangeEvents\":{\"KEY\":7,\"EVENT_TIME\":\"2024-05-01 10:00:00\",\"EVENT_TYPE\":2}}}";
  publish("brumevale.events.echo-id", echo);
  publish("brumevale.events.echo-id", echo);
  // A body on ECHO's subject that claims the exported machine's id and one of its keys.
  const std::string forged = "{\"machine\":\"" + machine.name + "\",\"machineId\":\"" +
                             Fleet::MachineIdOfName(machine.name) + "\",\"key\":1,\"raw\":{\"ChangeEvents\":{"
                             "\"KEY\":1,\"EVENT_TIME\":\"2024-05-01 10:00:00\"}}}";
  publish("brumevale.events.echo-id", forged);
  const std::string pg = FreshDatabase("dead");
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;
  EXPECT_TRUE(Contains(out, "not JSON")) << out;
  EXPECT_TRUE(Contains(out, "no ChangeEvents row")) << out;
  EXPECT_TRUE(Contains(out, "EVENT_TIME is not a time")) << out;
  EXPECT_TRUE(Contains(out, "machineId is not the one its subject names")) << out;
  EXPECT_TRUE(Contains(out, "6 messages moved to brumevale.dead")) << out;
  EXPECT_EQ(CollectedEvents(pg, machine.name), LocalEvents(machine.database));
  EXPECT_EQ(PgRows(pg, "SELECT count(*) FROM fleet_dead_letters")[0][0], "6");
  const std::string echoRows = std::string("SELECT key, ") + kLocalEventTime +
                               ", event_type, event->>'note' FROM fleet_events JOIN fleet_machines USING (machine_key) "
                               "WHERE machine = 'ECHO'";
  const std::vector<std::vector<std::string>> stored = {{"7", "2024-05-01 10:00:00", "2", "a\tb\nc \\ d"}};
  EXPECT_EQ(PgRows(pg, echoRows), stored);
  EXPECT_EQ(PgRows(pg, "SELECT last_key FROM fleet_machines WHERE machine_id = 'echo-id'"),
            (std::vector<std::vector<std::string>>{{"7"}}));
  const auto dead = SubjectCounts(server.Urls(), "brumevale.dead.>");
  ASSERT_EQ(dead.count("brumevale.dead.INTRUDER"), 1u);
  EXPECT_EQ(dead.at("brumevale.dead.INTRUDER"), 5u);
  EXPECT_EQ(dead.at("brumevale.dead.echo-id"), 1u);
  // A second collector finds only the repeat sent since: the dead letters are read by
  // neither consumer, and the repeat of a stored event changes nothing.
  publish("brumevale.events.echo-id", echo);
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;
  EXPECT_FALSE(Contains(out, "moved")) << out;
  EXPECT_EQ(PgRows(pg, echoRows), stored);
  EXPECT_EQ(CollectedEvents(pg, machine.name), LocalEvents(machine.database));
}

// PostgreSQL goes away while the collector works and comes back: the collector says
// so once, waits, and writes everything once it answers again.
TEST(FleetBadInput, PostgresStoppedMidBatch) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  // The suite's own server, stopped and resumed; the guard resumes it for the
  // cases after this one whatever happens here.
  PostgresServer& pg = SharedPostgres();
  const std::string conninfo = FreshDatabase("stopped");
  struct Resume {
    PostgresServer& pg;
    ~Resume() { pg.Resume(); }
  } resume{pg};
  const std::string log = folder.String() + "/collect.log";
  ChildProcess collector;
  ASSERT_TRUE(collector.Start(FleetArgv({"collect", "--server", server.Urls(), "--database", conninfo}), log));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::vector<Machine>& machines = DemoMachines();
  ChildProcess exporter;
  ASSERT_TRUE(exporter.Start(FleetArgv({"export", "--server", server.Urls(), machines[0].database, "--machine",
                                        machines[0].name}), folder.String() + "/export0.log"));
  ASSERT_TRUE(pg.Stop());
  EXPECT_EQ(exporter.Wait(60000), 0);
  std::string out;
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machines[1].database, "--machine", machines[1].name}, &out), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_TRUE(pg.Resume());
  for (int wait = 0; wait < 300 && CollectedEvents(conninfo, machines[1].name).size() <
                                       LocalEvents(machines[1].database).size(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(collector.Stop(), 0);
  for (const Machine& machine : machines) EXPECT_EQ(CollectedEvents(conninfo, machine.name), LocalEvents(machine.database));
  const std::string said = ReadFile(log);
  EXPECT_TRUE(Contains(said, "PostgreSQL")) << said;
  EXPECT_TRUE(Contains(said, "PostgreSQL answers again")) << said;
}
